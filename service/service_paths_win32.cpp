#include <cstring>

#include "platform/ascii_text.h"
#include "service/service_paths.h"

namespace {

// The path in capitals (a-z only) with every ".EXE" replaced by extension.
void ReplaceExtension(const char* path, const char* extension, char* out, std::size_t size) {
  if (size == 0) return;
  ascii::CopyCut(out, size, path, std::strlen(path));
  ascii::UpperCase(out);
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
