// The packaged Linux build: the package ships the service's unit and removes it, so the
// install and remove commands say what to run instead and change nothing.
#include <cstdio>

#include "service/service_setup.h"

bool ServiceSetupAllowed(const char* name, ServiceSetup command) {
  if (command == ServiceSetup::kInstall) {
    std::printf("%s is installed by its package, with its unit %s.service: use\n"
                "  systemctl enable --now %s.service\n",
                name, name, name);
  } else {
    std::printf("%s is installed by its package, which removes its unit %s.service: use\n"
                "  systemctl disable --now %s.service\n",
                name, name, name);
  }
  std::fflush(stdout);
  return false;
}
