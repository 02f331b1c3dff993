#include "service_frame/service_commands.h"

#include <chrono>
#include <cstdio>
#include <thread>

#include "platform/event_source.h"
#include "platform/service_control.h"
#include "platform/service_manager.h"
#include "platform/system_error.h"
#include "service/service_setup.h"
#include "service_frame/sample_service.h"

using namespace platform;

namespace {

constexpr const char* kServiceName = CSampleService::kName;
constexpr const char* kDisplayName = "quorvel Sample Service";

}  // namespace

bool InstallService() {
  if (!ServiceSetupAllowed(kServiceName, ServiceSetup::kInstall)) return false;
  char path[260];
  if (!FullExecutablePath(path, sizeof path)) {
    std::printf("GetModuleFileName failed w/err 0x%08lx\n", LastSystemError());
    return false;
  }
  ServiceManager manager;
  if (!manager.Open(kScManagerConnect | kScManagerCreateService)) {
    std::printf("OpenSCManager failed w/err 0x%08lx\n", LastSystemError());
    return false;
  }
  ServiceDefinition definition = {kServiceName,
                                   kDisplayName,
                                   kServiceQueryStatus,
                                   kServiceWin32OwnProcess,
                                   kServiceDemandStart,
                                   kServiceErrorNormal,
                                   path,
                                   "\0",  // no dependencies: an empty list
                                   kLocalServiceAccount};
  InstalledService service;
  bool created = service.Create(manager, definition);
  if (created) {
    std::printf("%s is installed.\n", kServiceName);
    // Without its source Event Viewer only lacks the text of the entries: said, but the
    // install stands.
    if (!AddEventLogSource(kServiceName, path))
      std::printf("Event log source not registered w/err 0x%08lx\n", LastSystemError());
    PrintInstallNextSteps(kServiceName, kServiceDemandStart);
  } else {
    std::printf("CreateService failed w/err 0x%08lx\n", LastSystemError());
  }
  service.Close();
  manager.Close();
  return created;
}

bool RemoveService() {
  if (!ServiceSetupAllowed(kServiceName, ServiceSetup::kRemove)) return false;
  ServiceManager manager;
  if (!manager.Open(kScManagerConnect)) {
    std::printf("OpenSCManager failed w/err 0x%08lx\n", LastSystemError());
    return false;
  }
  InstalledService service;
  if (!service.Open(manager, kServiceName, kDelete | kServiceStop | kServiceQueryStatus)) {
    std::printf("OpenService failed w/err 0x%08lx\n", LastSystemError());
    manager.Close();
    return false;
  }

  // A running service is stopped first; the dots show that it is still stopping.
  unsigned long state = 0;
  if (service.Stop(&state)) {
    std::printf("Stopping %s.", kServiceName);
    std::fflush(stdout);
    std::this_thread::sleep_for(std::chrono::milliseconds(1000));
    while (service.QueryState(&state)) {
      if (state != kServiceStopPending) break;
      std::printf(".");
      std::fflush(stdout);
      std::this_thread::sleep_for(std::chrono::milliseconds(1000));
    }
    if (state == kServiceStopped)
      std::printf("\n%s is stopped.\n", kServiceName);
    else
      std::printf("\n%s failed to stop.\n", kServiceName);
  }

  // The removal is what was asked: a service that failed to stop but is deleted
  // (it goes when it ends) counts as removed.
  bool deleted = service.Delete();
  if (deleted) {
    std::printf("%s is removed.\n", kServiceName);
    if (!RemoveEventLogSource(kServiceName))
      std::printf("Event log source not removed w/err 0x%08lx\n", LastSystemError());
  } else {
    std::printf("DeleteService failed w/err 0x%08lx\n", LastSystemError());
  }
  service.Close();
  manager.Close();
  return deleted;
}
