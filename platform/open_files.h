// How many files and sockets the process may hold open at once.
#pragma once

namespace platform {

// Raises the process's own limit on open descriptors to the most the system lets it
// have (on Linux the soft RLIMIT_NOFILE up to the hard one: often 1,024 against
// 524,288, so a thousand idle connections would otherwise leave the service unable
// to accept another). Returns the limit now in force; 0 where the system has no such
// per-process limit (Windows).
unsigned long RaiseOpenFileLimit();

}  // namespace platform
