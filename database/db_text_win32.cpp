// Characters of a text on Windows: ADO's BSTR and the ANSI functions of odbc32 both turn
// the text into wide characters with the ANSI code page.
#include <windows.h>

#include "database/db_variant.h"

namespace dbl {

std::size_t TextCharacterCount(const std::string& text) {
  if (text.empty()) return 0;
  int n = MultiByteToWideChar(CP_ACP, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
  return n > 0 ? static_cast<std::size_t>(n) : text.size();
}

}  // namespace dbl
