// CServiceBase: a reusable service frame. It connects the process to the service
// manager, registers the control handler, reports the status with check points, runs
// the start, stop, pause, continue and shutdown paths around the virtual hooks, and
// writes event-log entries. A concrete service overrides the hooks it needs.
//
// Failures inside the frame and the hooks are the system error code thrown as a
// std::uint32_t; each control path turns such a code, or any other exception, into a
// status report and an event-log entry, so nothing leaves a path.
#pragma once

#include <cstdint>
#include <functional>

#include "platform/service_control.h"

class CServiceBase {
 public:
  // Runs service as the one service of the process: stores it in instance and hands
  // it to the dispatcher. Returns when the service has stopped (true) or when the
  // dispatcher fails to start (false, with the system error set).
  static bool Run(CServiceBase& service);

  explicit CServiceBase(const char* name);
  virtual ~CServiceBase();

  CServiceBase(const CServiceBase&) = delete;
  CServiceBase& operator=(const CServiceBase&) = delete;

 protected:
  virtual void OnStart(unsigned long argc, char** argv);
  virtual void OnStop();
  virtual void OnPause();
  virtual void OnContinue();
  virtual void OnShutdown();

  // Records state and exitCode and reports them. Running and stopped carry check point
  // 0; every other state the next number of the process-wide checkPoint counter.
  void SetStatus(unsigned long state, unsigned long exitCode = 0);

  // One event-log entry under the service's name.
  void LogEvent(const char* message, unsigned short type);
  // An error entry "<function> failed w/err 0x<error in 8 hex digits>".
  void LogError(const char* function, unsigned long error);

  const char* serviceName;
  platform::ServiceStatus status;
  platform::ServiceStatusHandle statusHandle;

 private:
  static void ServiceMain(unsigned long argc, char** argv);
  static void ServiceCtrlHandler(unsigned long control);

  // The five control paths, each a ControlPath run around its hook.
  struct ControlPath;
  void Start(unsigned long argc, char** argv);
  void Stop();
  void Pause();
  void Continue();
  void Shutdown();
  void RunControlPath(const ControlPath& path, const std::function<void()>& hook);

  static CServiceBase* instance;
  static std::uint32_t checkPoint;
};
