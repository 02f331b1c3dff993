#include "client/field_reader.h"

#include <cstring>

bool ReadField(const char* source, int* cursor, char* destination, int maximum, char separator) {
  return ReadField(source, static_cast<int>(std::strlen(source)), cursor, destination, maximum,
                   separator);
}

bool ReadField(const char* source, int sourceLength, int* cursor, char* destination, int maximum,
               char separator) {
  int i = *cursor;
  if (i < 0 || i > sourceLength || source[i] == '\0') {
    destination[0] = '\0';
    return false;
  }
  while (source[i] == ' ') ++i;
  if (source[i] == '\0') {
    destination[0] = '\0';
    *cursor = i;
    return false;
  }
  int k = 0;
  for (;;) {
    const char b = source[i];
    if (b == separator || b == '\r') break;
    destination[k++] = b;
    if (k > maximum) {
      destination[0] = '\0';
      return false;
    }
    if (b == '\0') break;
    ++i;
  }
  destination[k] = '\0';
  *cursor = i + 1;
  return true;
}
