#include "service/job_tally.h"

#include <chrono>
#include <cstdio>
#include <system_error>

#include "platform/local_time.h"

namespace {
constexpr std::chrono::seconds kReportEvery(1);
}  // namespace

void JobTally::Count(std::atomic<std::uint64_t>* counter) {
  counter->fetch_add(1, std::memory_order_relaxed);
  // Only the first change after a report wakes the reporter.
  if (!changed_.exchange(true)) {
    std::lock_guard<std::mutex> lock(mutex_);
    wake_.notify_one();
  }
}

void JobTally::Undelivered(const std::string& reason) {
  platform::LocalTime t = platform::CurrentLocalTime();
  char stamp[48];
  std::snprintf(stamp, sizeof stamp, "%d-%d-%d %d:%d:%d: ", t.year, t.month, t.day, t.hour,
                t.minute, t.second);
  {
    std::lock_guard<std::mutex> lock(mutex_);
    lastUndelivered_ = stamp + reason;
    urgent_ = true;
  }
  Count(&undelivered_);
  std::lock_guard<std::mutex> lock(mutex_);
  wake_.notify_one();
}

std::string JobTally::StatusLine() const {
  char counts[128];
  std::snprintf(counts, sizeof counts, "Jobs received %llu, printed %llu, undelivered %llu",
                static_cast<unsigned long long>(received_.load()),
                static_cast<unsigned long long>(printed_.load()),
                static_cast<unsigned long long>(undelivered_.load()));
  std::lock_guard<std::mutex> lock(mutex_);
  std::string line = counts;
  if (!lastUndelivered_.empty()) line += "; last undelivered " + lastUndelivered_;
  // The service manager takes one line.
  for (char& c : line) {
    if (c == '\n' || c == '\r') c = ' ';
  }
  return line;
}

void JobTally::StartReporting(Sink sink) {
  if (!sink || reporter_.joinable()) return;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    sink_ = sink;
    stopping_ = false;
  }
  // The first line follows a second after the start, after the service manager has
  // been told that the service runs (which sets a status line of its own).
  changed_ = true;
  try {
    reporter_ = std::thread(&JobTally::Reporter, this);
  } catch (const std::system_error&) {
    // No thread to be had: the service runs on without a status line.
  }
}

void JobTally::StopReporting() {
  if (!reporter_.joinable()) return;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    stopping_ = true;
  }
  wake_.notify_one();
  reporter_.join();
}

void JobTally::Reporter() {
  std::unique_lock<std::mutex> lock(mutex_);
  for (;;) {
    wake_.wait(lock, [this] { return stopping_ || urgent_ || changed_.load(); });
    // Jobs that keep coming are summed up for a second; an undelivered one, or the
    // end, is reported at once.
    if (!stopping_ && !urgent_) {
      wake_.wait_for(lock, kReportEvery, [this] { return stopping_ || urgent_; });
    }
    urgent_ = false;
    bool stop = stopping_;
    if (changed_.exchange(false)) {
      lock.unlock();
      sink_(StatusLine().c_str());
      lock.lock();
    }
    if (stop) return;
  }
}
