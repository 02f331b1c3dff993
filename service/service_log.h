// The service log and the job copies of a print service.
//
// Every log line is "\n%d-%d-%d %d:%d:%d - message" with the local date and time,
// written in one open, one write and one close (on Windows each "\n" stored as CR LF,
// as a text-mode stream does). Writers take turns, so that lines and job copies of
// concurrent requests never overwrite or split one another. A log that cannot be
// opened loses the line silently.
#pragma once

#include <cstddef>
#include <mutex>
#include <string>

// When a line that belongs to an action is written (ServiceLog::WriteAround).
enum class LineOrder {
  kBefore,      // first the line, then the action without the log
  kHeldAcross,  // the log is held from before the action until the line after it is
                // written: the action runs at once, and no line another thread writes
                // because of it can come before the line
};

class ServiceLog {
 public:
  explicit ServiceLog(const char* path) : path_(path) {}
  ServiceLog(const ServiceLog&) = delete;
  ServiceLog& operator=(const ServiceLog&) = delete;

  void Write(const char* message);
  // The line, then bytes as they are, in one append: nothing can come between them.
  void WriteFollowedBy(const char* message, const char* bytes, std::size_t length);
  // Runs action and writes the line, in the order given; returns what action returns.
  template <class Action>
  auto WriteAround(const char* message, LineOrder order, Action action) -> decltype(action());

  const char* Path() const { return path_.c_str(); }

 private:
  // The caller holds mutex_.
  void Append(const char* message, const char* bytes, std::size_t length);

  const std::string path_;
  std::mutex mutex_;
};

// Where job copies go: a file of their own that each copy is appended to as it is
// (the bare name, so it lies in the current folder), or the service log, each copy
// right after a separator line.
struct JobCopyPlace {
  const char* file;       // null: the service log
  const char* separator;  // the line before each copy in the service log
};

class JobCopyWriter {
 public:
  JobCopyWriter(ServiceLog& log, const JobCopyPlace& place) : log_(log), place_(place) {}
  JobCopyWriter(const JobCopyWriter&) = delete;
  JobCopyWriter& operator=(const JobCopyWriter&) = delete;

  // Appends the job's bytes; a file that cannot be opened skips the copy.
  void Append(const char* job, std::size_t length);

 private:
  ServiceLog& log_;
  const JobCopyPlace place_;
  std::mutex fileMutex_;  // the copy file has a turn of its own, apart from the log
};

template <class Action>
auto ServiceLog::WriteAround(const char* message, LineOrder order, Action action)
    -> decltype(action()) {
  if (order == LineOrder::kBefore) {
    Write(message);
    return action();
  }
  std::lock_guard<std::mutex> lock(mutex_);
  auto result = action();
  Append(message, nullptr, 0);
  return result;
}
