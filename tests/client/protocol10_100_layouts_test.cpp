#include "client/protocol10_100_layouts.h"
#include "tests/client/worked_examples.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <utility>
#include <vector>

namespace {

// An ordered suffix table as the settings loader builds it.
using Suffixes = std::vector<std::pair<std::string, std::string>>;

const char* FindIn(const void* context, const char* name) {
  for (const auto& entry : *static_cast<const Suffixes*>(context)) {
    if (entry.first == name) return entry.second.c_str();
  }
  return "";
}

struct Extended {
  char pageCode = '0';
  int maxTextLen = 0;
  bool hexText = false;
  bool printDomainName = false;
  Suffixes suffixes;
};

std::string Render10(const std::string& data, const Extended& values, int m = 80, int h = 80) {
  ExtendedLayoutSettings settings;
  settings.pageCode = values.pageCode;
  settings.maxTextLen = values.maxTextLen;
  settings.hexText = values.hexText;
  settings.findSuffix = FindIn;
  settings.suffixContext = &values.suffixes;
  LabelJob job;
  job.Append("stale content that the layout must replace");
  ExtendedFieldListLayout(job, data.c_str(), m, h, values.printDomainName, settings);
  EXPECT_FALSE(job.TooLarge());
  EXPECT_EQ(std::string(job.Text()).size(), job.Length());
  return std::string(job.Text(), job.Length());
}

std::string Render100(const std::string& data, int m = 80, int h = 80) {
  LabelJob job;
  job.Append("stale content that the layout must replace");
  NumberedSeriesLayout(job, data.c_str(), m, h);
  EXPECT_FALSE(job.TooLarge());
  return std::string(job.Text(), job.Length());
}

std::string Decode(const std::string& hex) {
  std::vector<char> value(hex.begin(), hex.end());
  value.push_back('\0');
  DecodeHexText(value.data());
  return value.data();
}

std::size_t Count(const std::string& text, const std::string& piece) {
  std::size_t n = 0;
  for (std::size_t at = text.find(piece); at != std::string::npos; at = text.find(piece, at + 1)) ++n;
  return n;
}

const char kStart[] = "I8,0,001\nD8\n\nN\n";

TEST(ExtendedFieldListLayout, WorkedExamples) {
  Extended first;
  first.pageCode = 'B';
  first.hexText = true;
  first.printDomainName = true;
  first.suffixes = {{"D2", "-X"}};
  EXPECT_EQ(worked::kProtocol10Job, Render10(worked::kProtocol10Data, first));

  Extended second;
  second.maxTextLen = 12;
  EXPECT_EQ(
      "I8,0,001\nD8\n\nN\n"
      "A10,0,0,2,1,1,N,\"LONG TEXT OF\"\n"
      "A10,20,0,2,1,1,N,\" TWENTY FIVE CH\"\n"
      "P1\n",
      Render10("D1\\LONG TEXT OF TWENTY FIVE CH", second));
}

TEST(ExtendedFieldListLayout, DomainListBoundOf1024) {
  Extended values;
  EXPECT_EQ("", Render10("\\B^1^X", values));
  EXPECT_EQ("", Render10("", values));
  // 11 names of 92 characters, each with its caret, and a last name of 1: 1024 characters.
  std::string list;
  for (int i = 0; i < 11; ++i) list += std::string(92, static_cast<char>('A' + i)) + "^";
  list += "Z";
  ASSERT_EQ(1024u, list.size());
  std::string job = Render10(list + "\\T", values);
  EXPECT_EQ(12u, Count(job, "P1\n"));
  EXPECT_EQ("", Render10("Y" + list + "\\T", values));
}

TEST(ExtendedFieldListLayout, HexPairs) {
  EXPECT_EQ("", Decode("LINE TWO"));      // first pair is no number: byte 0 ends the value
  EXPECT_EQ("A", Decode("41004142"));      // a pair giving 0 ends the value
  EXPECT_EQ("A\x04", Decode("414"));       // an odd last character stands alone
  EXPECT_EQ("\x80\xff\xc3\x22", Decode("80FFc322"));
  EXPECT_EQ("\x01\xff\x0a", Decode(" 1-1+a"));  // white space and sign as a base-16 read allows
  EXPECT_EQ("A", Decode("41G1"));          // a pair read up to its first non-digit: "G1" gives 0
  EXPECT_EQ("\x04", Decode("4G"));         // "4G" reads as 4
  EXPECT_EQ("", Decode(""));

  // In the layout: a quote and high bytes go between the quotes unchanged; barcodes are
  // never decoded; without the flag, text is not decoded either.
  Extended hex;
  hex.hexText = true;
  EXPECT_EQ(std::string(kStart) + "A10,0,0,2,1,1,N,\"\"\xe9\x80\"\nB10,20,0,1,2,4,80,B,\"4142\"\n"
                                  "A10,130,0,2,1,1,N,\"\"\nP1\n",
            Render10("D\\22E980\\B^1^4142\\LINE TWO", hex));
  Extended plain;
  EXPECT_EQ(std::string(kStart) + "A10,0,0,2,1,1,N,\"4142\"\nP1\n", Render10("D\\4142", plain));
}

TEST(ExtendedFieldListLayout, MaxTextLenWrap) {
  Extended values;
  values.hexText = true;
  values.maxTextLen = 5;
  // Applies to the decoded value: five bytes exactly do not wrap, six do.
  EXPECT_EQ(std::string(kStart) + "A10,0,0,2,1,1,N,\"ABCDE\"\nP1\n", Render10("D\\4142434445", values));
  EXPECT_EQ(std::string(kStart) + "A10,0,0,2,1,1,N,\"ABCDE\"\nA10,20,0,2,1,1,N,\"F\"\nP1\n",
            Render10("D\\414243444546", values));
  values.hexText = false;
  // Font not beginning with "2": never wrapped. Barcodes: never cut, suffix after the data.
  values.suffixes = {{"D", "-S"}};
  EXPECT_EQ(std::string(kStart) + "A10,0,0,3,1,1,N,\"ABCDEFGH\"\nB10,20,0,2,2,4,80,B,\"12345678-S\"\nP1\n",
            Render10("D\\A^3^ABCDEFGH\\B^2^12345678", values));
  // 0 means no wrapping at all, not the 20 of the other layouts; a negative width, read
  // as unsigned, never wraps.
  const std::string thirty(30, 'T');
  for (int width : {0, -1, -2147483647 - 1}) {
    values.maxTextLen = width;
    EXPECT_EQ(std::string(kStart) + "A10,0,0,2,1,1,N,\"" + thirty + "\"\nP1\n", Render10("D\\" + thirty, values))
        << width;
  }
  values.maxTextLen = 100;
  EXPECT_EQ(std::string(kStart) + "A10,0,0,2,1,1,N,\"" + thirty + "\"\nP1\n", Render10("D\\" + thirty, values));
}

TEST(ExtendedFieldListLayout, SuffixLookup) {
  Extended values;
  values.suffixes = {{"D2", "-FIRST"}, {"D", "-SHORT"}, {"D2", "-SECOND"}, {"", "-EMPTY"}};
  std::string job = Render10("D2^d2^D^D22\\B^1^7", values);
  EXPECT_NE(std::string::npos, job.find("\"7-FIRST\""));  // exact key, first entry wins
  EXPECT_NE(std::string::npos, job.find("\"7-SHORT\""));
  EXPECT_EQ(2u, Count(job, "B,\"7\"\n"));                  // lower case and longer names miss
  EXPECT_EQ(0u, Count(job, "SECOND"));
  // Without a suffix table nothing is appended.
  ExtendedLayoutSettings none;
  LabelJob bare;
  ExtendedFieldListLayout(bare, "D\\B^1^7", 0, 80, false, none);
  EXPECT_EQ("I8,0,001\nD8\n\nN\nB90,0,0,1,2,4,80,B,\"7\"\nP1\n", std::string(bare.Text()));
}

TEST(ExtendedFieldListLayout, PageCodeAndDomainLines) {
  Extended values;
  values.pageCode = '\0';  // never a zero byte in the job: the default "0"
  values.printDomainName = true;
  EXPECT_EQ(std::string(kStart) + "A10,0,0,2,1,1,N,\"D\"\nP1\n", Render10("D", values));
  values.pageCode = '8';
  // After a barcode the domain line is text in font "2"; a field without letter prints nothing.
  EXPECT_EQ("I8,8,001\nD8\n\nN\nA10,0,0,3,1,1,N,\"T\"\nB10,20,0,3,2,4,80,B,\"9\"\nA10,130,0,2,1,1,N,\"D\"\nP1\n",
            Render10("D\\A^3^T\\^3^X\\B^3^9", values));
}

TEST(ExtendedFieldListLayout, LargestRequestStopsAtTheCap) {
  // 512 domain names, each repeating 24,000 empty text fields: far beyond 16 MiB.
  std::string data = "D";
  for (int i = 1; i < 512; ++i) data += "^D";
  data += std::string(24000, '\\');
  LabelJob job;
  ExtendedFieldListLayout(job, data.c_str(), 80, 80, true, ExtendedLayoutSettings());
  EXPECT_TRUE(job.TooLarge());
  EXPECT_LE(job.Length(), 16u << 20);
}

TEST(NumberedSeriesLayout, WorkedExample) {
  EXPECT_EQ(worked::kSeriesJob, Render100(worked::kSeriesData));
}

TEST(NumberedSeriesLayout, WidthsAndNegativeNumbers) {
  EXPECT_EQ("D8\n\nN\nB10,0,0,1,2,4,80,B,\"00-5\"\nP1\n", Render100("-5^1^1^4\\B^1"));
  EXPECT_EQ("D8\n\nN\nB10,0,0,1,2,4,80,B,\"-5\"\nP1\n", Render100("-5^1^1^2\\B^1"));
  EXPECT_EQ("D8\n\nN\nB10,0,0,1,2,4,80,B,\"123\"\nP1\n", Render100("123^1^1^0\\B^1"));
  EXPECT_EQ("D8\n\nN\nB10,0,0,1,2,4,80,B,\"123\"\nP1\n", Render100("123^1^1^-9\\B^1"));
  // Widths above 19 are padded in full.
  EXPECT_EQ("D8\n\nN\nB10,0,0,1,2,4,80,B,\"" + std::string(98, '0') + "41\"\nP1\n", Render100("41^1^1^100\\B^1"));
  // A width no job can hold: the job is refused at once, before any padding is written.
  LabelJob job;
  NumberedSeriesLayout(job, "41^1000^1^2147483647\\B^1", 80, 80);
  EXPECT_TRUE(job.TooLarge());
  EXPECT_LT(job.Length(), 100u);
  // The widest padding that fits is written whole.
  LabelJob widest;
  const std::size_t head = std::string("D8\n\nN\nB10,0,0,1,2,4,80,B,\"").size();
  const std::size_t width = (16u << 20) - head - std::string("\"\nP1\n").size();
  NumberedSeriesLayout(widest, ("41^1^1^" + std::to_string(width) + "\\B^1").c_str(), 80, 80);
  EXPECT_FALSE(widest.TooLarge());
  EXPECT_EQ(16u << 20, widest.Length());
}

TEST(NumberedSeriesLayout, CopiesAndCounts) {
  EXPECT_EQ("D8\n\nN\nB10,0,0,1,2,4,80,B,\"7\"\nP0\n", Render100("7^1^0\\B^1"));
  EXPECT_EQ("D8\n\nN\nB10,0,0,1,2,4,80,B,\"7\"\nP-2\n", Render100("7^1^-2\\B^1"));
  EXPECT_EQ("", Render100("7^0^1\\B^1"));
  EXPECT_EQ("", Render100("7^-3^1\\B^1"));
  EXPECT_EQ("", Render100(""));
  // A header longer than 200 characters cannot be read: count 0.
  EXPECT_EQ("", Render100(std::string(200, '0') + "7^1^1\\B^1"));
}

TEST(NumberedSeriesLayout, NumberField) {
  // Missing number field or empty part 1: no number barcode, the text starts at y 0.
  EXPECT_EQ("D8\n\nN\nP1\n", Render100("1^1^1"));
  EXPECT_EQ("D8\n\nN\nP1\n", Render100("1^1^1\\"));
  EXPECT_EQ("D8\n\nN\nA10,0,0,2,1,1,N,\"TEXT\"\nP1\n", Render100("1^1^1\\^1\\TEXT"));
  EXPECT_EQ("D8\n\nN\nA10,0,0,2,1,1,N,\"TEXT\"\nP1\n", Render100("1^1^1\\\\TEXT"));
  // A number field without "^" still gives its letter, with an empty selection; part 2
  // keeps three characters; part 3 is not printed.
  EXPECT_EQ("D8\n\nN\nB10,0,0,,2,4,80,B,\"1\"\nP1\n", Render100("1^1^1\\B"));
  EXPECT_EQ("D8\n\nN\nB10,0,0,123,2,4,80,B,\"1\"\nP1\n", Render100("1^1^1\\B^12345^DATA"));
}

TEST(NumberedSeriesLayout, OnlyTextFieldsFollowTheNumber) {
  EXPECT_EQ(
      "D8\n\nN\nB10,0,0,1,2,4,80,B,\"1\"\n"
      "A10,110,0,2,1,1,N,\"ABCDEFGHIJKLMNOPQRST\"\n"
      "A10,130,0,2,1,1,N,\"UV\"\n"
      "A10,150,0,2,1,1,N,\"V\"\n"
      "P1\n",
      Render100("1^1^1\\B^1\\B^1^BARCODE\\ABCDEFGHIJKLMNOPQRSTUV\\X^1^NOT\\^2^NONE\\A^2^V^W"));
}

TEST(NumberedSeriesLayout, RunNeverOverflows) {
  std::string job = Render100("2147483647^2^1\\B^1");
  EXPECT_NE(std::string::npos, job.find("\"2147483647\""));
  EXPECT_NE(std::string::npos, job.find("\"2147483648\""));
  job = Render100("-2147483648^1^1\\B^1");
  EXPECT_EQ("D8\n\nN\nB10,0,0,1,2,4,80,B,\"-2147483648\"\nP1\n", job);
  // A saturated count runs until the job reaches its cap, and stops there.
  LabelJob big;
  NumberedSeriesLayout(big, "2147483647^99999999999^1\\B^1", 80, 80);
  EXPECT_TRUE(big.TooLarge());
  EXPECT_LE(big.Length(), 16u << 20);
}

// Every label of a series padded to ten digits has one length, so the largest series
// that fits is known exactly: it prints whole, and one label more is refused after its
// first label instead of being rendered up to the cap. So is a series whose numbers
// shrink (negative ones) when even its shortest labels cannot fit.
TEST(NumberedSeriesLayout, ASeriesIsRefusedAtOnceOnlyWhenItCannotFit) {
  const char* fields = "^1^10\\B^1\\LOT 7";
  LabelJob one;
  NumberedSeriesLayout(one, ("1^1" + std::string(fields)).c_str(), 80, 80);
  const std::size_t label = one.Length();
  const std::size_t fits = (16u << 20) / label;

  LabelJob whole;
  NumberedSeriesLayout(whole, ("1^" + std::to_string(fits) + fields).c_str(), 80, 80);
  EXPECT_FALSE(whole.TooLarge());
  EXPECT_EQ(fits * label, whole.Length());

  LabelJob refused;
  NumberedSeriesLayout(refused, ("1^" + std::to_string(fits + 1) + fields).c_str(), 80, 80);
  EXPECT_TRUE(refused.TooLarge());
  EXPECT_EQ(label, refused.Length());

  LabelJob shrinking;
  NumberedSeriesLayout(shrinking, "-1000000^99999999^1\\B^1", 80, 80);
  EXPECT_TRUE(shrinking.TooLarge());
  LabelJob small;
  NumberedSeriesLayout(small, "-1000000^20^1\\B^1", 80, 80);
  EXPECT_FALSE(small.TooLarge());
  EXPECT_EQ(20u, Count(std::string(small.Text(), small.Length()), "P1\n"));
  // Below zero the labels shrink: 435,000 labels of the first one's 39 bytes would pass
  // the cap, but the later ones take 38 and fit, so the series prints whole.
  LabelJob shrunk;
  NumberedSeriesLayout(shrunk, "-1000000^435000^1\\B^1", 80, 80);
  EXPECT_FALSE(shrunk.TooLarge());
  EXPECT_EQ(39u + 38u * 434999u, shrunk.Length());
}

TEST(NumberedSeriesLayout, TenThousandLabelsPrintWhole) {
  LabelJob job;
  NumberedSeriesLayout(job, "1^10000^2^8\\B^1\\LOT 7\\A^3^SERIES A\\A^4^CONTROL", 80, 80);
  ASSERT_FALSE(job.TooLarge());
  std::string text(job.Text(), job.Length());
  EXPECT_GT(text.size(), 1000000u);
  EXPECT_EQ(10000u, Count(text, "P2\n"));
  EXPECT_EQ(0u, text.find("D8\n\nN\nB10,0,0,1,2,4,80,B,\"00000001\"\n"));
  const std::string last =
      "D8\n\nN\nB10,0,0,1,2,4,80,B,\"00010000\"\nA10,110,0,2,1,1,N,\"LOT 7\"\n"
      "A10,130,0,3,1,1,N,\"SERIES A\"\nA10,150,0,4,1,1,N,\"CONTROL\"\nP2\n";
  EXPECT_EQ(text.size() - last.size(), text.rfind(last));
}

}  // namespace
