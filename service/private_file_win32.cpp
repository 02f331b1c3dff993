#include <cstdio>

#include "service/private_file.h"

// The file is opened once in binary mode; the text's "\n" become CR LF here, as the
// text-mode stream the service log has always been written with would store them.
bool AppendToPrivateFile(const char* path, const char* text, std::size_t textLength,
                         const char* bytes, std::size_t byteLength) {
  std::FILE* file = std::fopen(path, "ab");
  if (!file) return false;
  bool ok = true;
  std::size_t from = 0;
  for (std::size_t i = 0; i < textLength && ok; ++i) {
    if (text[i] != '\n') continue;
    ok = std::fwrite(text + from, 1, i - from, file) == i - from &&
         std::fwrite("\r\n", 1, 2, file) == 2;
    from = i + 1;
  }
  if (ok) ok = std::fwrite(text + from, 1, textLength - from, file) == textLength - from;
  if (ok && byteLength > 0) ok = std::fwrite(bytes, 1, byteLength, file) == byteLength;
  if (std::fclose(file) != 0) ok = false;
  return ok;
}
