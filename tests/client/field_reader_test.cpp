#include "client/field_reader.h"

#include <gtest/gtest.h>

#include <string>

namespace {

struct Read {
  bool ok;
  std::string field;
  int cursor;
};

Read ReadOnce(const std::string& source, int cursor, int maximum, char separator) {
  char dest[300];
  bool ok = ReadField(source.c_str(), &cursor, dest, maximum, separator);
  return {ok, dest, cursor};
}

TEST(FieldReader, SplitsAtSeparatorAndFailsAfterTheEnd) {
  const char* src = "a/b";
  int cursor = 0;
  char dest[10];
  ASSERT_TRUE(ReadField(src, &cursor, dest, 10, '/'));
  EXPECT_STREQ("a", dest);
  EXPECT_EQ(2, cursor);
  ASSERT_TRUE(ReadField(src, &cursor, dest, 10, '/'));
  EXPECT_STREQ("b", dest);
  EXPECT_EQ(4, cursor);  // one past the terminator
  EXPECT_FALSE(ReadField(src, &cursor, dest, 10, '/'));
  EXPECT_STREQ("", dest);
  EXPECT_EQ(4, cursor);
}

TEST(FieldReader, BlanksAndCarriageReturns) {
  EXPECT_EQ("x", ReadOnce("   x/y", 0, 10, '/').field);
  // Only the space is a blank: a tab stays.
  EXPECT_EQ("\tx", ReadOnce("\tx/y", 0, 10, '/').field);
  // Trailing and inner blanks stay.
  EXPECT_EQ("a b ", ReadOnce("  a b /", 0, 10, '/').field);

  Read r = ReadOnce("a\rb", 0, 10, '/');
  EXPECT_TRUE(r.ok);
  EXPECT_EQ("a", r.field);
  EXPECT_EQ(2, r.cursor);
  EXPECT_EQ("b", ReadOnce("a\rb", r.cursor, 10, '/').field);

  // The line feed after a carriage return starts the next field...
  Read lf = ReadOnce("a\r\nb/", 2, 10, '/');
  EXPECT_EQ("\nb", lf.field);
  // ...or ends it at once when the line feed is the separator.
  Read empty = ReadOnce("a\r\nb", 2, 10, '\n');
  EXPECT_TRUE(empty.ok);
  EXPECT_EQ("", empty.field);
  EXPECT_EQ(3, empty.cursor);
}

TEST(FieldReader, BlanksOnlyMovesCursorToTerminator) {
  Read r = ReadOnce("   ", 0, 10, '/');
  EXPECT_FALSE(r.ok);
  EXPECT_EQ("", r.field);
  EXPECT_EQ(3, r.cursor);
  Read again = ReadOnce("   ", 3, 10, '/');
  EXPECT_FALSE(again.ok);
  EXPECT_EQ(3, again.cursor);
}

TEST(FieldReader, BoundCountsTheTerminator) {
  Read tooLong = ReadOnce("abcd", 0, 4, '/');
  EXPECT_FALSE(tooLong.ok);
  EXPECT_EQ("", tooLong.field);
  EXPECT_EQ(0, tooLong.cursor);  // unchanged after an over-long field
  EXPECT_EQ("abcd", ReadOnce("abcd/", 0, 4, '/').field);
  EXPECT_EQ("abc", ReadOnce("abc", 0, 4, '/').field);
  // Separator 0 reads to the end, where the terminator is the separator: maximum chars.
  Read rest = ReadOnce("abcd", 0, 4, '\0');
  EXPECT_TRUE(rest.ok);
  EXPECT_EQ("abcd", rest.field);
  EXPECT_EQ(5, rest.cursor);
  EXPECT_FALSE(ReadOnce("abcde", 0, 4, '\0').ok);
  // A failed read after skipped blanks leaves the cursor where it was.
  EXPECT_EQ(1, ReadOnce(" abcdef/", 1, 3, '/').cursor);
}

TEST(FieldReader, EmptyFieldsAndCursorPastTheEnd) {
  Read a = ReadOnce("a//b", 0, 10, '/');
  Read empty = ReadOnce("a//b", a.cursor, 10, '/');
  EXPECT_TRUE(empty.ok);
  EXPECT_EQ("", empty.field);
  EXPECT_EQ("b", ReadOnce("a//b", empty.cursor, 10, '/').field);
  EXPECT_FALSE(ReadOnce("ab", 7, 10, '/').ok);
  EXPECT_FALSE(ReadOnce("ab", -1, 10, '/').ok);
}

TEST(FieldReader, DestinationNeverPassesMaximumPlusOne) {
  char dest[6];
  dest[5] = 'Z';
  int cursor = 0;
  EXPECT_FALSE(ReadField("0123456789", &cursor, dest, 4, '/'));
  EXPECT_EQ('\0', dest[0]);
  EXPECT_EQ('Z', dest[5]);
}

}  // namespace
