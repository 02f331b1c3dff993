#include "client/decimal.h"

#include <climits>

int ParseDecimal(const char* text) {
  const unsigned char* p = reinterpret_cast<const unsigned char*>(text);
  // White space of the C locale: blank, tab, line feed, vertical tab, form feed, CR.
  while (*p == ' ' || (*p >= '\t' && *p <= '\r')) ++p;
  bool negative = false;
  if (*p == '+' || *p == '-') {
    negative = *p == '-';
    ++p;
  }
  // Accumulate as a negative number so that INT_MIN itself is reachable.
  long long value = 0;
  while (*p >= '0' && *p <= '9') {
    value = value * 10 - (*p - '0');
    if (value < INT_MIN) value = static_cast<long long>(INT_MIN) - 1;  // saturated below
    ++p;
  }
  if (negative) return value < INT_MIN ? INT_MIN : static_cast<int>(value);
  return value < -static_cast<long long>(INT_MAX) ? INT_MAX : static_cast<int>(-value);
}
