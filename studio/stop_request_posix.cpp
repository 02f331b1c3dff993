#include <pthread.h>
#include <signal.h>

#include "studio/stop_request.h"

namespace {

sigset_t StopSignals() {
  sigset_t signals;
  sigemptyset(&signals);
  sigaddset(&signals, SIGINT);
  sigaddset(&signals, SIGTERM);
  return signals;
}

}  // namespace

void PrepareStopRequests() {
  signal(SIGPIPE, SIG_IGN);
  // Blocked in every thread started later, SIGINT and SIGTERM wait for sigwait.
  const sigset_t signals = StopSignals();
  pthread_sigmask(SIG_BLOCK, &signals, nullptr);
}

void WaitForStopRequest() {
  const sigset_t signals = StopSignals();
  int received = 0;
  sigwait(&signals, &received);
}
