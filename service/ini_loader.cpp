// INILoader: the service settings file as a list of key=value entries.
//
// Lines end at a carriage return, at a line feed, or at both (a line feed right after a
// carriage return belongs to that line end), so no key or value holds a line feed.
// Empty lines are skipped. The first line longer than 1024 characters ends the
// reading. The key runs from the first character that is not a space up to the first
// "="; the value from the first non-space after it up to the next "=" or the line end.
// Lookups compare ASCII letters without case and take the first matching entry.
#include "service/ini_loader.h"

#include <new>

#include "platform/ascii_text.h"

bool INILoader::Load(const char* path) {
  if (!path) return false;
  // The text ends at the file's end or at its first zero byte. A file that cannot be
  // read (or held in memory) counts as one that cannot be opened.
  std::string text;
  if (!ascii::ReadWholeFile(path, &text)) return false;

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
    if (!ascii::SameText(e.key.c_str(), key)) continue;
    bool wasCut = ascii::CopyCut(out, outSize, e.value.data(), e.value.size());
    if (cut) *cut = wasCut;
    return true;
  }
  return false;
}
