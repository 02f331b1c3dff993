#include "studio/byte_text.h"

#include <cstdio>

bool BytesFromText(const std::string& utf8, std::string* bytes, std::string* error) {
  bytes->clear();
  bytes->reserve(utf8.size());
  for (std::size_t i = 0; i < utf8.size(); ++i) {
    const unsigned char c = static_cast<unsigned char>(utf8[i]);
    if (c < 0x80) {
      bytes->push_back(static_cast<char>(c));
      continue;
    }
    // Two-byte sequences C2 80 to C3 BF are U+0080 to U+00FF; anything else is a
    // character that is no byte.
    if ((c == 0xC2 || c == 0xC3) && i + 1 < utf8.size() &&
        (static_cast<unsigned char>(utf8[i + 1]) & 0xC0) == 0x80) {
      bytes->push_back(static_cast<char>(((c & 0x1F) << 6) | (static_cast<unsigned char>(utf8[i + 1]) & 0x3F)));
      ++i;
      continue;
    }
    char where[96];
    std::snprintf(where, sizeof where, "a character above U+00FF at byte %zu of the text", i);
    *error = std::string(where) + " (texts are bytes: one character U+0000 to U+00FF per byte)";
    return false;
  }
  return true;
}

std::string TextFromBytes(const std::string& bytes) {
  std::string utf8;
  utf8.reserve(bytes.size() + bytes.size() / 8);
  for (const char ch : bytes) {
    const unsigned char c = static_cast<unsigned char>(ch);
    if (c < 0x80) {
      utf8.push_back(ch);
    } else {
      utf8.push_back(static_cast<char>(0xC0 | (c >> 6)));
      utf8.push_back(static_cast<char>(0x80 | (c & 0x3F)));
    }
  }
  return utf8;
}
