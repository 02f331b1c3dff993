#include "service/service_log.h"

#include <cstdio>
#include <vector>

#include "platform/local_time.h"
#include "service/private_file.h"

void ServiceLog::Write(const char* message) {
  std::lock_guard<std::mutex> lock(mutex_);
  Append(message, nullptr, 0);
}

void ServiceLog::WriteFollowedBy(const char* message, const char* bytes, std::size_t length) {
  std::lock_guard<std::mutex> lock(mutex_);
  Append(message, bytes, length);
}

void ServiceLog::Append(const char* message, const char* bytes, std::size_t byteLength) {
  platform::LocalTime t = platform::CurrentLocalTime();
  if (!message) message = "";
  auto format = [&](char* line, std::size_t size) {
    return std::snprintf(line, size, "\n%d-%d-%d %d:%d:%d - %s", t.year, t.month, t.day,
                         t.hour, t.minute, t.second, message);
  };
  char line[512];
  int length = format(line, sizeof line);
  if (length < 0) return;
  if (static_cast<std::size_t>(length) < sizeof line) {
    AppendToPrivateFile(path_.c_str(), line, static_cast<std::size_t>(length), bytes, byteLength);
    return;
  }
  std::vector<char> longLine(static_cast<std::size_t>(length) + 1);
  format(longLine.data(), longLine.size());
  AppendToPrivateFile(path_.c_str(), longLine.data(), static_cast<std::size_t>(length), bytes,
                      byteLength);
}

void JobCopyWriter::Append(const char* job, std::size_t length) {
  if (!place_.file) {
    log_.WriteFollowedBy(place_.separator, job, length);
    return;
  }
  std::lock_guard<std::mutex> lock(fileMutex_);
  AppendToPrivateFile(place_.file, nullptr, 0, job, length);
}
