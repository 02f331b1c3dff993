#include <cstddef>

#include "platform/program_path.h"
#include "preview/font_file.h"

std::string DefaultFontFile() {
  char path[4096];
  const std::size_t n = platform::ExecutablePath(path, sizeof path);
  std::string folder(path, n);
  const std::size_t separator = folder.find_last_of("\\/");
  folder = separator == std::string::npos ? std::string(".") : folder.substr(0, separator);
  return folder + "\\" + TERVANE_PREVIEW_FONT_NAME;
}
