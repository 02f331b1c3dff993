#include "service_frame/service_base.h"

#include <cstdio>

#include "platform/event_log.h"
#include "platform/system_error.h"

using namespace platform;

CServiceBase* CServiceBase::instance = nullptr;
std::uint32_t CServiceBase::checkPoint = 1;

CServiceBase::CServiceBase(const char* name)
    : serviceName(name),
      status{kServiceWin32OwnProcess, kServiceStartPending,
             kServiceAcceptStop | kServiceAcceptShutdown, 0, 0, 0, 0},
      statusHandle(nullptr) {}

CServiceBase::~CServiceBase() {}

bool CServiceBase::Run(CServiceBase& service) {
  instance = &service;
  return RunServiceDispatcher(service.serviceName, ServiceMain);
}

void CServiceBase::ServiceMain(unsigned long argc, char** argv) {
  CServiceBase* service = instance;
  service->statusHandle = RegisterServiceControlHandler(service->serviceName, ServiceCtrlHandler);
  if (service->statusHandle == nullptr) {
    // Without a handler there is nobody to report to: the entry goes to the event log
    // and the service main routine ends.
    service->LogError("RegisterServiceCtrlHandler", LastSystemError());
    return;
  }
  service->Start(argc, argv);
}

void CServiceBase::ServiceCtrlHandler(unsigned long control) {
  switch (control) {
    case kServiceControlStop: instance->Stop(); break;
    case kServiceControlPause: instance->Pause(); break;
    case kServiceControlContinue: instance->Continue(); break;
    case kServiceControlShutdown: instance->Shutdown(); break;
    default: break;  // interrogate and unknown codes: the manager has the last status
  }
}

namespace {

constexpr unsigned long kNoReport = 0;  // no service state has the number 0

}  // namespace

// What one control path reports around its hook.
struct CServiceBase::ControlPath {
  unsigned long pending;   // reported before the hook; kNoReport: nothing
  unsigned long done;      // reported after the hook
  unsigned long failed;    // reported after a failure; kNoReport: nothing
  bool failedWithCode;     // that report carries a thrown error code as exit code
  const char* function;    // the event-log entry for a thrown error code
  const char* failureText; // the event-log entry for any other exception
};

void CServiceBase::Start(unsigned long argc, char** argv) {
  static const ControlPath path = {kServiceStartPending, kServiceRunning, kServiceStopped, true,
                                   "Service Start", "Service failed to start."};
  RunControlPath(path, [&] { OnStart(argc, argv); });
}

// A failed stop goes back to the state the service was in.
void CServiceBase::Stop() {
  const ControlPath path = {kServiceStopPending, kServiceStopped, status.currentState, false,
                            "Service Stop", "Service failed to stop."};
  RunControlPath(path, [this] { OnStop(); });
}

void CServiceBase::Pause() {
  static const ControlPath path = {kServicePausePending, kServicePaused, kServiceRunning, false,
                                   "Service Pause", "Service failed to pause."};
  RunControlPath(path, [this] { OnPause(); });
}

void CServiceBase::Continue() {
  static const ControlPath path = {kServiceContinuePending, kServiceRunning, kServicePaused,
                                   false, "Service Continue", "Service failed to resume."};
  RunControlPath(path, [this] { OnContinue(); });
}

// The shutdown path does not call OnStop, and a failure leaves the status as it is.
void CServiceBase::Shutdown() {
  static const ControlPath path = {kNoReport, kServiceStopped, kNoReport, false,
                                   "Service Shutdown", "Service failed to shut down."};
  RunControlPath(path, [this] { OnShutdown(); });
}

void CServiceBase::RunControlPath(const ControlPath& path, const std::function<void()>& hook) {
  try {
    if (path.pending != kNoReport) SetStatus(path.pending);
    hook();
    SetStatus(path.done);
  } catch (std::uint32_t error) {
    LogError(path.function, error);
    if (path.failed != kNoReport) SetStatus(path.failed, path.failedWithCode ? error : 0);
  } catch (...) {
    LogEvent(path.failureText, kEventError);
    if (path.failed != kNoReport) SetStatus(path.failed);
  }
}

void CServiceBase::OnStart(unsigned long, char**) {}
void CServiceBase::OnStop() {}
void CServiceBase::OnPause() {}
void CServiceBase::OnContinue() {}
void CServiceBase::OnShutdown() {}

void CServiceBase::SetStatus(unsigned long state, unsigned long exitCode) {
  status.currentState = state;
  status.win32ExitCode = exitCode;
  status.waitHint = 0;
  if (state == kServiceRunning || state == kServiceStopped)
    status.checkPoint = 0;
  else
    status.checkPoint = checkPoint++;
  ReportServiceStatus(statusHandle, status);
}

void CServiceBase::LogEvent(const char* message, unsigned short type) {
  WriteEventLog(serviceName, type, message);
}

void CServiceBase::LogError(const char* function, unsigned long error) {
  char message[260];
  std::snprintf(message, sizeof message, "%s failed w/err 0x%08lx", function, error);
  LogEvent(message, kEventError);
}
