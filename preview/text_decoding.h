// Label text arrives as bytes in the printer's code page; the preview draws Unicode.
#pragma once

#include <string>

// Decodes bytes from charset (an iconv name such as "CP437" or "UTF-8") to Unicode.
// A byte that the code page does not define becomes U+FFFD; a charset that iconv does
// not know decodes as Latin-1.
std::u32string DecodeText(const std::string& bytes, const char* charset);
