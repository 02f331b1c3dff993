#include "client/dialect_b_layouts.h"

#include <gtest/gtest.h>

#include <string>

namespace {

std::string Render10(const std::string& data, bool printDomainName, int m = 0, int h = 80) {
  LabelJob job;
  job.Append("stale content that the layout must replace");
  DialectBFieldListLayout(job, data.c_str(), m, h, printDomainName);
  EXPECT_FALSE(job.TooLarge());
  return std::string(job.Text(), job.Length());
}

std::string Render100(const std::string& data, int m = 0, int h = 80) {
  LabelJob job;
  job.Append("stale content that the layout must replace");
  DialectBNumberedSeriesLayout(job, data.c_str(), m, h);
  EXPECT_FALSE(job.TooLarge());
  return std::string(job.Text(), job.Length());
}

std::size_t Count(const std::string& text, const std::string& piece) {
  std::size_t n = 0;
  for (std::size_t at = text.find(piece); at != std::string::npos; at = text.find(piece, at + 1)) ++n;
  return n;
}

TEST(DialectBFieldListLayout, WorkedExample) {
  const std::string label =
      "^P1\n^L\n"
      "BQ,10,0,2,5,80,0,0,A1234567\n"
      "AB,10,85,1,1,0,0,A TEXT OF TWENTY-SIX\n"
      "AD,10,103,1,1,0,0,LINE THREE\n";
  EXPECT_EQ(label + "AB,10,129,1,1,0,0,D1\nE\n" + label + "AB,10,129,1,1,0,0,D2\nE\n",
            Render10("D1^D2\\B^Q^A1234567\\A TEXT OF TWENTY-SIX CHARS\\A^D^LINE THREE", true));
  EXPECT_EQ(label + "E\n" + label + "E\n",
            Render10("D1^D2\\B^Q^A1234567\\A TEXT OF TWENTY-SIX CHARS\\A^D^LINE THREE", false));
}

TEST(DialectBFieldListLayout, CutAtTwentyForFontBOnly) {
  const std::string twenty = "ABCDEFGHIJKLMNOPQRST";
  EXPECT_EQ("^P1\n^L\nAB,10,0,1,1,0,0," + twenty + "\nE\n", Render10("D\\" + twenty, false));
  EXPECT_EQ("^P1\n^L\nAB,10,0,1,1,0,0," + twenty + "\nE\n", Render10("D\\" + twenty + "U", false));
  EXPECT_EQ("^P1\n^L\nAC,10,0,1,1,0,0," + twenty + "UVW\nE\n", Render10("D\\A^C^" + twenty + "UVW", false));
  // Barcode data is never cut, whatever its selection.
  EXPECT_EQ("^P1\n^L\nBB,10,0,2,5,80,0,0," + twenty + "12345\nE\n", Render10("D\\B^B^" + twenty + "12345", false));
}

TEST(DialectBFieldListLayout, StepTable) {
  // Each text line moves y by the step of its font's first character.
  std::string job = Render10("D\\A^A^a\\A^B^b\\A^C^c\\A^D^d\\A^I^i\\A^E^e\\A^2^f\\A^^g\\A^Z^h\\x", true);
  EXPECT_EQ(
      "^P1\n^L\n"
      "AA,10,0,1,1,0,0,a\n"
      "AB,10,14,1,1,0,0,b\n"
      "AC,10,32,1,1,0,0,c\n"
      "AD,10,54,1,1,0,0,d\n"
      "AI,10,80,1,1,0,0,i\n"
      "AE,10,104,1,1,0,0,e\n"
      "A2,10,134,1,1,0,0,f\n"
      "A,10,164,1,1,0,0,g\n"
      "AZ,10,194,1,1,0,0,h\n"
      "AB,10,224,1,1,0,0,x\n"
      "AB,10,242,1,1,0,0,D\n"
      "E\n",
      job);
}

TEST(DialectBFieldListLayout, DomainLineAndPositions) {
  // The domain line is always AB and moves y by 14, also after a barcode; x = 10 - m.
  EXPECT_EQ("^P1\n^L\nB1,-70,0,2,5,50,0,0,7\nAB,-70,55,1,1,0,0,D\nE\n", Render10("D\\B^1^7", true, 80, 50));
  // A field without letter prints nothing and leaves y; an empty domain list: no job.
  EXPECT_EQ("^P1\n^L\nAB,10,0,1,1,0,0,T\nE\n", Render10("D\\^B^X\\T", false));
  EXPECT_EQ("", Render10("\\T", true));
  EXPECT_EQ("", Render10("", true));
  EXPECT_EQ("", Render10(std::string(1025, 'D') + "\\T", true));
  // A label with no field: start, domain line, end.
  EXPECT_EQ("^P1\n^L\nAB,10,0,1,1,0,0,D1\nE\n", Render10("D1", true));
}

TEST(DialectBFieldListLayout, LargestRequestStopsAtTheCap) {
  std::string data = "D";
  for (int i = 1; i < 512; ++i) data += "^D";
  data += std::string(24000, '\\');
  LabelJob job;
  DialectBFieldListLayout(job, data.c_str(), 80, 80, true);
  EXPECT_TRUE(job.TooLarge());
  EXPECT_LE(job.Length(), 16u << 20);
}

TEST(DialectBNumberedSeriesLayout, WorkedExample) {
  const std::string expected =
      "^C3\n^P2\n^L\n"
      "BU,20,0,2,5,60,0,0,41\n"
      "AB,20,60,1,1,0,0,41\n"
      "AB,20,80,1,1,0,0,LOT 7\n"
      "E\n"
      "^C3\n^P2\n^L\n"
      "BU,20,0,2,5,60,0,0,42\n"
      "AB,20,60,1,1,0,0,42\n"
      "AB,20,80,1,1,0,0,LOT 7\n"
      "E\n";
  EXPECT_EQ(expected, Render100("41^2^3^6\\B^1\\X^Y^LOT 7"));
  // Move-left and barcode height do not apply.
  EXPECT_EQ(expected, Render100("41^2^3^6\\B^1\\X^Y^LOT 7", 80, 300));
}

TEST(DialectBNumberedSeriesLayout, TextAndNumbers) {
  // Negative numbers unpadded; only part 3 of the second field prints, up to its next "^".
  EXPECT_EQ("^C0\n^P1\n^L\nBU,20,0,2,5,60,0,0,-5\nAB,20,60,1,1,0,0,-5\nAB,20,80,1,1,0,0,V\nE\n",
            Render100("-5^1^0^9\\FIRST^1^NOT PRINTED\\A^3^V^W\\A^3^THIRD"));
  // A plain second field, or none, gives an empty text.
  EXPECT_NE(std::string::npos, Render100("1^1^1\\B^1\\PLAIN").find("AB,20,80,1,1,0,0,\nE\n"));
  EXPECT_NE(std::string::npos, Render100("1^1^1\\B^1").find("AB,20,80,1,1,0,0,\nE\n"));
  // Fields after the header are read with the bound 200.
  std::string field200 = "X^Y^" + std::string(96, 'T') + "^" + std::string(99, 'R');
  ASSERT_EQ(200u, field200.size());
  EXPECT_NE(std::string::npos, Render100("1^1^1\\B\\" + field200 + "\\").find(",0,0," + std::string(96, 'T')));
  EXPECT_NE(std::string::npos, Render100("1^1^1\\B\\" + field200 + "Z\\").find("AB,20,80,1,1,0,0,\nE\n"));
}

TEST(DialectBNumberedSeriesLayout, Counts) {
  EXPECT_EQ("", Render100("1^0^1\\B\\X^Y^T"));
  EXPECT_EQ("", Render100("1^-1^1\\B\\X^Y^T"));
  EXPECT_EQ("", Render100(""));
  std::string job = Render100("2147483647^2^1\\B\\X^Y^T");
  EXPECT_NE(std::string::npos, job.find("AB,20,60,1,1,0,0,2147483648\n"));
  EXPECT_EQ(2u, Count(job, "^P2\n"));

  LabelJob whole;
  DialectBNumberedSeriesLayout(whole, "1^10000^1\\B\\X^Y^LOT 7", 0, 80);
  ASSERT_FALSE(whole.TooLarge());
  std::string text(whole.Text(), whole.Length());
  EXPECT_EQ(10000u, Count(text, "\nE\n"));
  EXPECT_EQ(10000u, Count(text, "^P10000\n"));
  EXPECT_NE(std::string::npos, text.find("AB,20,60,1,1,0,0,10000\nAB,20,80,1,1,0,0,LOT 7\nE\n"));

  // Ten-digit numbers and a six-digit count give labels of one length: the largest
  // series that fits prints whole; one label more is refused after its first label.
  auto series = [](std::size_t count, LabelJob* job) {
    DialectBNumberedSeriesLayout(*job, ("1000000000^" + std::to_string(count) + "^1\\B\\X^Y^T").c_str(),
                                 0, 80);
  };
  LabelJob sample;
  series(100000, &sample);
  const std::size_t label = sample.Length() / 100000;
  const std::size_t fits = (16u << 20) / label;
  ASSERT_EQ(6u, std::to_string(fits).size());
  LabelJob largest;
  series(fits, &largest);
  EXPECT_FALSE(largest.TooLarge());
  EXPECT_EQ(fits * label, largest.Length());
  LabelJob refused;
  series(fits + 1, &refused);
  EXPECT_TRUE(refused.TooLarge());
  EXPECT_EQ(label, refused.Length());
  // Below zero the labels shrink, the number standing twice: 188,000 labels of the first
  // one's 91 bytes would pass the cap, but the later ones take 89 and all fit.
  LabelJob negative;
  DialectBNumberedSeriesLayout(negative, "-1000000^188000^1\\B\\X^Y^T", 0, 80);
  EXPECT_FALSE(negative.TooLarge());
  EXPECT_EQ(91u + 89u * 187999u, negative.Length());

  LabelJob capped;
  DialectBNumberedSeriesLayout(capped, "1^2147483647^1\\B\\X^Y^T", 0, 80);
  EXPECT_TRUE(capped.TooLarge());
  EXPECT_LE(capped.Length(), 16u << 20);
}

}  // namespace
