// INILoader: the service settings file as a list of key=value entries.
//
// Lines end at a carriage return, at a line feed, or at both (a line feed right after a
// carriage return belongs to that line end), so no key or value holds a line feed.
// Empty lines are skipped. The first line longer than 1024 characters ends the
// reading. The key runs from the first character that is not a space up to the first
// "="; the value from the first non-space after it up to the next "=" or the line end.
// Lookups compare ASCII letters without case and take the first matching entry.
#include "service/job_server.h"

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

}  // namespace

INILoader::~INILoader() { Clear(); }

void INILoader::Clear() {
  while (head) {
    Entry* next = head->next;
    delete head;
    head = next;
  }
}

bool INILoader::Load(const char* path) {
  if (!path) return false;
  std::FILE* file = std::fopen(path, "rb");
  if (!file) return false;

  // Read the whole file; the text ends at its end or at its first zero byte.
  std::size_t capacity = 4096, size = 0;
  char* text = static_cast<char*>(::operator new(capacity + 1, std::nothrow));
  if (!text) {
    std::fclose(file);
    return false;
  }
  for (;;) {
    if (size == capacity) {
      std::size_t bigger = capacity * 2;
      char* grown = static_cast<char*>(::operator new(bigger + 1, std::nothrow));
      if (!grown) {
        ::operator delete(text);
        std::fclose(file);
        return false;
      }
      std::memcpy(grown, text, size);
      ::operator delete(text);
      text = grown;
      capacity = bigger;
    }
    std::size_t n = std::fread(text + size, 1, capacity - size, file);
    if (n == 0) break;
    size += n;
  }
  // A read error makes the file unreadable: on Linux a folder opens like a file and
  // fails only at the first read.
  bool readable = !std::ferror(file);
  std::fclose(file);
  if (!readable) {
    ::operator delete(text);
    return false;
  }
  text[size] = '\0';

  Clear();
  Entry** tail = &head;
  const char* p = text;
  for (;;) {
    const char* end = p;
    while (*end && *end != '\r' && *end != '\n') ++end;
    std::size_t length = static_cast<std::size_t>(end - p);
    if (length > kMaxLine) break;  // this line and every later one are ignored
    if (length > 0) AddLine(p, length, tail);
    if (*end == '\0') break;
    p = end + 1;
    if (*end == '\r' && *p == '\n') ++p;  // the line feed of a CR LF pair
  }
  ::operator delete(text);
  return true;
}

void INILoader::AddLine(const char* line, std::size_t length, Entry**& tail) {
  Entry* entry = new (std::nothrow) Entry;
  if (!entry) return;
  const char* end = line + length;

  const char* key = line;
  while (key < end && *key == ' ') ++key;
  const char* keyEnd = key;
  while (keyEnd < end && *keyEnd != '=') ++keyEnd;
  CopyCut(entry->key, sizeof entry->key, key, static_cast<std::size_t>(keyEnd - key));

  entry->value[0] = '\0';
  if (keyEnd < end) {
    const char* value = keyEnd + 1;
    while (value < end && *value == ' ') ++value;
    const char* valueEnd = value;
    while (valueEnd < end && *valueEnd != '=') ++valueEnd;
    CopyCut(entry->value, sizeof entry->value, value, static_cast<std::size_t>(valueEnd - value));
  }

  entry->next = nullptr;
  *tail = entry;
  tail = &entry->next;
}

bool INILoader::GetValue(char* out, const char* key, std::size_t outSize, bool* cut) const {
  if (cut) *cut = false;
  if (!out || outSize == 0) return false;
  out[0] = '\0';
  if (!key) return false;
  for (const Entry* e = head; e; e = e->next) {
    if (!KeysMatch(e->key, key)) continue;
    std::size_t length = std::strlen(e->value);
    if (cut) *cut = length > outSize - 1;
    CopyCut(out, outSize, e->value, length);
    return true;
  }
  return false;
}
