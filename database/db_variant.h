// DbVariant: the value that crosses the database layer, a small stand-in for the COM
// VARIANT. It carries the VARIANT type number (the same numbering, so a backend built on
// COM converts one to the other field by field) and one payload.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace dbl {

// VARIANT type numbers the layer knows.
enum VarType : unsigned short {
  VT_EMPTY = 0,
  VT_NULL = 1,
  VT_I2 = 2,
  VT_I4 = 3,
  VT_R4 = 4,
  VT_R8 = 5,
  VT_DATE = 7,
  VT_BSTR = 8,
  VT_ERROR = 10,
  VT_BOOL = 11,
  VT_DECIMAL = 14,
  VT_I1 = 16,
  VT_UI1 = 17,
  VT_UI2 = 18,
  VT_UI4 = 19,
  VT_I8 = 20,
  VT_UI8 = 21,
  VT_INT = 22,
  VT_UINT = 23,
  VT_BYTES = 0x2011,  // VT_ARRAY | VT_UI1: binary data
};

// The SCODE of a VT_ERROR that stands for "no value given" (DISP_E_PARAMNOTFOUND).
constexpr long kParamNotFound = static_cast<long>(0x80020004UL);

// A 96-bit scaled integer, as the VARIANT DECIMAL holds it:
// value = (hi32 * 2^64 + lo64) / 10^scale, negative when `negative`.
struct DbDecimal {
  std::uint32_t hi32 = 0;
  std::uint64_t lo64 = 0;
  unsigned char scale = 0;  // 0..28
  bool negative = false;
};

constexpr int kMaxDecimalScale = 28;

// Reads "[-+]digits[.digits]" (surrounding blanks allowed). Digits beyond the 96-bit
// range after the point are rounded away; false when the text is not a number or its
// integer part does not fit.
bool DecimalFromText(const char* text, DbDecimal& out);
// "-123.4500": all scale digits, no exponent.
std::string DecimalToText(const DbDecimal& value);
double DecimalToDouble(const DbDecimal& value);

// Calendar time and the VARIANT date (days since 1899-12-30, time of day as the fraction
// whose magnitude counts also for days before that date).
struct DbDateTime {
  int year = 1899, month = 12, day = 30, hour = 0, minute = 0, second = 0;
  long nanosecond = 0;  // 0..999999999
};
double DateFromParts(const DbDateTime& parts);
// The parts of a VARIANT date, rounded to the microsecond (the finest step a VARIANT date
// holds for the dates of our time; from about 2079 on, to the power of ten of microseconds
// that the date still holds). A time that rounds up to midnight is the next day.
DbDateTime DateToParts(double date);
// Reads "YYYY-MM-DD", "YYYY-MM-DD HH:MM:SS[.fraction]" or "HH:MM:SS[.fraction]"; the
// fraction keeps up to nine digits.
bool DateFromText(const char* text, double& out);
// "YYYY-MM-DD HH:MM:SS", followed by ".ffffff" without its trailing zeros when the
// microseconds are not zero.
std::string DateToText(double date);

// Number of wide characters a text becomes where the backends hand it on: on Windows
// through the ANSI code page (the BSTR of ADO, the ANSI functions of odbc32), on Linux as
// UTF-8 (one per byte when the text is not UTF-8).
std::size_t TextCharacterCount(const std::string& text);

class DbVariant {
 public:
  DbVariant() = default;

  static DbVariant Null();
  static DbVariant Int(long long value, VarType type = VT_I4);  // any integer type
  static DbVariant UInt4(unsigned long value);
  static DbVariant Real(double value, VarType type = VT_R8);
  static DbVariant Bool(bool value);
  static DbVariant Date(double value);
  static DbVariant Text(const char* text);
  static DbVariant Text(const std::string& text);
  static DbVariant Bytes(const std::string& bytes);
  static DbVariant Decimal(const DbDecimal& value);
  static DbVariant Error(long scode = kParamNotFound);

  VarType Type() const { return type_; }
  bool IsEmpty() const { return type_ == VT_EMPTY; }
  bool IsNull() const { return type_ == VT_NULL; }
  bool IsInteger() const;

  long long IntValue() const { return integer_; }    // integer types, VT_ERROR (its SCODE)
  double RealValue() const { return real_; }         // VT_R4, VT_R8, VT_DATE
  bool BoolValue() const { return boolean_; }        // VT_BOOL
  const std::string& TextValue() const { return text_; }  // VT_BSTR, VT_BYTES
  const DbDecimal& DecimalValue() const { return decimal_; }  // VT_DECIMAL

  // The value as text, the way a driver reads it: numbers in C notation, booleans as
  // 1/0, dates as DateToText writes them. False for empty, null, error and binary values.
  bool ToText(std::string& out) const;
  // Number of characters of a VT_BSTR, as TextCharacterCount counts them.
  std::size_t CharacterCount() const;

  bool operator==(const DbVariant& other) const;
  bool operator!=(const DbVariant& other) const { return !(*this == other); }

 private:
  VarType type_ = VT_EMPTY;
  long long integer_ = 0;
  double real_ = 0;
  bool boolean_ = false;
  std::string text_;
  DbDecimal decimal_;
};

}  // namespace dbl
