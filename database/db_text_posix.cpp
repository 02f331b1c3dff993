// Characters of a text on Linux: the ODBC drivers read the bytes as UTF-8, the
// locale's character set; bytes that are not UTF-8 come from a single-byte code page.
#include "database/db_variant.h"

namespace dbl {

namespace {

bool IsValidUtf8(const std::string& s) {
  for (std::size_t i = 0; i < s.size();) {
    unsigned char c = static_cast<unsigned char>(s[i]);
    std::size_t extra;
    if (c < 0x80)
      extra = 0;
    else if ((c & 0xE0) == 0xC0)
      extra = 1;
    else if ((c & 0xF0) == 0xE0)
      extra = 2;
    else if ((c & 0xF8) == 0xF0)
      extra = 3;
    else
      return false;
    if (s.size() - i - 1 < extra) return false;
    for (std::size_t k = 1; k <= extra; ++k) {
      if ((static_cast<unsigned char>(s[i + k]) & 0xC0) != 0x80) return false;
    }
    i += extra + 1;
  }
  return true;
}

}  // namespace

std::size_t TextCharacterCount(const std::string& text) {
  if (!IsValidUtf8(text)) return text.size();  // one byte each
  std::size_t n = 0;
  for (char c : text) n += (static_cast<unsigned char>(c) & 0xC0) != 0x80;
  return n;
}

}  // namespace dbl
