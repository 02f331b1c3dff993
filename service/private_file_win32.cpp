#include "service/private_file.h"

std::FILE* OpenPrivateFile(const char* path, const char* mode) { return std::fopen(path, mode); }
