// The installed Linux layout (TERVANE_FHS=ON): barcode.ini in the settings folder
// (/etc/tervane/barcode.ini), the argument log in the state folder of the user who runs
// the client ($XDG_STATE_HOME/tervane, or ~/.local/state/tervane), made readable by
// that user only since it holds the requests.
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>

#include "client/client_files.h"
#include "tervane_layout.h"

namespace {

// An absolute folder named by the variable, or "".
std::string AbsoluteEnv(const char* name) {
  const char* value = std::getenv(name);
  return value != nullptr && value[0] == '/' ? std::string(value) : std::string();
}

std::string HomeFolder() {
  std::string home = AbsoluteEnv("HOME");
  if (!home.empty()) return home;
  const passwd* user = getpwuid(getuid());
  return user != nullptr && user->pw_dir != nullptr && user->pw_dir[0] == '/'
             ? std::string(user->pw_dir)
             : std::string();
}

// The folder of the argument log, or "" when the user has no home to hold it.
std::string ArgumentLogFolder() {
  std::string state = AbsoluteEnv("XDG_STATE_HOME");
  if (state.empty()) {
    std::string home = HomeFolder();
    if (home.empty()) return std::string();
    state = home + "/.local/state";
  }
  return state + "/tervane";
}

// Makes each missing folder of the log's path for its user only, as the state folder
// should be. A folder that can't be made leaves the log unopened, which loses its
// entries.
void MakeLogFolder(const std::string& path) {
  std::string::size_type end = path.rfind('/');
  if (end == std::string::npos || end == 0) return;
  std::string folder = path.substr(0, end);
  for (std::string::size_type i = 1; i <= folder.size(); ++i) {
    if (i < folder.size() && folder[i] != '/') continue;
    std::string part = folder.substr(0, i);
    if (mkdir(part.c_str(), 0700) != 0 && errno != EEXIST) return;
  }
}

}  // namespace

ClientFiles ProgramClientFiles() {
  ClientFiles files;
  files.settings = std::string(layout::kSettingsDir) + "/barcode.ini";
  std::string folder = ArgumentLogFolder();
  // Without a folder the path stays empty: the log does not open and loses its entries.
  if (!folder.empty()) files.argumentLog = folder + "/_tervane_arg.log";
  files.createMissingSettings = false;
  files.prepareArgumentLog = MakeLogFolder;
  return files;
}
