#include "database/db_variant.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "platform/civil_date.h"

namespace dbl {

namespace {

// The 96-bit mantissa as three 32-bit limbs, least significant first.
struct Mantissa {
  std::uint32_t limb[3] = {0, 0, 0};

  bool IsZero() const { return limb[0] == 0 && limb[1] == 0 && limb[2] == 0; }

  // this = this * 10 + digit; false (and unchanged) on overflow.
  bool MulAdd(unsigned digit) {
    std::uint32_t result[3];
    std::uint64_t carry = digit;
    for (int i = 0; i < 3; ++i) {
      std::uint64_t v = static_cast<std::uint64_t>(limb[i]) * 10u + carry;
      result[i] = static_cast<std::uint32_t>(v);
      carry = v >> 32;
    }
    if (carry != 0) return false;
    std::memcpy(limb, result, sizeof limb);
    return true;
  }

  bool AddOne() {
    for (int i = 0; i < 3; ++i) {
      if (++limb[i] != 0) return true;
    }
    limb[0] = limb[1] = limb[2] = 0xFFFFFFFFu;  // undo the wrap: it overflowed
    return false;
  }

  // Divides by 10 and returns the remainder.
  unsigned DivTen() {
    std::uint64_t rest = 0;
    for (int i = 2; i >= 0; --i) {
      std::uint64_t v = (rest << 32) | limb[i];
      limb[i] = static_cast<std::uint32_t>(v / 10u);
      rest = v % 10u;
    }
    return static_cast<unsigned>(rest);
  }
};

Mantissa ToMantissa(const DbDecimal& d) {
  Mantissa m;
  m.limb[0] = static_cast<std::uint32_t>(d.lo64);
  m.limb[1] = static_cast<std::uint32_t>(d.lo64 >> 32);
  m.limb[2] = d.hi32;
  return m;
}

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

const long long kOleEpochDays = platform::DaysFromCivil(1899, 12, 30);

int DaysInMonth(int year, int month) {
  static const int days[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  if (month == 2 && ((year % 4 == 0 && year % 100 != 0) || year % 400 == 0)) return 29;
  return days[month - 1];
}

// Reads exactly `count` digits.
bool ReadNumber(const char*& p, int count, int& out) {
  out = 0;
  for (int i = 0; i < count; ++i) {
    if (!IsDigit(*p)) return false;
    out = out * 10 + (*p++ - '0');
  }
  return true;
}

bool ReadTime(const char*& p, DbDateTime& t) {
  if (!ReadNumber(p, 2, t.hour) || *p++ != ':' || !ReadNumber(p, 2, t.minute)) return false;
  t.second = 0;
  if (*p == ':') {
    ++p;
    if (!ReadNumber(p, 2, t.second)) return false;
    t.nanosecond = 0;
    if (*p == '.') {  // fractions of a second, to the nanosecond
      ++p;
      long scale = 100000000;
      for (; IsDigit(*p); ++p, scale /= 10) t.nanosecond += (*p - '0') * scale;
    }
  }
  return t.hour < 24 && t.minute < 60 && t.second < 60;
}

std::string RealToText(double v) {
  char buf[40];
  std::snprintf(buf, sizeof buf, "%.15g", v);
  if (std::strtod(buf, nullptr) != v) std::snprintf(buf, sizeof buf, "%.17g", v);
  return buf;
}

}  // namespace

bool DecimalFromText(const char* text, DbDecimal& out) {
  if (text == nullptr) return false;
  const char* p = text;
  while (*p == ' ' || *p == '\t') ++p;
  bool negative = false;
  if (*p == '-' || *p == '+') negative = (*p++ == '-');
  Mantissa m;
  int scale = 0;
  bool anyDigit = false, full = false, roundUp = false;
  for (; IsDigit(*p); ++p) {
    anyDigit = true;
    if (!m.MulAdd(static_cast<unsigned>(*p - '0'))) return false;  // integer part too large
  }
  if (*p == '.') {
    ++p;
    for (; IsDigit(*p); ++p) {
      anyDigit = true;
      if (full) continue;
      Mantissa next = m;
      if (scale < kMaxDecimalScale && next.MulAdd(static_cast<unsigned>(*p - '0'))) {
        m = next;
        ++scale;
      } else {
        full = true;  // no more room: round on this digit, drop the rest
        roundUp = *p >= '5';
      }
    }
  }
  while (*p == ' ' || *p == '\t') ++p;
  if (!anyDigit || *p != '\0') return false;
  if (roundUp) {
    Mantissa next = m;
    if (next.AddOne()) m = next;
  }
  out.lo64 = static_cast<std::uint64_t>(m.limb[0]) | (static_cast<std::uint64_t>(m.limb[1]) << 32);
  out.hi32 = m.limb[2];
  out.scale = static_cast<unsigned char>(scale);
  out.negative = negative && !m.IsZero();
  return true;
}

std::string DecimalToText(const DbDecimal& value) {
  Mantissa m = ToMantissa(value);
  char digits[40];
  int n = 0;
  do {
    digits[n++] = static_cast<char>('0' + m.DivTen());
  } while (!m.IsZero());
  int scale = value.scale > kMaxDecimalScale ? kMaxDecimalScale : value.scale;
  while (n <= scale) digits[n++] = '0';  // at least one digit before the point
  std::string out;
  if (value.negative) out += '-';
  for (int i = n - 1; i >= 0; --i) {
    out += digits[i];
    if (i == scale && i != 0) out += '.';
  }
  return out;
}

double DecimalToDouble(const DbDecimal& value) {
  double v = static_cast<double>(value.hi32) * 18446744073709551616.0 + static_cast<double>(value.lo64);
  v /= std::pow(10.0, value.scale);
  return value.negative ? -v : v;
}

double DateFromParts(const DbDateTime& t) {
  long long days = platform::DaysFromCivil(t.year, static_cast<unsigned>(t.month), static_cast<unsigned>(t.day)) - kOleEpochDays;
  double fraction = (t.hour * 3600.0 + t.minute * 60.0 + t.second + t.nanosecond / 1e9) / 86400.0;
  return days >= 0 ? static_cast<double>(days) + fraction : static_cast<double>(days) - fraction;
}

DbDateTime DateToParts(double date) {
  constexpr long long kMicrosecondsPerDay = 86400LL * 1000000LL;
  double whole = std::trunc(date);
  long long days = static_cast<long long>(whole);
  // The step of rounding: a microsecond, or the first power of ten above the spacing of
  // doubles at this date (far from 1899 a double cannot tell microseconds apart, and
  // rounding finer would turn whole seconds into ones with a stray fraction).
  double magnitude = std::fabs(date);
  double spacing = (std::nextafter(magnitude, HUGE_VAL) - magnitude) * static_cast<double>(kMicrosecondsPerDay);
  long long step = 1;
  while (step < 1000000 && static_cast<double>(step) <= spacing) step *= 10;
  long long micro =
      std::llround(std::fabs(date - whole) * static_cast<double>(kMicrosecondsPerDay) / static_cast<double>(step)) *
      step;
  if (micro >= kMicrosecondsPerDay) {  // rounded up to midnight: the calendar's next day, also before 1899-12-30
    micro -= kMicrosecondsPerDay;
    days += 1;
  }
  DbDateTime t;
  platform::CivilFromDays(days + kOleEpochDays, &t.year, &t.month, &t.day);
  long long seconds = micro / 1000000;
  t.hour = static_cast<int>(seconds / 3600);
  t.minute = static_cast<int>(seconds / 60 % 60);
  t.second = static_cast<int>(seconds % 60);
  t.nanosecond = static_cast<long>(micro % 1000000) * 1000;
  return t;
}

bool DateFromText(const char* text, double& out) {
  if (text == nullptr) return false;
  const char* p = text;
  while (*p == ' ') ++p;
  DbDateTime t;
  if (p[0] != '\0' && p[1] != '\0' && p[2] == ':') {  // a time of day alone
    if (!ReadTime(p, t)) return false;
  } else {
    bool negativeYear = *p == '-';
    if (negativeYear) ++p;
    if (!ReadNumber(p, 4, t.year) || *p++ != '-' || !ReadNumber(p, 2, t.month) || *p++ != '-' ||
        !ReadNumber(p, 2, t.day))
      return false;
    if (negativeYear) t.year = -t.year;
    if (t.month < 1 || t.month > 12 || t.day < 1 || t.day > DaysInMonth(t.year, t.month)) return false;
    if (*p == ' ' || *p == 'T') {
      ++p;
      if (!ReadTime(p, t)) return false;
    }
  }
  while (*p == ' ') ++p;
  if (*p == '+' || (*p == '-' && p != text)) {  // a zone offset ("+02"): the local wall time is kept
    ++p;
    while (IsDigit(*p) || *p == ':') ++p;
  }
  if (*p != '\0') return false;
  out = DateFromParts(t);
  return true;
}

std::string DateToText(double date) {
  DbDateTime t = DateToParts(date);
  char buf[64];
  int n = std::snprintf(buf, sizeof buf, "%04d-%02d-%02d %02d:%02d:%02d", t.year, t.month, t.day, t.hour, t.minute,
                        t.second);
  if (t.nanosecond != 0 && n > 0 && static_cast<std::size_t>(n) < sizeof buf) {
    std::snprintf(buf + n, sizeof buf - static_cast<std::size_t>(n), ".%06ld", t.nanosecond / 1000);
    std::size_t end = std::strlen(buf);
    while (buf[end - 1] == '0') buf[--end] = '\0';
  }
  return buf;
}

DbVariant DbVariant::Null() {
  DbVariant v;
  v.type_ = VT_NULL;
  return v;
}

DbVariant DbVariant::Int(long long value, VarType type) {
  DbVariant v;
  v.type_ = type;
  v.integer_ = value;
  return v;
}

DbVariant DbVariant::UInt4(unsigned long value) { return Int(static_cast<long long>(value & 0xFFFFFFFFUL), VT_UI4); }

DbVariant DbVariant::Real(double value, VarType type) {
  DbVariant v;
  v.type_ = type;
  v.real_ = value;
  return v;
}

DbVariant DbVariant::Bool(bool value) {
  DbVariant v;
  v.type_ = VT_BOOL;
  v.boolean_ = value;
  return v;
}

DbVariant DbVariant::Date(double value) { return Real(value, VT_DATE); }

DbVariant DbVariant::Text(const char* text) { return Text(std::string(text ? text : "")); }

DbVariant DbVariant::Text(const std::string& text) {
  DbVariant v;
  v.type_ = VT_BSTR;
  v.text_ = text;
  return v;
}

DbVariant DbVariant::Bytes(const std::string& bytes) {
  DbVariant v = Text(bytes);
  v.type_ = VT_BYTES;
  return v;
}

DbVariant DbVariant::Decimal(const DbDecimal& value) {
  DbVariant v;
  v.type_ = VT_DECIMAL;
  v.decimal_ = value;
  return v;
}

DbVariant DbVariant::Error(long scode) { return Int(scode, VT_ERROR); }

bool DbVariant::IsInteger() const {
  switch (type_) {
    case VT_I1: case VT_I2: case VT_I4: case VT_I8: case VT_INT:
    case VT_UI1: case VT_UI2: case VT_UI4: case VT_UI8: case VT_UINT:
      return true;
    default:
      return false;
  }
}

bool DbVariant::ToText(std::string& out) const {
  if (IsInteger()) {
    char buf[32];
    if (type_ == VT_UI8)
      std::snprintf(buf, sizeof buf, "%llu", static_cast<unsigned long long>(integer_));
    else
      std::snprintf(buf, sizeof buf, "%lld", integer_);
    out = buf;
    return true;
  }
  switch (type_) {
    case VT_R4: case VT_R8: out = RealToText(real_); return true;
    case VT_DATE: out = DateToText(real_); return true;
    case VT_BOOL: out = boolean_ ? "1" : "0"; return true;
    case VT_BSTR: out = text_; return true;
    case VT_DECIMAL: out = DecimalToText(decimal_); return true;
    default: return false;
  }
}

std::size_t DbVariant::CharacterCount() const { return TextCharacterCount(text_); }

bool DbVariant::operator==(const DbVariant& o) const {
  if (type_ != o.type_) return false;
  if (IsInteger() || type_ == VT_ERROR) return integer_ == o.integer_;
  switch (type_) {
    case VT_R4: case VT_R8: case VT_DATE: return real_ == o.real_;
    case VT_BOOL: return boolean_ == o.boolean_;
    case VT_BSTR: case VT_BYTES: return text_ == o.text_;
    case VT_DECIMAL:
      return decimal_.hi32 == o.decimal_.hi32 && decimal_.lo64 == o.decimal_.lo64 &&
             decimal_.scale == o.decimal_.scale && decimal_.negative == o.decimal_.negative;
    default: return true;
  }
}

}  // namespace dbl
