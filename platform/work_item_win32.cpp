#include <windows.h>

#include <new>

#include "platform/work_item.h"

namespace platform {

bool ManualResetEvent::Create() {
  Close();
  handle_ = CreateEventA(nullptr, TRUE, FALSE, nullptr);
  return handle_ != nullptr;
}

void ManualResetEvent::Set() {
  if (handle_ != nullptr) SetEvent(handle_);
}

bool ManualResetEvent::Wait() {
  if (handle_ == nullptr) {
    SetLastError(ERROR_INVALID_HANDLE);
    return false;
  }
  return WaitForSingleObject(handle_, INFINITE) == WAIT_OBJECT_0;
}

void ManualResetEvent::Close() {
  if (handle_ != nullptr) CloseHandle(handle_);
  handle_ = nullptr;
}

namespace {

struct QueuedWork {
  WorkRoutine routine;
  void* context;
};

DWORD WINAPI RunQueuedWork(void* parameter) {
  QueuedWork work = *static_cast<QueuedWork*>(parameter);
  delete static_cast<QueuedWork*>(parameter);
  work.routine(work.context);
  return 0;
}

}  // namespace

bool QueueLongWorkItem(WorkRoutine routine, void* context) {
  QueuedWork* work = new (std::nothrow) QueuedWork{routine, context};
  if (work == nullptr) {
    SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    return false;
  }
  if (!QueueUserWorkItem(RunQueuedWork, work, WT_EXECUTELONGFUNCTION)) {
    DWORD code = GetLastError();
    delete work;
    SetLastError(code);
    return false;
  }
  return true;
}

}  // namespace platform
