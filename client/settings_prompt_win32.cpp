#include <cstdio>

#include "client/settings_prompt.h"

void WaitForEnter() { std::getchar(); }
