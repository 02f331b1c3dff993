// A manual-reset event and long-running work on the system's thread pool.
//
// Windows: CreateEventA / SetEvent / WaitForSingleObject / CloseHandle, and
// QueueUserWorkItem with WT_EXECUTELONGFUNCTION. POSIX: a mutex and condition
// variable, and a detached thread per work item.
#pragma once

namespace platform {

class ManualResetEvent {
 public:
  ManualResetEvent() {}
  ~ManualResetEvent() { Close(); }
  ManualResetEvent(const ManualResetEvent&) = delete;
  ManualResetEvent& operator=(const ManualResetEvent&) = delete;

  // A new event, not signalled; false, with the system error set, when it can't be made.
  bool Create();
  void Set();
  // Waits without a time limit until the event is signalled; false, with the system
  // error set, when the wait fails (no event, or the system refuses the wait).
  bool Wait();
  void Close();
  bool IsOpen() const { return handle_ != nullptr; }

 private:
  void* handle_ = nullptr;
};

using WorkRoutine = void (*)(void* context);

// Runs routine(context) once on a pool thread; false, with the system error set, when
// the work can't be queued (routine is then not called).
bool QueueLongWorkItem(WorkRoutine routine, void* context);

}  // namespace platform
