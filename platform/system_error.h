// The calling thread's last system error code, in the Windows numbering that the
// portable code and its log lines use (5 = access denied, 2 = file not found, ...).
// On Windows this is GetLastError; the POSIX layer keeps its own per-thread value,
// set by the platform functions that fail, so portable code never reads errno.
#pragma once

namespace platform {

unsigned long LastSystemError();
void SetLastSystemError(unsigned long code);

// The few meanings of a system error code that portable code acts on; the code itself
// is only ever printed.
enum class ErrorKind {
  kOther,
  kBusy,     // the object is held by someone else (a serial port opened elsewhere)
  kMissing,  // no such file, device or path
  kRefused,  // the peer refused the connection
};
ErrorKind KindOfSystemError(unsigned long code);
inline ErrorKind LastErrorKind() { return KindOfSystemError(LastSystemError()); }

}  // namespace platform
