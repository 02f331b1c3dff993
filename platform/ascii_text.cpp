#include "platform/ascii_text.h"

#include <new>

namespace ascii {

void UpperCase(char* text) {
  for (; *text; ++text) *text = ToUpper(*text);
}

void LowerCase(std::string* text) {
  for (char& c : *text) c = ToLower(c);
}

bool SameText(const char* a, const char* b) {
  for (;; ++a, ++b) {
    if (ToLower(*a) != ToLower(*b)) return false;
    if (*a == '\0') return true;
  }
}

bool SameText(const std::string& a, const std::string& b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    if (ToLower(a[i]) != ToLower(b[i])) return false;
  }
  return true;
}

bool CopyCut(char* out, std::size_t size, const char* text, std::size_t length) {
  bool cut = length > size - 1;
  if (cut) length = size - 1;
  std::memcpy(out, text, length);
  out[length] = '\0';
  return cut;
}

bool ReadStream(std::FILE* file, std::string* out, std::size_t limit, bool* cut) {
  if (cut) *cut = false;
  try {
    char chunk[4096];
    std::size_t n;
    std::size_t room = limit;
    while ((n = std::fread(chunk, 1, sizeof chunk, file)) > 0) {
      if (n > room) {
        out->append(chunk, room);
        if (cut) *cut = true;
        return true;
      }
      out->append(chunk, n);
      room -= n;
    }
  } catch (const std::bad_alloc&) {
    return false;
  }
  return !std::ferror(file);
}

bool ReadWholeFile(const char* path, std::string* out) {
  std::FILE* file = std::fopen(path, "rb");
  if (!file) return false;
  bool ok = ReadStream(file, out);
  std::fclose(file);
  return ok;
}

void WrapWords(const char* text, unsigned width, char* out, std::size_t outSize) {
  std::size_t o = 0, column = 0;
  const char* p = text;
  while (*p && o + 2 < outSize) {
    const char* wordEnd = p;
    while (*wordEnd && *wordEnd != ' ') ++wordEnd;
    std::size_t length = static_cast<std::size_t>(wordEnd - p);
    if (column > 0 && column + 1 + length > width) {
      out[o++] = '\n';
      column = 0;
    } else if (column > 0) {
      out[o++] = ' ';
      ++column;
    }
    for (std::size_t i = 0; i < length && o + 1 < outSize; ++i, ++column) out[o++] = p[i];
    p = *wordEnd ? wordEnd + 1 : wordEnd;
  }
  out[o] = '\0';
}

}  // namespace ascii
