// Full path of the running executable.
#pragma once
#include <cstddef>

namespace platform {

// Writes the path, zero-terminated and cut to size - 1 characters; returns its length
// (0 on failure).
std::size_t ExecutablePath(char* out, std::size_t size);

// The separator between a directory and a file name on this system.
constexpr char kPathSeparator =
#ifdef _WIN32
    '\\';
#else
    '/';
#endif

}  // namespace platform
