#include "service/koldane_service.h"

#include <cstdio>

#include "platform/event_source.h"
#include "platform/service_control.h"
#include "platform/service_manager.h"
#include "platform/system_error.h"
#include "service/job_server.h"
#include "service/koldane_folder.h"
#include "service/service_setup.h"

using namespace platform;

namespace {

constexpr const char* kServiceName = "Koldane";

// The service status of the process and the handle of its handler registration.
ServiceStatus serviceStatus;
ServiceStatusHandle statusHandle = nullptr;
CJobServer* serviceState = nullptr;

void ControlHandler(unsigned long control) {
  if (control != kServiceControlStop) return;  // every other control is ignored
  serviceStatus.win32ExitCode = 0;
  serviceStatus.currentState = kServiceStopped;
  serviceStatus.checkPoint = 0;
  serviceStatus.waitHint = 0;
  ReportServiceStatus(statusHandle, serviceStatus);
}

void ServiceMain(unsigned long, char**) {
  serviceStatus.serviceType = kServiceWin32;
  serviceStatus.currentState = kServiceStartPending;
  serviceStatus.controlsAccepted = kServiceAcceptStop;
  serviceStatus.win32ExitCode = 0;
  serviceStatus.serviceSpecificExitCode = 0;
  serviceStatus.checkPoint = 0;
  serviceStatus.waitHint = 0;

  // The name is ignored for a service that runs alone in its process.
  statusHandle = RegisterServiceControlHandler("Service1", ControlHandler);
  if (statusHandle == nullptr) return;

  serviceStatus.currentState = kServiceRunning;
  serviceStatus.checkPoint = 0;
  serviceStatus.waitHint = 0;
  ReportServiceStatus(statusHandle, serviceStatus);

  // Before the first job: the job copy and the undelivered jobs go to the current folder.
  EnterKoldaneDataFolder(*serviceState);
  // Reported running whether or not the start-up succeeds: the accept thread carries
  // the work on, and a failure is in the service log.
  serviceState->Start();
}

// "Error %d : %s" with the last system error and its message text.
void PrintLastError() {
  unsigned long code = LastSystemError();
  char text[512];
  SystemMessageText(code, text, sizeof text);
  std::printf("Error %d : %s", static_cast<int>(code), text);
}

}  // namespace

bool InstallKoldane() {
  if (!ServiceSetupAllowed(kServiceName, ServiceSetup::kInstall)) return false;
  char path[1024];
  if (!FullExecutablePath(path, sizeof path)) {
    // A path cut to fit would register another program: fail with the reason.
    PrintLastError();
    return false;
  }
  ServiceManager manager;
  if (!manager.Open(kScManagerAllAccess)) return false;
  // Started automatically, as LocalSystem (no account), no dependencies.
  ServiceDefinition definition = {kServiceName,      kServiceName,        kServiceAllAccess,
                                  kServiceWin32OwnProcess, kServiceAutoStart, kServiceErrorNormal,
                                  path,              nullptr,             nullptr};
  InstalledService service;
  if (!service.Create(manager, definition)) {
    PrintLastError();
    return false;
  }
  service.Close();
  // Without its event-log source the service still runs and logs; Event Viewer only
  // lacks the text of its entries. Said, but the install stands.
  if (!AddEventLogSource(kServiceName, path)) {
    std::printf("Event log source not registered. ");
    PrintLastError();
  }
  return true;
}

void PrintKoldaneNextSteps() { PrintInstallNextSteps(kServiceName, kServiceAutoStart); }

bool RemoveKoldane() {
  if (!ServiceSetupAllowed(kServiceName, ServiceSetup::kRemove)) return false;
  ServiceManager manager;
  if (!manager.Open(kScManagerAllAccess)) return false;
  InstalledService service;
  if (!service.Open(manager, kServiceName, kServiceAllAccess)) return false;
  if (!service.Delete()) return false;
  service.Close();
  if (!RemoveEventLogSource(kServiceName)) {
    std::printf("Event log source not removed. ");
    PrintLastError();
  }
  return true;
}

bool RunKoldane(CJobServer& jobServer) {
  serviceState = &jobServer;
  return RunServiceDispatcher(kServiceName, ServiceMain);
}
