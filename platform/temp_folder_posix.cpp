#include "platform/temp_folder.h"

#include <stdlib.h>
#include <unistd.h>

namespace platform {

std::string TemporaryFilesFolder() {
  const char* tmp = std::getenv("TMPDIR");
  return tmp && *tmp ? tmp : "/tmp";
}

std::string MakeTemporaryFolder(const std::string& name) {
  // mkdtemp makes the folder with mode 0700.
  std::string path = TemporaryFilesFolder() + "/" + name + "-XXXXXX";
  return mkdtemp(&path[0]) ? path : std::string();
}

bool RemoveEmptyFolder(const std::string& path) { return rmdir(path.c_str()) == 0; }

}  // namespace platform
