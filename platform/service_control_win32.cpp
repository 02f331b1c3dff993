#include <windows.h>

#include "platform/service_control.h"

namespace platform {

namespace {

// The service control manager calls WINAPI routines; these pass its calls on to the
// routines of the one service of the process.
ServiceMainFunction serviceMain = nullptr;
ServiceControlHandler controlHandler = nullptr;

void WINAPI ServiceMainEntry(DWORD argc, LPSTR* argv) {
  serviceMain(argc, argv);
}

void WINAPI ControlHandlerEntry(DWORD control) {
  controlHandler(control);
}

}  // namespace

bool RunServiceDispatcher(const char* serviceName, ServiceMainFunction main) {
  serviceMain = main;
  SERVICE_TABLE_ENTRYA table[] = {{const_cast<char*>(serviceName), ServiceMainEntry},
                                  {nullptr, nullptr}};
  return StartServiceCtrlDispatcherA(table) != FALSE;
}

ServiceStatusHandle RegisterServiceControlHandler(const char* serviceName,
                                                  ServiceControlHandler handler) {
  controlHandler = handler;
  return reinterpret_cast<ServiceStatusHandle>(
      RegisterServiceCtrlHandlerA(serviceName, ControlHandlerEntry));
}

bool ReportServiceStatus(ServiceStatusHandle handle, const ServiceStatus& status) {
  SERVICE_STATUS s;
  s.dwServiceType = status.serviceType;
  s.dwCurrentState = status.currentState;
  s.dwControlsAccepted = status.controlsAccepted;
  s.dwWin32ExitCode = status.win32ExitCode;
  s.dwServiceSpecificExitCode = status.serviceSpecificExitCode;
  s.dwCheckPoint = status.checkPoint;
  s.dwWaitHint = status.waitHint;
  return SetServiceStatus(reinterpret_cast<SERVICE_STATUS_HANDLE>(handle), &s) != FALSE;
}

void ReportServiceStatusText(const char*) {}

long long ServiceAliveIntervalMs() { return 0; }

void ReportServiceAlive() {}

}  // namespace platform
