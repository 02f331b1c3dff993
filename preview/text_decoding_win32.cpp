// Windows has no iconv: the code pages come from the system (MultiByteToWideChar),
// UTF-8 is decoded here. Both keep the iconv version's rules: one U+FFFD per byte that
// the charset does not define, and the bytes as Latin-1 for a charset the system lacks.
#include <windows.h>

#include <cstdlib>
#include <cstring>

#include "preview/text_decoding.h"

namespace {

// Length and value of the UTF-8 sequence at bytes[at]; 0 when it is not a valid one
// (an overlong form, a surrogate, past U+10FFFF or cut short).
std::size_t Utf8Sequence(const std::string& bytes, std::size_t at, char32_t* value) {
  const unsigned char lead = static_cast<unsigned char>(bytes[at]);
  std::size_t length;
  char32_t v, minimum;
  if (lead < 0x80) {
    *value = lead;
    return 1;
  } else if (lead >= 0xC2 && lead <= 0xDF) {
    length = 2, v = lead & 0x1F, minimum = 0x80;
  } else if (lead >= 0xE0 && lead <= 0xEF) {
    length = 3, v = lead & 0x0F, minimum = 0x800;
  } else if (lead >= 0xF0 && lead <= 0xF4) {
    length = 4, v = lead & 0x07, minimum = 0x10000;
  } else {
    return 0;
  }
  if (at + length > bytes.size()) return 0;
  for (std::size_t i = 1; i < length; ++i) {
    const unsigned char c = static_cast<unsigned char>(bytes[at + i]);
    if ((c & 0xC0) != 0x80) return 0;
    v = (v << 6) | (c & 0x3F);
  }
  if (v < minimum || v > 0x10FFFF || (v >= 0xD800 && v <= 0xDFFF)) return 0;
  *value = v;
  return length;
}

}  // namespace

std::u32string DecodeText(const std::string& bytes, const char* charset) {
  std::u32string out;
  if (std::strcmp(charset, "UTF-8") == 0) {
    for (std::size_t at = 0; at < bytes.size();) {
      char32_t value = 0;
      const std::size_t n = Utf8Sequence(bytes, at, &value);
      out.push_back(n ? value : U'\uFFFD');
      at += n ? n : 1;
    }
    return out;
  }
  const UINT codePage = std::strncmp(charset, "CP", 2) == 0 ? std::strtoul(charset + 2, nullptr, 10) : 0;
  if (codePage == 0 || !IsValidCodePage(codePage)) {
    for (unsigned char c : bytes) out.push_back(c);
    return out;
  }
  // The code pages in use are single-byte ones: one character per byte.
  for (const char c : bytes) {
    wchar_t wide[2];
    const int n = MultiByteToWideChar(codePage, MB_ERR_INVALID_CHARS, &c, 1, wide, 2);
    out.push_back(n == 1 ? static_cast<char32_t>(wide[0]) : U'\uFFFD');
  }
  return out;
}
