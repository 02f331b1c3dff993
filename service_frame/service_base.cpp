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

void CServiceBase::Start(unsigned long argc, char** argv) {
  try {
    SetStatus(kServiceStartPending);
    OnStart(argc, argv);
    SetStatus(kServiceRunning);
  } catch (std::uint32_t error) {
    LogError("Service Start", error);
    SetStatus(kServiceStopped, error);
  } catch (...) {
    LogEvent("Service failed to start.", kEventError);
    SetStatus(kServiceStopped);
  }
}

void CServiceBase::Stop() {
  unsigned long originalState = status.currentState;
  try {
    SetStatus(kServiceStopPending);
    OnStop();
    SetStatus(kServiceStopped);
  } catch (std::uint32_t error) {
    LogError("Service Stop", error);
    SetStatus(originalState);
  } catch (...) {
    LogEvent("Service failed to stop.", kEventError);
    SetStatus(originalState);
  }
}

void CServiceBase::Pause() {
  try {
    SetStatus(kServicePausePending);
    OnPause();
    SetStatus(kServicePaused);
  } catch (std::uint32_t error) {
    LogError("Service Pause", error);
    SetStatus(kServiceRunning);
  } catch (...) {
    LogEvent("Service failed to pause.", kEventError);
    SetStatus(kServiceRunning);
  }
}

void CServiceBase::Continue() {
  try {
    SetStatus(kServiceContinuePending);
    OnContinue();
    SetStatus(kServiceRunning);
  } catch (std::uint32_t error) {
    LogError("Service Continue", error);
    SetStatus(kServicePaused);
  } catch (...) {
    LogEvent("Service failed to resume.", kEventError);
    SetStatus(kServicePaused);
  }
}

void CServiceBase::Shutdown() {
  try {
    OnShutdown();
    SetStatus(kServiceStopped);
  } catch (std::uint32_t error) {
    LogError("Service Shutdown", error);
  } catch (...) {
    LogEvent("Service failed to shut down.", kEventError);
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
