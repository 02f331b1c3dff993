// Small helpers shared by the fuzz targets.
#pragma once

#include <unistd.h>

#include <cstddef>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

namespace fuzzsupport {

inline void Check(bool condition, const char* what) {
  if (!condition) {
    std::fprintf(stderr, "invariant broken: %s\n", what);
    std::abort();
  }
}

// A private folder for the files one target rewrites on every input (in /dev/shm
// when it exists, so the many rewrites stay in memory).
inline const std::string& WorkFolder() {
  static const std::string folder = [] {
    const char* base = access("/dev/shm", W_OK) == 0 ? "/dev/shm" : "/tmp";
    std::string pattern = std::string(base) + "/tervane-fuzz-XXXXXX";
    std::string path = pattern;
    if (!mkdtemp(&path[0])) std::abort();
    return path;
  }();
  return folder;
}

// True when a fixed-size text field holds its terminating zero.
template <std::size_t N>
bool Terminated(const char (&text)[N]) {
  return std::memchr(text, '\0', N) != nullptr;
}

inline void WriteFile(const std::string& path, const void* data, std::size_t size) {
  std::FILE* f = std::fopen(path.c_str(), "wb");
  if (!f) std::abort();
  if (size) std::fwrite(data, 1, size, f);
  std::fclose(f);
}

}  // namespace fuzzsupport
