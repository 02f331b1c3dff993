// Under Wine a Windows program can start a Unix program with CreateProcess: that is how
// the printer script runs. Wine does not let the caller wait for it, so the portable
// side waits for the script's result files.
#include <windows.h>

#include <string>

#include "tests/support/support.h"
#include "tests/support/virtual_printer.h"

namespace testsupport {
namespace virtualprinter {

bool RunScript(const std::string& arguments) {
  std::string command = "/bin/sh \"" + Env("TERVANE_SOURCE_DIR", ".") +
                        "/tests/support/virtual_printer.sh\" " + arguments;
  STARTUPINFOA startup;
  ZeroMemory(&startup, sizeof startup);
  startup.cb = sizeof startup;
  PROCESS_INFORMATION process;
  if (!CreateProcessA(nullptr, &command[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                      &startup, &process)) {
    return false;
  }
  CloseHandle(process.hThread);
  CloseHandle(process.hProcess);
  return true;
}

std::string LinkFolder(std::string* error) {
  std::string prefix = Env("WINEPREFIX");
  if (prefix.empty()) {
    *error = "WINEPREFIX is not set: the virtual printer needs the Wine prefix's dosdevices";
    return "";
  }
  return prefix + "/dosdevices";
}

}  // namespace virtualprinter
}  // namespace testsupport
