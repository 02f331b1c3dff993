#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <string>

#include "tests/support/support.h"
#include "tests/support/virtual_printer.h"

namespace testsupport {
namespace virtualprinter {

bool RunScript(const std::string& arguments) {
  std::string command =
      "/bin/sh \"" + Env("TERVANE_SOURCE_DIR", ".") + "/tests/support/virtual_printer.sh\" " +
      arguments;
  return std::system(command.c_str()) == 0;
}

std::string LinkFolder(std::string* error) {
  // One device folder for every printer of every test process (names are taken
  // atomically); children started by the tests inherit it.
  std::string folder = Env("TERVANE_DEVICE_DIR");
  if (folder.empty()) {
    folder = std::filesystem::absolute(BuildDir() + "/virtual-printers/devices").string();
    setenv("TERVANE_DEVICE_DIR", folder.c_str(), 1);
  }
  std::error_code ec;
  std::filesystem::create_directories(folder, ec);
  if (ec) *error = "cannot create " + folder;
  return ec ? std::string() : folder;
}

}  // namespace virtualprinter
}  // namespace testsupport
