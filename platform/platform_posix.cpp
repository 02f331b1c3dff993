#include <sys/resource.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <ctime>

#include "platform/local_time.h"
#include "platform/message_box.h"
#include "platform/open_files.h"
#include "platform/program_path.h"
#include "platform/system_error.h"

namespace platform {

namespace {
thread_local unsigned long lastError = 0;
}

unsigned long LastSystemError() { return lastError; }

void SetLastSystemError(unsigned long code) { lastError = code; }

ErrorKind KindOfSystemError(unsigned long code) {
  // The POSIX layers store device and socket errors in the Windows numbering
  // (transport/posix_error_posix.cpp), so that log lines read the same on both systems.
  switch (code) {
    case 5:  // access denied: EBUSY, EWOULDBLOCK (a held lock), EACCES, ...
      return ErrorKind::kBusy;
    case 2:  // file not found: ENOENT, ENODEV, ENXIO
    case 3:  // path not found: ENOTDIR
      return ErrorKind::kMissing;
    case 10061:  // connection refused: ECONNREFUSED
      return ErrorKind::kRefused;
    default:
      return ErrorKind::kOther;
  }
}

std::size_t ExecutablePath(char* out, std::size_t size) {
  if (size == 0) return 0;
  ssize_t n = readlink("/proc/self/exe", out, size - 1);
  if (n < 0) {
    out[0] = '\0';
    return 0;
  }
  out[n] = '\0';
  return static_cast<std::size_t>(n);
}

void ShowMessageBox(const char* text, const char* caption, MessageIcon) {
  std::fprintf(stderr, "%s: %s\n", caption, text);
  std::fflush(stderr);
}

LocalTime CurrentLocalTime() {
  std::time_t now = std::time(nullptr);
  std::tm t{};
  localtime_r(&now, &t);
  return LocalTime{t.tm_year + 1900, t.tm_mon + 1, t.tm_mday, t.tm_hour, t.tm_min, t.tm_sec};
}

unsigned long RaiseOpenFileLimit() {
  rlimit limit;
  if (getrlimit(RLIMIT_NOFILE, &limit) != 0) return 0;
  if (limit.rlim_cur < limit.rlim_max) {
    rlimit raised = limit;
    raised.rlim_cur = limit.rlim_max;
    if (setrlimit(RLIMIT_NOFILE, &raised) == 0) limit = raised;
  }
  return static_cast<unsigned long>(limit.rlim_cur);
}

}  // namespace platform
