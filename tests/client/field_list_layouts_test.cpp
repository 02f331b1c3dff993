#include "client/field_list_layouts.h"
#include "tests/client/worked_examples.h"

#include <gtest/gtest.h>

#include <climits>
#include <string>

namespace {

std::string Fields(const std::string& data, int m = 80, int h = 80) {
  LabelJob job;
  job.Append("stale content that the layout must replace");
  FieldListLayout(job, data.c_str(), m, h);
  EXPECT_EQ(std::string(job.Text()).size(), job.Length());
  return std::string(job.Text(), job.Length());
}

std::string Grouped(const std::string& data, bool printDomainName, int m = 80, int h = 80) {
  LabelJob job;
  job.Append("stale content that the layout must replace");
  GroupedFieldListLayout(job, data.c_str(), m, h, printDomainName);
  EXPECT_FALSE(job.TooLarge());
  return std::string(job.Text(), job.Length());
}

const char kHeader[] = "D8\n\nN\n";

TEST(FieldListLayout, WorkedExample) {
  EXPECT_EQ(worked::kFieldListJob, Fields(worked::kFieldListData));
}

TEST(FieldListLayout, WrapAtTwentyKeepsTheBlankAtTheCut) {
  const std::string twenty = "ABCDEFGHIJKLMNOPQRST";
  EXPECT_EQ(std::string(kHeader) + "A10,0,0,2,1,1,N,\"" + twenty + "\"\nP1\n", Fields(twenty + "\\"));
  EXPECT_EQ(std::string(kHeader) + "A10,0,0,2,1,1,N,\"" + twenty + "\"\nA10,20,0,2,1,1,N,\"U\"\nP1\n",
            Fields(twenty + "U\\"));
  // The continuation is not read by the field reader, so it keeps its leading blanks.
  EXPECT_EQ(std::string(kHeader) + "A10,0,0,2,1,1,N,\"" + twenty + "\"\nA10,20,0,2,1,1,N,\"  END \"\nP1\n",
            Fields(twenty + "  END \\"));
  // Font "2X" begins with "2" and wraps; font "3" and an empty font never do.
  const std::string long30 = twenty + "0123456789";
  EXPECT_NE(std::string::npos, Fields("A^2X^" + long30).find("A10,20,0,2X,1,1,N,\"0123456789\"\n"));
  EXPECT_EQ(std::string(kHeader) + "A10,0,0,3,1,1,N,\"" + long30 + "\"\nP1\n", Fields("A^3^" + long30));
  EXPECT_EQ(std::string(kHeader) + "A10,0,0,,1,1,N,\"" + long30 + "\"\nP1\n", Fields("A^^" + long30));
}

TEST(FieldListLayout, BarcodeDataIsNeverCut) {
  const std::string data = "123456789012345678901234567890";
  EXPECT_EQ(std::string(kHeader) + "B10,0,0,2,2,4,80,B,\"" + data + "\"\nA10,110,0,2,1,1,N,\"X\"\nP1\n",
            Fields("B^2^" + data + "\\X"));
}

TEST(FieldListLayout, FieldBoundOf100) {
  const std::string hundred(100, 'H');
  // 100 characters before a backslash fit (and a plain field of 100 wraps).
  std::string job = Fields(hundred + "\\NEXT\\");
  EXPECT_NE(std::string::npos, job.find("A10,20,0,2,1,1,N,\"" + std::string(80, 'H') + "\"\n"));
  EXPECT_NE(std::string::npos, job.find("A10,40,0,2,1,1,N,\"NEXT\"\nP1\n"));
  // 101 characters end the field list there: no later field, the label still closes.
  EXPECT_EQ(std::string(kHeader) + "A10,0,0,2,1,1,N,\"FIRST\"\nP1\n", Fields("FIRST\\H" + hundred + "\\NEXT\\"));
  // A last field that runs into the end of the data may hold 99 characters.
  EXPECT_NE(std::string::npos, Fields(std::string(99, 'E')).find(std::string(79, 'E')));
  EXPECT_EQ(std::string(kHeader) + "P1\n", Fields(hundred));
}

TEST(FieldListLayout, EmptyFieldsAndFieldsWithoutLetter) {
  // Two backslashes in a row: an empty text line that moves y.
  EXPECT_EQ(std::string(kHeader) + "A10,0,0,2,1,1,N,\"\"\nA10,20,0,2,1,1,N,\"X\"\nP1\n", Fields("\\X\\"));
  // An empty part 1 prints nothing and leaves y where it is.
  EXPECT_EQ(std::string(kHeader) + "A10,0,0,2,1,1,N,\"X\"\nP1\n", Fields("^1^A1234567\\X\\"));
  EXPECT_EQ(std::string(kHeader) + "P1\n", Fields(""));
}

TEST(FieldListLayout, PositionsAreSignedAndWrapInsteadOfOverflowing) {
  EXPECT_EQ(std::string(kHeader) + "A-10,0,0,2,1,1,N,\"X\"\nP1\n", Fields("X", 100));
  // A barcode height at the 32-bit limit: the next y wraps around, defined.
  std::string job = Fields("B^1^1\\X", 0, INT_MAX);
  EXPECT_NE(std::string::npos, job.find("B90,0,0,1,2,4,2147483647,B,\"1\"\nA90,-2147483619,0,2,"));
}

TEST(GroupedFieldListLayout, WorkedExample) {
  const std::string data = worked::kGroupedData;
  EXPECT_EQ(worked::kGroupedJob, Grouped(data, true));
  const std::string withoutDomains =
      "D8\n\nN\n"
      "B10,0,0,1,2,4,80,B,\"A1234567\"\n"
      "A10,110,0,2,1,1,N,\"LINE TWO\"\n"
      "P1\n"
      "D8\n\nN\n"
      "B10,0,0,1,2,4,80,B,\"A1234567\"\n"
      "A10,110,0,2,1,1,N,\"LINE TWO\"\n"
      "P1\n"
      "D8\n\nN\n"
      "A10,0,0,2,1,1,N,\"LINE FOUR\"\n"
      "P1\n";
  EXPECT_EQ(withoutDomains, Grouped(data, false));
}

TEST(GroupedFieldListLayout, DomainLineLetterAndFont) {
  // After a text field: that field's font.
  EXPECT_EQ(std::string(kHeader) + "A10,0,0,4,1,1,N,\"T\"\nA10,20,0,4,1,1,N,\"D\"\nP1\n",
            Grouped("D\\A^4^T", true));
  // After a barcode field: text in font "2", even when the barcode came after text.
  EXPECT_EQ(std::string(kHeader) +
                "A10,0,0,4,1,1,N,\"T\"\nB10,20,0,3C,2,4,80,B,\"9\"\nA10,130,0,2,1,1,N,\"D\"\nP1\n",
            Grouped("D\\A^4^T\\B^3C^9", true));
  // A label without fields: header, domain line in font "2", P1.
  EXPECT_EQ(std::string(kHeader) + "A10,0,0,2,1,1,N,\"D1\"\nP1\n" + kHeader + "A10,0,0,2,1,1,N,\"D2\"\nP1\n",
            Grouped("D1^D2", true));
  EXPECT_EQ(std::string(kHeader) + "P1\n", Grouped("D1", false));
  // A field without letter is not a rendered field: the font stays that of the text.
  EXPECT_EQ(std::string(kHeader) + "A10,0,0,4,1,1,N,\"T\"\nA10,20,0,4,1,1,N,\"D\"\nP1\n",
            Grouped("D\\A^4^T\\^1^X", true));
}

TEST(GroupedFieldListLayout, EmptyGroupsAndDomainLists) {
  EXPECT_EQ("", Grouped("", true));
  EXPECT_EQ("", Grouped("\\LINE", true));           // empty domain list
  EXPECT_EQ("", Grouped("|||", true));              // empty groups only
  EXPECT_EQ(std::string(kHeader) + "A10,0,0,2,1,1,N,\"A\"\nP1\n" + kHeader + "A10,0,0,2,1,1,N,\"B\"\nP1\n",
            Grouped("D1\\A||\\NONE|D2\\B", false));
  // Each domain name repeats every field of its group, from the top.
  std::string job = Grouped("X^Y^Z\\L", false);
  EXPECT_EQ(3u * (std::string(kHeader) + "A10,0,0,2,1,1,N,\"L\"\nP1\n").size(), job.size());
}

TEST(GroupedFieldListLayout, GroupBoundOf300EndsTheLayout) {
  // The group is "D\" and fields of 9 characters each ended by a backslash.
  std::string exact = "D\\";
  while (exact.size() < 300) exact += "123456789\\";
  ASSERT_EQ(302u, exact.size());
  exact.resize(300);  // the last field runs into the "|"
  std::string job = Grouped(exact + "|E\\LAST", false);
  EXPECT_NE(std::string::npos, job.find("\"LAST\""));
  std::string over = exact + "X";
  job = Grouped("A\\FIRST|" + over + "|E\\LAST", false);
  EXPECT_EQ(std::string(kHeader) + "A10,0,0,2,1,1,N,\"FIRST\"\nP1\n", job);
}

TEST(GroupedFieldListLayout, DomainNameBoundOf100) {
  const std::string hundred(100, 'N');
  std::string job = Grouped(hundred + "^D2\\X", true);
  EXPECT_NE(std::string::npos, job.find("\"" + hundred + "\""));
  EXPECT_NE(std::string::npos, job.find("\"D2\""));
  // 101 characters: the domain list ends there, so the group gives no label.
  EXPECT_EQ("", Grouped("N" + hundred + "^D2\\X", true));
}

TEST(GroupedFieldListLayout, LargeRequestGrowsPastTheOldBufferAndStopsAtTheCap) {
  // 150 groups, each with 100 domain names and 50 empty text fields.
  std::string group;
  for (int i = 0; i < 100; ++i) group += i ? "^D" : "D";
  group += "\\";
  for (int i = 0; i < 50; ++i) group += "\\";
  ASSERT_LE(group.size(), 300u);
  std::string data;
  for (int i = 0; i < 40; ++i) data += group + "|";
  LabelJob job;
  GroupedFieldListLayout(job, data.c_str(), 80, 80, true);
  EXPECT_FALSE(job.TooLarge());
  EXPECT_GT(job.Length(), 1000000u);
  std::string text(job.Text(), job.Length());
  std::size_t labels = 0;
  for (std::size_t at = text.find("P1\n"); at != std::string::npos; at = text.find("P1\n", at + 1)) ++labels;
  EXPECT_EQ(4000u, labels);

  // Four times as much passes the 16 MiB cap: the job is marked too large, nothing overruns.
  for (int i = 0; i < 3; ++i) data += data;
  GroupedFieldListLayout(job, data.c_str(), 80, 80, true);
  EXPECT_TRUE(job.TooLarge());
  EXPECT_LE(job.Length(), 16u << 20);
}

}  // namespace
