#include <windows.h>

#include <cstdio>
#include <cstring>

#include "platform/local_time.h"
#include "platform/message_box.h"
#include "platform/open_files.h"
#include "platform/program_path.h"
#include "platform/system_error.h"

namespace platform {

unsigned long LastSystemError() { return GetLastError(); }

void SetLastSystemError(unsigned long code) { SetLastError(code); }

ErrorKind KindOfSystemError(unsigned long code) {
  switch (code) {
    case ERROR_ACCESS_DENIED:  // what an exclusive open of a held device gives
      return ErrorKind::kBusy;
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND:
      return ErrorKind::kMissing;
    case WSAECONNREFUSED:
      return ErrorKind::kRefused;
    default:
      return ErrorKind::kOther;
  }
}

std::size_t ExecutablePath(char* out, std::size_t size) {
  if (size == 0) return 0;
  DWORD n = GetModuleFileNameA(nullptr, out, static_cast<DWORD>(size));
  if (n >= size) n = static_cast<DWORD>(size - 1);
  out[n] = '\0';
  return n;
}

void ShowMessageBox(const char* text, const char* caption, MessageIcon icon) {
  MessageBoxA(nullptr, text, caption, MB_OK | (icon == MessageIcon::kWarning ? MB_ICONWARNING : 0));
}

LocalTime CurrentLocalTime() {
  SYSTEMTIME t;
  GetLocalTime(&t);
  return LocalTime{t.wYear, t.wMonth, t.wDay, t.wHour, t.wMinute, t.wSecond};
}

// Winsock sockets and file handles have no per-process count limit to raise.
unsigned long RaiseOpenFileLimit() { return 0; }

}  // namespace platform
