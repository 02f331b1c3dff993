// The installed Linux layout (TERVANE_FHS=ON): a service's settings file and log lie in
// the system's folders, named after the executable's file name as beside it:
// /usr/sbin/Koldane reads /etc/tervane/Koldane.INI and writes /var/log/tervane/Koldane.LOG.
#include <cstdio>
#include <cstring>

#include "service/service_paths.h"
#include "tervane_layout.h"

namespace {

void PathIn(const char* dir, const char* name, const char* extension, char* out,
            std::size_t size) {
  // A path that does not fit would name another file: it is left empty instead, so that
  // nothing is read or written.
  int n = std::snprintf(out, size, "%s/%s%s", dir, name, extension);
  if (n < 0 || static_cast<std::size_t>(n) >= size) out[0] = '\0';
}

}  // namespace

void DeriveServicePaths(const char* executablePath, char* settingsPath, char* logPath,
                        std::size_t size) {
  if (size == 0) return;
  const char* slash = std::strrchr(executablePath, '/');
  const char* name = slash ? slash + 1 : executablePath;
  if (*name == '\0') {
    settingsPath[0] = '\0';
    logPath[0] = '\0';
    return;
  }
  PathIn(layout::kSettingsDir, name, ".INI", settingsPath, size);
  PathIn(layout::kLogDir, name, ".LOG", logPath, size);
}
