// INILoader: the entries of the service settings file, lines key=value ended by CR,
// LF or CR LF, in the order of the file.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

class INILoader {
 public:
  static constexpr std::size_t kKeySize = 255;     // at most 254 characters
  static constexpr std::size_t kValueSize = 1025;  // at most 1024 characters
  static constexpr std::size_t kMaxLine = 1024;    // longer lines end the reading
  // The buffer size ReadSettings reads values into.
  static constexpr std::size_t kReadBufferSize = 260;

  INILoader() = default;
  virtual ~INILoader() = default;
  INILoader(const INILoader&) = delete;
  INILoader& operator=(const INILoader&) = delete;

  // True when the file was found and read (also when an over-long line stopped the
  // reading); false when it is missing or cannot be opened. Replaces earlier entries.
  bool Load(const char* path);

  // Empties out, then copies the value of the first entry whose key matches (ASCII
  // letters compared without case) and returns true. The value is cut to outSize - 1
  // characters; *cut (when given) says whether that happened.
  bool GetValue(char* out, const char* key, std::size_t outSize = kReadBufferSize,
                bool* cut = nullptr) const;

 private:
  struct Entry {
    std::string key;    // cut to kKeySize - 1 characters
    std::string value;  // never longer than a line
  };
  void AddLine(const char* line, std::size_t length);

  std::vector<Entry> entries;
};
