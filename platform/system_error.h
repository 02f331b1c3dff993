// The calling thread's last system error code, in the Windows numbering that the
// portable code and its log lines use (5 = access denied, 2 = file not found, ...).
// On Windows this is GetLastError; the POSIX layer keeps its own per-thread value,
// set by the platform functions that fail, so portable code never reads errno.
#pragma once

namespace platform {

unsigned long LastSystemError();
void SetLastSystemError(unsigned long code);

}  // namespace platform
