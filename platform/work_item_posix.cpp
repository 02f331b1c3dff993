#include <cerrno>
#include <condition_variable>
#include <mutex>
#include <new>
#include <system_error>
#include <thread>

#include "platform/system_error.h"
#include "platform/work_item.h"

namespace platform {

namespace {

struct EventState {
  std::mutex mutex;
  std::condition_variable signalled;
  bool set = false;
};

}  // namespace

bool ManualResetEvent::Create() {
  Close();
  handle_ = new (std::nothrow) EventState;
  if (handle_ == nullptr) SetLastSystemError(ENOMEM);
  return handle_ != nullptr;
}

void ManualResetEvent::Set() {
  EventState* e = static_cast<EventState*>(handle_);
  if (e == nullptr) return;
  // Notified under the lock: the waiter may close the event as soon as it wakes.
  std::lock_guard<std::mutex> lock(e->mutex);
  e->set = true;
  e->signalled.notify_all();
}

bool ManualResetEvent::Wait() {
  EventState* e = static_cast<EventState*>(handle_);
  if (e == nullptr) {
    SetLastSystemError(EBADF);
    return false;
  }
  std::unique_lock<std::mutex> lock(e->mutex);
  e->signalled.wait(lock, [e] { return e->set; });
  return true;
}

void ManualResetEvent::Close() {
  delete static_cast<EventState*>(handle_);
  handle_ = nullptr;
}

bool QueueLongWorkItem(WorkRoutine routine, void* context) {
  try {
    std::thread(routine, context).detach();
    return true;
  } catch (const std::system_error& e) {
    SetLastSystemError(static_cast<unsigned long>(e.code().value()));
    return false;
  }
}

}  // namespace platform
