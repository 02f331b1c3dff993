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

void SystemErrorText(unsigned long code, char* out, unsigned long outSize, unsigned lineWidth) {
  if (outSize == 0) return;
  char text[512];
  // The codes the POSIX layer stores are in the Windows numbering where the portable
  // code tests them (a held device is 5, as on Windows); those have their own texts.
  // Any other code is an errno value, and strerror gives its text.
  static const struct {
    unsigned long code;
    const char* text;
  } kWindowsCodes[] = {
      {1, "Incorrect function"},
      {2, "No such file or directory"},
      {3, "The system cannot find the path specified"},
      {4, "Too many open files"},
      {5, "Access denied"},
      {6, "The handle is invalid"},
      {87, "The parameter is incorrect"},
      {109, "The pipe has been ended"},
      {112, "There is not enough space on the disk"},
      {1117, "Input/output error"},
      {10022, "Invalid argument"},
      {10038, "Not a socket"},
      {10048, "Address already in use"},
      {10054, "Connection reset by peer"},
      {10057, "Socket is not connected"},
      {10060, "Connection timed out"},
      {10061, "Connection refused"},
  };
  const char* known = nullptr;
  for (const auto& entry : kWindowsCodes) {
    if (entry.code == code) known = entry.text;
  }
  std::snprintf(text, sizeof text, "%s", known ? known : std::strerror(static_cast<int>(code)));
  if (lineWidth == 0) {
    std::snprintf(out, outSize, "%s", text);
    return;
  }
  // Wrap at word boundaries into lines of at most lineWidth columns, as FormatMessage does.
  std::size_t o = 0, col = 0;
  const char* p = text;
  while (*p && o + 3 < outSize) {
    const char* w = p;
    while (*w && *w != ' ') ++w;
    std::size_t len = static_cast<std::size_t>(w - p);
    if (col > 0 && col + 1 + len > lineWidth) {
      out[o++] = '\r';
      out[o++] = '\n';
      col = 0;
    } else if (col > 0) {
      out[o++] = ' ';
      ++col;
    }
    for (std::size_t i = 0; i < len && o + 1 < outSize; ++i, ++col) out[o++] = p[i];
    p = *w ? w + 1 : w;
  }
  out[o] = '\0';
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
