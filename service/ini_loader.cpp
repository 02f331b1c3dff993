// INILoader: the service settings file as a list of key=value entries.
//
// Lines end at a carriage return, at a line feed, or at both (a line feed right after a
// carriage return belongs to that line end), so no key or value holds a line feed.
// Empty lines are skipped. The first line longer than 1024 characters ends the
// reading. The key runs from the first character that is not a space up to the first
// "="; the value from the first non-space after it up to the next "=" or the line end.
// Lookups compare ASCII letters without case and take the first matching entry.
#include "service/ini_loader.h"

#include <cstdio>
#include <cstring>
#include <new>

namespace {

char Upper(char c) { return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c; }

bool KeysMatch(const char* a, const char* b) {
  for (; *a && *b; ++a, ++b) {
    if (Upper(*a) != Upper(*b)) return false;
  }
  return *a == *b;
}

// Copies text[0, length) into out (size bytes), cut to size - 1 characters.
void CopyCut(char* out, std::size_t size, const char* text, std::size_t length) {
  if (length > size - 1) length = size - 1;
  std::memcpy(out, text, length);
  out[length] = '\0';
}

// The whole file: the text ends at its end or at its first zero byte, which a
// terminator after the bytes read stands for. False when it cannot be read (on Linux a
// folder opens like a file and fails only at the first read) or memory runs out.
bool ReadWholeFile(std::FILE* file, std::string* text) {
  try {
    char chunk[4096];
    std::size_t n;
    while ((n = std::fread(chunk, 1, sizeof chunk, file)) > 0) text->append(chunk, n);
  } catch (const std::bad_alloc&) {
    return false;
  }
  return !std::ferror(file);
}

}  // namespace

bool INILoader::Load(const char* path) {
  if (!path) return false;
  std::FILE* file = std::fopen(path, "rb");
  if (!file) return false;
  std::string text;
  bool readable = ReadWholeFile(file, &text);
  std::fclose(file);
  if (!readable) return false;

  entries.clear();
  const char* p = text.c_str();
  for (;;) {
    const char* end = p;
    while (*end && *end != '\r' && *end != '\n') ++end;
    std::size_t length = static_cast<std::size_t>(end - p);
    if (length > kMaxLine) break;  // this line and every later one are ignored
    if (length > 0) AddLine(p, length);
    if (*end == '\0') break;
    p = end + 1;
    if (*end == '\r' && *p == '\n') ++p;  // the line feed of a CR LF pair
  }
  return true;
}

// A line that cannot be stored for want of memory is left out, as if it were not there.
void INILoader::AddLine(const char* line, std::size_t length) {
  const char* end = line + length;
  const char* key = line;
  while (key < end && *key == ' ') ++key;
  const char* keyEnd = key;
  while (keyEnd < end && *keyEnd != '=') ++keyEnd;
  const char* value = keyEnd;
  const char* valueEnd = keyEnd;
  if (keyEnd < end) {
    value = keyEnd + 1;
    while (value < end && *value == ' ') ++value;
    valueEnd = value;
    while (valueEnd < end && *valueEnd != '=') ++valueEnd;
  }
  std::size_t keyLength = static_cast<std::size_t>(keyEnd - key);
  if (keyLength > kKeySize - 1) keyLength = kKeySize - 1;
  try {
    entries.push_back(Entry{std::string(key, keyLength),
                            std::string(value, static_cast<std::size_t>(valueEnd - value))});
  } catch (const std::bad_alloc&) {
  }
}

bool INILoader::GetValue(char* out, const char* key, std::size_t outSize, bool* cut) const {
  if (cut) *cut = false;
  if (!out || outSize == 0) return false;
  out[0] = '\0';
  if (!key) return false;
  for (const Entry& e : entries) {
    if (!KeysMatch(e.key.c_str(), key)) continue;
    if (cut) *cut = e.value.size() > outSize - 1;
    CopyCut(out, outSize, e.value.data(), e.value.size());
    return true;
  }
  return false;
}
