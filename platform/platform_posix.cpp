#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <ctime>

#include "platform/local_time.h"
#include "platform/message_box.h"
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
  // The codes the POSIX layer stores are errno values (after mapping the few that the
  // portable code tests, such as EBUSY to 5), so strerror gives their text.
  std::snprintf(text, sizeof text, "%s", std::strerror(static_cast<int>(code)));
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

}  // namespace platform
