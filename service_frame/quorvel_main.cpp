// quorvel: the second-generation print service. Run by the service manager it serves
// as the service quorvel; "-install" and "-remove" (after "-" or "/", in any case)
// install or remove it. "--version" (exactly so) prints the program's name and version.
//
// On Linux the service is the systemd unit quorvel.service (started on demand, as a
// dynamic user that may bind port 104), written into /etc/systemd/system or the folder
// named by TERVANE_UNIT_DIR; it runs in the foreground, with or without systemd, and
// its event-log entries go to syslog (or to the socket named by TERVANE_SYSLOG_SOCKET).
//
// Exit codes of the console commands, for scripts and installers: 0 when the command
// worked, 1 when it failed, 2 for an unknown word after "-" or "/" (after the usage
// text).
#include <cstdint>
#include <cstdio>
#include <cstring>

#include "platform/ascii_text.h"
#include "platform/system_error.h"
#include "service_frame/sample_service.h"
#include "service_frame/service_commands.h"
#include "tervane_version.h"

namespace {

void PrintUsage() {
  std::printf("Parameters:\n");
  std::printf(" -install  to install the service.\n");
  std::printf(" -remove   to remove the service.\n");
}

void ReportRunFailure(unsigned long code) {
  std::printf("Service failed to run w/err 0x%08lx\n", code);
}

}  // namespace

int main(int argc, char* argv[]) {
  // Looked at before the command words: "--version" begins with "-" as they do.
  if (argc > 1 && std::strcmp(argv[1], "--version") == 0) {
    std::printf("quorvel %s\n", TERVANE_VERSION);
    return 0;
  }
  if (argc > 1 && (argv[1][0] == '-' || argv[1][0] == '/')) {
    if (ascii::SameText(argv[1] + 1, "install")) return InstallService() ? 0 : 1;
    if (ascii::SameText(argv[1] + 1, "remove")) return RemoveService() ? 0 : 1;
    PrintUsage();
    return 2;
  }

  PrintUsage();
  std::fflush(stdout);
  try {
    CSampleService service;
    if (!CServiceBase::Run(service)) ReportRunFailure(platform::LastSystemError());
  } catch (std::uint32_t error) {
    // The service object could not be made (no stop event).
    ReportRunFailure(error);
  } catch (...) {
    ReportRunFailure(platform::LastSystemError());
  }
  std::fflush(stdout);
  return 0;
}
