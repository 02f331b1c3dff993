// Running a program as a service of the system's service manager: the dispatcher that
// connects the process to the manager, the control handler, and status reports.
//
// Windows: StartServiceCtrlDispatcherA, RegisterServiceCtrlHandlerA, SetServiceStatus.
//
// Linux (systemd or no supervisor at all): the dispatcher runs the service in the
// foreground. The service main routine runs on a thread of its own; SIGTERM and SIGINT
// are the stop control and reach the handler on the dispatcher's thread (the signals are
// taken from a signalfd, never in a signal handler). As the Windows manager does, a
// stop is held back while the service reports SERVICE_START_PENDING and delivered once
// it reports anything else. There is no pause, continue or shutdown control. Status
// reports go to systemd through sd_notify when NOTIFY_SOCKET is set:
//   SERVICE_RUNNING                  READY=1, STATUS=Running
//   SERVICE_STOPPED                  STOPPING=1, STATUS=Stopped, exit code N
//   SERVICE_STOP_PENDING             STOPPING=1, STATUS=Stopping
//   start, pause, continue pending   STATUS=Starting / Pausing / Resuming
//   SERVICE_PAUSED                   STATUS=Paused
// A pending state with a check point adds ", check point N" to its STATUS and extends
// systemd's time-out (EXTEND_TIMEOUT_USEC: the wait hint, or 30 s when it is 0).
// The dispatcher returns once the service has reported SERVICE_STOPPED, or when its
// main routine has returned without registering a handler.
#pragma once

namespace platform {

// Service types, states, accepted controls and control codes, numbered as the Windows
// service control manager numbers them.
constexpr unsigned long kServiceWin32OwnProcess = 0x10;
constexpr unsigned long kServiceWin32ShareProcess = 0x20;
constexpr unsigned long kServiceWin32 = 0x30;

constexpr unsigned long kServiceStopped = 1;
constexpr unsigned long kServiceStartPending = 2;
constexpr unsigned long kServiceStopPending = 3;
constexpr unsigned long kServiceRunning = 4;
constexpr unsigned long kServiceContinuePending = 5;
constexpr unsigned long kServicePausePending = 6;
constexpr unsigned long kServicePaused = 7;

constexpr unsigned long kServiceAcceptStop = 0x1;
constexpr unsigned long kServiceAcceptPauseContinue = 0x2;
constexpr unsigned long kServiceAcceptShutdown = 0x4;

constexpr unsigned long kServiceControlStop = 1;
constexpr unsigned long kServiceControlPause = 2;
constexpr unsigned long kServiceControlContinue = 3;
constexpr unsigned long kServiceControlInterrogate = 4;
constexpr unsigned long kServiceControlShutdown = 5;

// The status record a service reports, field for field as SERVICE_STATUS.
struct ServiceStatus {
  unsigned long serviceType;
  unsigned long currentState;
  unsigned long controlsAccepted;
  unsigned long win32ExitCode;
  unsigned long serviceSpecificExitCode;
  unsigned long checkPoint;
  unsigned long waitHint;
};

using ServiceStatusHandle = void*;
using ServiceMainFunction = void (*)(unsigned long argc, char** argv);
using ServiceControlHandler = void (*)(unsigned long control);

// Runs the one service of the process, named serviceName, with main as its main
// routine. Returns true when the service has stopped; false at once, with the system
// error set, when the dispatcher can't start (on Windows: the process was not started by
// the service control manager, error 1063).
bool RunServiceDispatcher(const char* serviceName, ServiceMainFunction main);

// Registers the control handler of the running service; null, with the system error
// set, on failure.
ServiceStatusHandle RegisterServiceControlHandler(const char* serviceName,
                                                  ServiceControlHandler handler);

// Reports status; false, with the system error set, when the report is refused.
bool ReportServiceStatus(ServiceStatusHandle handle, const ServiceStatus& status);

// A one-line account of how the running service is doing, beside its state. Linux:
// sd_notify STATUS=, which "systemctl status" shows (nothing without NOTIFY_SOCKET).
// Windows: nothing; the service control manager keeps no such text.
void ReportServiceStatusText(const char* text);

// The service manager's watchdog: how often, in milliseconds, the running service must
// say it is alive (half the time-out the manager set), or 0 when nobody watches.
// Linux: sd_watchdog_enabled (WATCHDOG_USEC, the unit's WatchdogSec=). Windows: 0.
long long ServiceAliveIntervalMs();
// Tells the watchdog the service is alive. Linux: sd_notify WATCHDOG=1. Windows: nothing.
void ReportServiceAlive();

}  // namespace platform
