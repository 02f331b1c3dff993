#include <poll.h>
#include <pthread.h>
#include <signal.h>
#include <sys/eventfd.h>
#include <sys/signalfd.h>
#include <systemd/sd-daemon.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <mutex>
#include <system_error>
#include <thread>

#include "platform/service_control.h"
#include "platform/system_error.h"

namespace platform {

namespace {

// The one service of the process, as the dispatcher sees it.
struct Dispatcher {
  std::mutex mutex;
  bool running = false;
  int wakeFd = -1;  // eventfd: a status report or the end of the main routine
  ServiceControlHandler handler = nullptr;
  unsigned long state = 0;  // last reported state; 0 before the first report
  bool mainReturned = false;
};

Dispatcher dispatcher;

void Wake() {
  std::uint64_t one = 1;
  ssize_t n = write(dispatcher.wakeFd, &one, sizeof one);
  (void)n;  // the counter can't overflow with the few reports of a service
}

// What the dispatcher does with a stop request, decided under the lock.
enum class StopAction { kHold, kDeliver, kEnd };

StopAction DecideStop() {
  std::lock_guard<std::mutex> lock(dispatcher.mutex);
  if (dispatcher.handler == nullptr) return dispatcher.mainReturned ? StopAction::kEnd : StopAction::kHold;
  if (dispatcher.state == 0 || dispatcher.state == kServiceStartPending) return StopAction::kHold;
  return StopAction::kDeliver;
}

void NotifySystemd(const ServiceStatus& status) {
  // A pending state names its check point; a new check point extends systemd's start or
  // stop time-out by the wait hint, or by 30 s without one.
  char progress[96] = "";
  if (status.checkPoint != 0) {
    unsigned long long extendUs = (status.waitHint != 0 ? status.waitHint : 30000ULL) * 1000ULL;
    std::snprintf(progress, sizeof progress, ", check point %lu\nEXTEND_TIMEOUT_USEC=%llu",
                  status.checkPoint, extendUs);
  }
  switch (status.currentState) {
    case kServiceRunning:
      sd_notify(0, "READY=1\nSTATUS=Running");
      break;
    case kServiceStopped:
      sd_notifyf(0, "STOPPING=1\nSTATUS=Stopped, exit code %lu", status.win32ExitCode);
      break;
    case kServiceStopPending:
      sd_notifyf(0, "STOPPING=1\nSTATUS=Stopping%s", progress);
      break;
    case kServiceStartPending:
      sd_notifyf(0, "STATUS=Starting%s", progress);
      break;
    case kServicePausePending:
      sd_notifyf(0, "STATUS=Pausing%s", progress);
      break;
    case kServiceContinuePending:
      sd_notifyf(0, "STATUS=Resuming%s", progress);
      break;
    case kServicePaused:
      sd_notify(0, "STATUS=Paused");
      break;
    default:
      break;
  }
}

}  // namespace

bool RunServiceDispatcher(const char* serviceName, ServiceMainFunction main) {
  {
    std::lock_guard<std::mutex> lock(dispatcher.mutex);
    if (dispatcher.running) {
      SetLastSystemError(EBUSY);
      return false;
    }
  }
  // The stop signals are blocked here, before the service main routine and every thread
  // it starts exist, so that all of them inherit the mask and the signals queue for the
  // signalfd. They stay blocked after the return: a late signal can't kill the process
  // while it ends.
  sigset_t stopSignals;
  sigemptyset(&stopSignals);
  sigaddset(&stopSignals, SIGTERM);
  sigaddset(&stopSignals, SIGINT);
  int rc = pthread_sigmask(SIG_BLOCK, &stopSignals, nullptr);
  if (rc != 0) {
    SetLastSystemError(static_cast<unsigned long>(rc));
    return false;
  }
  int signalFd = signalfd(-1, &stopSignals, SFD_CLOEXEC);
  if (signalFd < 0) {
    SetLastSystemError(static_cast<unsigned long>(errno));
    return false;
  }
  // The event counter is made once and never closed: a main routine that is still on
  // its way out when the dispatcher returns may write to it.
  if (dispatcher.wakeFd < 0) dispatcher.wakeFd = eventfd(0, EFD_CLOEXEC);
  int wakeFd = dispatcher.wakeFd;
  if (wakeFd < 0) {
    SetLastSystemError(static_cast<unsigned long>(errno));
    close(signalFd);
    return false;
  }
  {
    std::lock_guard<std::mutex> lock(dispatcher.mutex);
    dispatcher.running = true;
    dispatcher.handler = nullptr;
    dispatcher.state = 0;
    dispatcher.mainReturned = false;
  }

  static char nameArgument[256];
  std::snprintf(nameArgument, sizeof nameArgument, "%s", serviceName);
  static char* arguments[2] = {nameArgument, nullptr};
  try {
    std::thread([main] {
      main(1, arguments);
      std::lock_guard<std::mutex> lock(dispatcher.mutex);
      dispatcher.mainReturned = true;
      Wake();
    }).detach();
  } catch (const std::system_error& e) {
    SetLastSystemError(static_cast<unsigned long>(e.code().value()));
    std::lock_guard<std::mutex> lock(dispatcher.mutex);
    dispatcher.running = false;
    close(signalFd);
    return false;
  }

  bool stopHeld = false;
  for (;;) {
    pollfd fds[2] = {{signalFd, POLLIN, 0}, {wakeFd, POLLIN, 0}};
    if (poll(fds, 2, -1) < 0) {
      if (errno == EINTR) continue;
      break;
    }
    if (fds[0].revents & POLLIN) {
      signalfd_siginfo info;
      if (read(signalFd, &info, sizeof info) == static_cast<ssize_t>(sizeof info)) stopHeld = true;
    }
    if (fds[1].revents & POLLIN) {
      std::uint64_t count;
      ssize_t n = read(wakeFd, &count, sizeof count);
      (void)n;
    }
    {
      std::lock_guard<std::mutex> lock(dispatcher.mutex);
      if (dispatcher.state == kServiceStopped) break;
      if (dispatcher.mainReturned && dispatcher.handler == nullptr) break;
    }
    if (stopHeld) {
      StopAction action = DecideStop();
      if (action == StopAction::kEnd) break;
      if (action == StopAction::kDeliver) {
        stopHeld = false;
        ServiceControlHandler handler;
        {
          std::lock_guard<std::mutex> lock(dispatcher.mutex);
          handler = dispatcher.handler;
        }
        handler(kServiceControlStop);
      }
    }
  }

  // The main routine's thread may still be on its way out; it only touches the
  // dispatcher record, which lives as long as the process.
  std::lock_guard<std::mutex> lock(dispatcher.mutex);
  dispatcher.running = false;
  close(signalFd);
  return true;
}

ServiceStatusHandle RegisterServiceControlHandler(const char*, ServiceControlHandler handler) {
  std::lock_guard<std::mutex> lock(dispatcher.mutex);
  if (!dispatcher.running || handler == nullptr) {
    // As on Windows: a handler can only be registered inside the running service.
    SetLastSystemError(ESRCH);
    return nullptr;
  }
  dispatcher.handler = handler;
  return &dispatcher;
}

bool ReportServiceStatus(ServiceStatusHandle handle, const ServiceStatus& status) {
  if (handle != &dispatcher) {
    SetLastSystemError(EINVAL);
    return false;
  }
  NotifySystemd(status);
  std::lock_guard<std::mutex> lock(dispatcher.mutex);
  dispatcher.state = status.currentState;
  Wake();
  return true;
}

void ReportServiceStatusText(const char* text) { sd_notifyf(0, "STATUS=%s", text); }

long long ServiceAliveIntervalMs() {
  std::uint64_t usec = 0;
  if (sd_watchdog_enabled(0, &usec) <= 0 || usec == 0) return 0;
  long long interval = static_cast<long long>(usec / 2000);
  return interval > 0 ? interval : 1;
}

void ReportServiceAlive() { sd_notify(0, "WATCHDOG=1"); }

}  // namespace platform
