#include <unistd.h>

#include <cstdio>

#include "client/settings_prompt.h"

void WaitForEnter() {
  if (isatty(STDIN_FILENO)) std::getchar();
}
