#include <cstring>

#include "service/service_paths.h"

namespace {

void AppendExtension(const char* path, const char* extension, char* out, std::size_t size) {
  std::size_t length = std::strlen(path);
  // A path with no room for its extension would name another file (the executable
  // itself, at worst); it is left empty instead, so that nothing is read or written.
  if (length + 4 >= size) {
    out[0] = '\0';
    return;
  }
  std::memcpy(out, path, length);
  std::memcpy(out + length, extension, 5);
}

}  // namespace

void DeriveServicePaths(const char* executablePath, char* settingsPath, char* logPath,
                        std::size_t size) {
  if (size == 0) return;
  AppendExtension(executablePath, ".INI", settingsPath, size);
  AppendExtension(executablePath, ".LOG", logPath, size);
}
