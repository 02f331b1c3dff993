#include "client/field_grammar.h"

#include <gtest/gtest.h>

#include <climits>
#include <cstring>
#include <string>

#include "client/dialect_b_layouts.h"

namespace {

Field Split(const std::string& text, const char* plainFont = "2") {
  Field field;
  SplitField(text.c_str(), plainFont, &field);
  return field;
}

TEST(FieldGrammar, PlainAndCompositeFields) {
  Field plain = Split("LINE TWO ^NOT");  // any "^" makes a composite field
  EXPECT_EQ('L', plain.letter);
  plain = Split("LINE TWO", "B");
  EXPECT_EQ('A', plain.letter);
  EXPECT_STREQ("B", plain.font);
  EXPECT_STREQ("LINE TWO", plain.value);

  // Only the first character of part 1 counts; parts lose their leading blanks.
  Field composite = Split("BARCODE^ 3C^  A1234567 ");
  EXPECT_EQ('B', composite.letter);
  EXPECT_STREQ("3C", composite.font);
  EXPECT_STREQ("A1234567 ", composite.value);

  // A composite field with nothing after its letter: empty font and value.
  composite = Split("A^");
  EXPECT_EQ('A', composite.letter);
  EXPECT_STREQ("", composite.font);
  EXPECT_STREQ("", composite.value);
}

TEST(FieldGrammar, LongPartTwoKeepsThreeCharacters) {
  Field field = Split("A^ABCDEFGH^VALUE");
  EXPECT_STREQ("ABC", field.font);
  EXPECT_STREQ("VALUE", field.value);
  std::string longFont(100, 'F');
  field = Split("B^" + longFont + "^X");
  EXPECT_STREQ("FFF", field.font);
  EXPECT_STREQ("X", field.value);
}

TEST(FieldGrammar, EmptyPartOneHasNoLetter) {
  EXPECT_EQ('\0', Split("^1^A1234567").letter);
  EXPECT_EQ('\0', Split("^").letter);
}

TEST(FieldGrammar, PartThreeEndsAtTheNextCaret) {
  EXPECT_STREQ("V", Split("A^3^V^W").value);
  EXPECT_STREQ("", Split("A^3^^W").value);
}

TEST(FieldGrammar, SplitPartsTreatsATextWithoutCaretAsPartOne) {
  Field field;
  SplitParts("B", &field);
  EXPECT_EQ('B', field.letter);
  EXPECT_STREQ("", field.font);
  SplitParts("", &field);
  EXPECT_EQ('\0', field.letter);
  SplitParts("X^Y^LOT 7", &field);
  EXPECT_STREQ("LOT 7", field.value);
}

SeriesHeader Header(const std::string& data, int* cursor = nullptr) {
  SeriesHeader header;
  int local = 0;
  ReadSeriesHeader(data.c_str(), static_cast<int>(data.size()), cursor ? cursor : &local, &header);
  return header;
}

TEST(FieldGrammar, SeriesHeaderNumbers) {
  int cursor = 0;
  SeriesHeader h = Header("41^2^3^6\\B^1", &cursor);
  EXPECT_EQ(41, h.first);
  EXPECT_EQ(2, h.count);
  EXPECT_EQ(3, h.copies);
  EXPECT_EQ(6, h.width);
  EXPECT_EQ(9, cursor);

  h = Header(" +7^\t-3^x9^12abc\\");
  EXPECT_EQ(7, h.first);
  EXPECT_EQ(-3, h.count);
  EXPECT_EQ(0, h.copies);
  EXPECT_EQ(12, h.width);

  // Missing parts count 0.
  h = Header("5\\");
  EXPECT_EQ(5, h.first);
  EXPECT_EQ(0, h.count);
}

TEST(FieldGrammar, SeriesHeaderSaturatesAtThe32BitLimits) {
  SeriesHeader h = Header("99999999999999999999^-99999999999^2147483648^-2147483649\\");
  EXPECT_EQ(INT_MAX, h.first);
  EXPECT_EQ(INT_MIN, h.count);
  EXPECT_EQ(INT_MAX, h.copies);
  EXPECT_EQ(INT_MIN, h.width);
  h = Header("2147483647^-2147483648\\");
  EXPECT_EQ(INT_MAX, h.first);
  EXPECT_EQ(INT_MIN, h.count);
}

TEST(FieldGrammar, SeriesHeaderBoundIs200) {
  // 99 + 1 + 96 + 1 + 1 + 1 + 1 = 200 characters before the backslash.
  std::string exact = std::string(97, '0') + "41^" + std::string(95, '0') + "1^1^3";
  ASSERT_EQ(200u, exact.size());
  SeriesHeader h = Header(exact + "\\");
  EXPECT_EQ(41, h.first);
  EXPECT_EQ(1, h.count);
  EXPECT_EQ(3, h.width);
  h = Header("0" + exact + "\\");
  EXPECT_EQ(0, h.first);
  EXPECT_EQ(0, h.count);
}

TEST(FieldGrammar, SerialNumberText) {
  char text[24];
  FormatSerialNumber(-5, text);
  EXPECT_STREQ("-5", text);
  FormatSerialNumber(0, text);
  EXPECT_STREQ("0", text);
  FormatSerialNumber(4294967294LL, text);
  EXPECT_STREQ("4294967294", text);
  FormatSerialNumber(INT64_MIN, text);
  EXPECT_STREQ("-9223372036854775808", text);
}

TEST(FieldGrammar, DialectBStepTable) {
  EXPECT_EQ(14, DialectBTextStep("A"));
  EXPECT_EQ(18, DialectBTextStep("B"));
  EXPECT_EQ(22, DialectBTextStep("C"));
  EXPECT_EQ(26, DialectBTextStep("DX"));
  EXPECT_EQ(24, DialectBTextStep("I"));
  for (const char* other : {"E", "H", "J", "Z", "2", "a", "b", ""}) {
    EXPECT_EQ(30, DialectBTextStep(other)) << other;
  }
}

}  // namespace
