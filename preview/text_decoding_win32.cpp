// Windows has no iconv: the code pages come from the system (MultiByteToWideChar),
// UTF-8 is decoded here. Both give what the Linux build's iconv gives: one U+FFFD per
// byte that the charset does not define, the bytes as Latin-1 for a charset the system
// lacks, code page 851 (which Windows lacks) from a table, and 1255's Hebrew letters
// joined with their points.
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

// DOS code page 851 (Greek), which Windows does not have: its upper half (the lower one
// is ASCII); 0x91 is undefined.
const char16_t kCp851[128] = {
    0x00C7, 0x00FC, 0x00E9, 0x00E2, 0x00E4, 0x00E0, 0x0386, 0x00E7,
    0x00EA, 0x00EB, 0x00E8, 0x00EF, 0x00EE, 0x0388, 0x00C4, 0x0389,
    0x038A, 0xFFFD, 0x038C, 0x00F4, 0x00F6, 0x038E, 0x00FB, 0x00F9,
    0x038F, 0x00D6, 0x00DC, 0x03AC, 0x00A3, 0x03AD, 0x03AE, 0x03AF,
    0x03CA, 0x0390, 0x03CC, 0x03CD, 0x0391, 0x0392, 0x0393, 0x0394,
    0x0395, 0x0396, 0x0397, 0x00BD, 0x0398, 0x0399, 0x00AB, 0x00BB,
    0x2591, 0x2592, 0x2593, 0x2502, 0x2524, 0x039A, 0x039B, 0x039D,
    0x039C, 0x2563, 0x2551, 0x2557, 0x255D, 0x039E, 0x039F, 0x2510,
    0x2514, 0x2534, 0x252C, 0x251C, 0x2500, 0x253C, 0x03A0, 0x03A1,
    0x255A, 0x2554, 0x2569, 0x2566, 0x2560, 0x2550, 0x256C, 0x03A3,
    0x03A4, 0x03A5, 0x03A6, 0x03A7, 0x03A8, 0x03A9, 0x03B1, 0x03B2,
    0x03B3, 0x2518, 0x250C, 0x2588, 0x2584, 0x03B4, 0x03B5, 0x2580,
    0x03B6, 0x03B7, 0x03B8, 0x03B9, 0x03BA, 0x03BB, 0x03BC, 0x03BD,
    0x03BE, 0x03BF, 0x03C0, 0x03C1, 0x03C3, 0x03C2, 0x03C4, 0x00B4,
    0x00AD, 0x00B1, 0x03C5, 0x03C6, 0x03C7, 0x00A7, 0x03C8, 0x02DB,
    0x00B0, 0x00A8, 0x03C9, 0x03CB, 0x03B0, 0x03CE, 0x25A0, 0x00A0,
};

// Hebrew letters with a point that iconv's 1255 joins into one presentation form, as
// Unicode decomposes those forms (shin with a dot and a dagesh takes two steps, in
// either order).
struct Joined {
  char16_t letter, point, form;
};
const Joined kHebrewForms[] = {
    {0x05D9, 0x05B4, 0xFB1D}, {0x05F2, 0x05B7, 0xFB1F}, {0x05E9, 0x05C1, 0xFB2A}, {0x05E9, 0x05C2, 0xFB2B},
    {0xFB49, 0x05C1, 0xFB2C}, {0xFB49, 0x05C2, 0xFB2D}, {0x05D0, 0x05B7, 0xFB2E}, {0x05D0, 0x05B8, 0xFB2F},
    {0x05D0, 0x05BC, 0xFB30}, {0x05D1, 0x05BC, 0xFB31}, {0x05D2, 0x05BC, 0xFB32}, {0x05D3, 0x05BC, 0xFB33},
    {0x05D4, 0x05BC, 0xFB34}, {0x05D5, 0x05BC, 0xFB35}, {0x05D6, 0x05BC, 0xFB36}, {0x05D8, 0x05BC, 0xFB38},
    {0x05D9, 0x05BC, 0xFB39}, {0x05DA, 0x05BC, 0xFB3A}, {0x05DB, 0x05BC, 0xFB3B}, {0x05DC, 0x05BC, 0xFB3C},
    {0x05DE, 0x05BC, 0xFB3E}, {0x05E0, 0x05BC, 0xFB40}, {0x05E1, 0x05BC, 0xFB41}, {0x05E3, 0x05BC, 0xFB43},
    {0x05E4, 0x05BC, 0xFB44}, {0x05E6, 0x05BC, 0xFB46}, {0x05E7, 0x05BC, 0xFB47}, {0x05E8, 0x05BC, 0xFB48},
    {0x05E9, 0x05BC, 0xFB49}, {0x05EA, 0x05BC, 0xFB4A}, {0x05D5, 0x05B9, 0xFB4B}, {0x05D1, 0x05BF, 0xFB4C},
    {0x05DB, 0x05BF, 0xFB4D}, {0x05E4, 0x05BF, 0xFB4E},
    // and with the dagesh after the dot
    {0xFB2A, 0x05BC, 0xFB2C}, {0xFB2B, 0x05BC, 0xFB2D},
};

// The code page's characters, with iconv's 1255 joins applied.
void AppendJoined(UINT codePage, char32_t c, std::u32string* out) {
  if (codePage == 1255 && !out->empty()) {
    for (const Joined& j : kHebrewForms) {
      if (out->back() == j.letter && c == j.point) {
        out->back() = j.form;
        return;
      }
    }
  }
  out->push_back(c);
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
  if (codePage == 851) {
    for (const char c : bytes) {
      const unsigned char b = static_cast<unsigned char>(c);
      out.push_back(b < 0x80 ? b : kCp851[b - 0x80]);
    }
    return out;
  }
  if (codePage == 0 || !IsValidCodePage(codePage)) {
    for (unsigned char c : bytes) out.push_back(c);
    return out;
  }
  // The code pages in use are single-byte ones: one character per byte. Windows gives a
  // byte that its code page leaves undefined the C1 control of the same value (0x81 in
  // 1252 is U+0081) or a private-use character, where iconv refuses it; iconv's 1255
  // also predates the point that Windows puts at 0xCA (U+05BA).
  for (const char c : bytes) {
    wchar_t wide[2];
    const int n = MultiByteToWideChar(codePage, MB_ERR_INVALID_CHARS, &c, 1, wide, 2);
    const unsigned char b = static_cast<unsigned char>(c);
    const bool undefined = n != 1 || (codePage == 1255 && b == 0xCA) ||
                           (b >= 0x80 && ((wide[0] >= 0x80 && wide[0] <= 0x9F) || (wide[0] >= 0xE000 && wide[0] <= 0xF8FF)));
    AppendJoined(codePage, undefined ? U'\uFFFD' : static_cast<char32_t>(wide[0]), &out);
  }
  return out;
}
