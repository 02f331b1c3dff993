// Small helpers shared by the test suites. Per-OS helpers live beside this file as
// NAME_posix.cpp / NAME_win32.cpp with a portable NAME.h.
#pragma once

#include <string>

namespace testsupport {

// A fresh, empty folder under the system's temporary folder, removed with its content
// when the object goes away.
class TempDir {
 public:
  TempDir();
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;

  const std::string& Path() const { return path_; }
  std::string File(const std::string& name) const;  // Path() + separator + name

 private:
  std::string path_;
};

std::string ReadFile(const std::string& path);  // whole file, binary; "" when missing
void WriteFile(const std::string& path, const std::string& bytes);  // binary
bool FileExists(const std::string& path);

// Value of an environment variable, or fallback when it is not set.
std::string Env(const char* name, const std::string& fallback = "");

// Folder of the build tree (TERVANE_BUILD_DIR, set by CTest).
std::string BuildDir();

}  // namespace testsupport
