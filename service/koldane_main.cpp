// Koldane: the first-generation print service. "-i" installs the service, "-d" removes
// it; without arguments the program runs as the service (started by the service
// manager; on Linux also in the foreground, until SIGTERM or SIGINT).
//
// "--version" prints the program's name and version.
//
// Exit codes of the console commands, for scripts and installers: 0 when the command
// worked, 1 when it failed, 2 for an unknown switch (after the usage text).
//
// On Linux the service is the systemd unit Koldane.service, written into
// /etc/systemd/system or the folder named by TERVANE_UNIT_DIR, and enabled for
// multi-user.target (platform/service_manager.h); status goes to systemd through
// sd_notify (platform/service_control.h).
#include <cstdio>
#include <cstring>

#include "service/job_server.h"
#include "service/koldane_service.h"
#include "service/system_reports.h"
#include "tervane_version.h"

// The service state: one object for the life of the process, built before main runs.
static CJobServer jobServer(JobGeneration::kKoldane);

// Prints a console command's outcome and gives its exit code.
static int Outcome(bool worked, const char* success, const char* failure) {
  std::fputs(worked ? success : failure, stdout);
  return worked ? 0 : 1;
}

int main(int argc, char* argv[]) {
  if (argc < 2) {
    jobServer.SetReports(SystemReports());
    RunKoldane(jobServer);  // its result is of no use: the service has ended either way
    return 0;
  }
  if (std::strcmp(argv[1], "-i") == 0) {
    int code = Outcome(InstallKoldane(), "\n\nService Installed Sucessfully\n",
                       "\n\nError Installing Service\n");
    if (code == 0) PrintKoldaneNextSteps();
    return code;
  }
  if (std::strcmp(argv[1], "-d") == 0)
    return Outcome(RemoveKoldane(), "\n\nService UnInstalled Sucessfully\n",
                   "\n\nError UnInstalling Service\n");
  if (std::strcmp(argv[1], "--version") == 0) {
    std::printf("Koldane %s\n", TERVANE_VERSION);
    return 0;
  }
  std::printf("\n\nUnknown Switch Usage\n\nFor Install use Koldane -i\n\nFor UnInstall use Koldane -d\n");
  return 2;
}
