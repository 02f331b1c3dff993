#include <cstring>

#include "service/service_paths.h"

namespace {

// The path in capitals (a-z only) with every ".EXE" replaced by extension.
void ReplaceExtension(const char* path, const char* extension, char* out, std::size_t size) {
  if (size == 0) return;
  std::size_t o = 0;
  for (std::size_t i = 0; path[i] && o + 1 < size; ++i) {
    char c = path[i];
    out[o++] = (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c;
  }
  out[o] = '\0';
  for (char* p = std::strstr(out, ".EXE"); p; p = std::strstr(p + 4, ".EXE")) {
    std::memcpy(p, extension, 4);
  }
}

}  // namespace

void DeriveServicePaths(const char* executablePath, char* settingsPath, char* logPath,
                        std::size_t size) {
  ReplaceExtension(executablePath, ".INI", settingsPath, size);
  ReplaceExtension(executablePath, ".LOG", logPath, size);
}
