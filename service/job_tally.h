// What the service has done since it started: label jobs received whole, printed and
// kept as undelivered, and the last undelivered one with its time and reason. A
// reporter thread hands the status line to a sink (on Linux sd_notify STATUS=, so that
// "systemctl status" shows whether labels are printing): at once after an undelivered
// job, otherwise at most once a second while jobs come, so that a burst of jobs costs
// one report a second, not one per job.
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <string>
#include <thread>

class JobTally {
 public:
  using Sink = void (*)(const char* statusLine);

  JobTally() {}
  ~JobTally() { StopReporting(); }
  JobTally(const JobTally&) = delete;
  JobTally& operator=(const JobTally&) = delete;

  void Received() { Count(&received_); }
  void Printed() { Count(&printed_); }
  // Takes the time now; the reason is the log line that said why.
  void Undelivered(const std::string& reason);

  // "Jobs received 5, printed 4, undelivered 1; last undelivered 2026-12-10 9:41:7:
  // Nu pot deschide portul 'COM5'" (the last part only once a job was undelivered).
  std::string StatusLine() const;

  // Reports the status line to sink a second from now, then whenever it changes; a
  // null sink does nothing. StopReporting reports the last change and ends the
  // reporter.
  void StartReporting(Sink sink);
  void StopReporting();

 private:
  void Count(std::atomic<std::uint64_t>* counter);
  void Reporter();

  std::atomic<std::uint64_t> received_{0};
  std::atomic<std::uint64_t> printed_{0};
  std::atomic<std::uint64_t> undelivered_{0};
  std::atomic<bool> changed_{false};

  mutable std::mutex mutex_;
  std::string lastUndelivered_;  // "time: reason"
  std::condition_variable wake_;
  bool urgent_ = false;
  bool stopping_ = false;
  Sink sink_ = nullptr;
  std::thread reporter_;
};
