// Reading inputs: which dialect a job is in, the labels inside the service's job copy
// and the client's argument log, and the canvas a label gets.
#include <gtest/gtest.h>

#include "preview/job_reader.h"
#include "preview/text_decoding.h"
#include "tests/preview/preview_fixtures.h"

using previewtest::Render;
using previewtest::Rendered;
using previewtest::WorkedExamples;

namespace {

bool Has(const std::string& line, const std::string& part) { return line.find(part) != std::string::npos; }

TEST(JobReading, DialectIsToldApartByItsCommands) {
  for (const auto& example : WorkedExamples()) {
    const bool b = std::string(example.name).compare(0, 9, "dialect-b") == 0;
    EXPECT_EQ(DetectDialect(example.job), b ? 'B' : 'E') << example.name;
  }
  EXPECT_EQ(DetectDialect(""), 'E');
  EXPECT_EQ(DetectDialect(std::string("\x01\x02\xff garbage", 12)), 'E');
  EXPECT_EQ(DetectDialect("^L\nAB,1,1,1,1,0,0,x\nE\n"), 'B');
}

// The job copy of quorvel: each job between log lines of dashes, among other log lines.
TEST(JobReading, ServiceLogYieldsEveryLabelOfEveryJob) {
  const auto& examples = WorkedExamples();
  std::string log = "\n2026-1-5 8:0:1 - Serviciul a pornit";
  for (int index : {0, 8, 5}) {
    log += "\n2026-1-5 8:0:2 - -------------------\n" + examples[index].job +
           "\n2026-1-5 8:0:2 - -------------------";
  }
  log += "\n2026-1-5 8:0:3 - Conexiune inchisa";
  testsupport::TempDir folder;
  Rendered r = Render(log, folder, 203, true);
  ASSERT_EQ(r.files.size(), 5u);
  const std::vector<std::string> expected = {"CODE-128:A1234567", "CODE-128:A1234567", "CODE-128:A1234567",
                                             "CODE-128:A1234567", "CODE-128:A1234567-X"};
  for (std::size_t i = 0; i < r.files.size(); ++i) {
    EXPECT_EQ(previewtest::Scan(r.files[i]), std::vector<std::string>{expected[i]}) << r.lines[i];
    EXPECT_TRUE(Has(r.lines[i], "not drawn: none")) << r.lines[i];
  }
  EXPECT_TRUE(Has(r.lines[1], "dialect B")) << r.lines[1];

  // The setting lines just before a label belong to it; a log line ends their row.
  testsupport::TempDir sizedFolder;
  Rendered sized = Render("8:0:2 - ---\nq400\nQ240,24\nN\nA10,10,0,2,1,1,N,\"X\"\nP1\n8:0:2 - ---\n"
                          "^W50\n^Q30,3\n^L\nAB,10,10,1,1,0,0,X\nE\n"
                          "q400\n8:0:3 - ---\nN\nA10,10,0,2,1,1,N,\"X\"\nP1\n",
                          sizedFolder, 203, true);
  ASSERT_EQ(sized.lines.size(), 3u);
  EXPECT_TRUE(Has(sized.lines[0], "400x240 dots at 203 dpi (label size from the job); EPL2")) << sized.lines[0];
  EXPECT_TRUE(Has(sized.lines[1], "400x240 dots at 203 dpi (label size from the job); dialect B")) << sized.lines[1];
  EXPECT_TRUE(Has(sized.lines[2], "(bounding box + margin)")) << sized.lines[2];
}

// Koldane's _barcodeOUT.log (jobs back to back) and the argument log (request text,
// records and jobs without line ends between them).
TEST(JobReading, JobCopyAndArgumentLogSplitIntoLabels) {
  const auto& examples = WorkedExamples();
  testsupport::TempDir copyFolder;
  Rendered copy = Render(examples[0].job + examples[2].job + examples[9].job, copyFolder, 203, true);
  EXPECT_EQ(copy.files.size(), 4u);

  const std::string argumentLog = "x://0\\A1234567\\LINE TWO\\LINE THREE\\\nx://0\\A1234567\\LINE TWO\\LINE THREE\\\n" +
                                  examples[0].job + "x://4\\H555\\N1\\N2\\N3\\TAIL\n" + examples[2].job +
                                  "x://5\\abc\nunknoun protocol\n";
  testsupport::TempDir argFolder;
  Rendered arg = Render(argumentLog, argFolder, 203, true);
  ASSERT_EQ(arg.files.size(), 2u);
  EXPECT_EQ(previewtest::Scan(arg.files[1]), std::vector<std::string>{examples[2].barcodes[0]});
  for (const std::string& line : arg.lines) EXPECT_TRUE(Has(line, "not drawn: none")) << line;
}

// A serial printer's capture from tervane-b holds both dialects one after the other.
TEST(JobReading, CaptureOfBothDialectsIsReadInRuns) {
  const auto& examples = WorkedExamples();
  testsupport::TempDir folder;
  Rendered r = Render(examples[0].job + examples[8].job + examples[2].job + examples[9].job, folder);
  ASSERT_EQ(r.lines.size(), 6u);
  const char* dialects[] = {"EPL2", "dialect B", "dialect B", "EPL2", "dialect B", "dialect B"};
  for (std::size_t i = 0; i < r.lines.size(); ++i) {
    EXPECT_TRUE(Has(r.lines[i], std::string("; ") + dialects[i] + "; ")) << r.lines[i];
    EXPECT_TRUE(Has(r.lines[i], "not drawn: none")) << r.lines[i];
  }
  EXPECT_EQ(previewtest::Scan(r.files[5]), std::vector<std::string>{"I2/5:42"});

  // The same capture with CR LF line ends reads the same, as a job and as a log.
  std::string crlf;
  for (const char c : examples[0].job + examples[8].job + examples[2].job + examples[9].job) {
    if (c == '\n') crlf += '\r';
    crlf += c;
  }
  for (bool log : {false, true}) {
    testsupport::TempDir crlfFolder;
    EXPECT_EQ(Render(crlf, crlfFolder, 203, log).lines, r.lines) << (log ? "log" : "job");
  }
}

TEST(JobReading, CodePageOfTheCharacterSetLineIsUsed) {
  // "\xBA" is s-cedilla in Windows 1250 and a box line in DOS 437: the two draw
  // differently.
  testsupport::TempDir a, b;
  Rendered latin2 = Render("I8,B,001\nN\nA10,10,0,4,1,1,N,\"\xBA\"\nP1\n", a);
  Rendered dos = Render("N\nA10,10,0,4,1,1,N,\"\xBA\"\nP1\n", b);
  ASSERT_EQ(latin2.images.size(), 1u);
  ASSERT_EQ(dos.images.size(), 1u);
  EXPECT_FALSE(latin2.images[0].pixels == dos.images[0].pixels);
}

// Label text decodes alike on Linux (iconv) and Windows (the system's code pages and
// UTF-8 decoded by the preview): a byte the code page leaves undefined, or a broken UTF-8
// sequence, is one U+FFFD per byte; a charset the system lacks reads as Latin-1; a
// Hebrew letter and its point join into one form.
TEST(JobReading, TextDecodesAlikeOnEverySystem) {
  const struct {
    const char* charset;
    std::string bytes;
    std::u32string text;
  } cases[] = {
      {"CP437", "A\xBA", U"A\u2551"},
      {"CP1250", "\xBA", U"\u015F"},
      {"CP1252", "\x80\x81\xE9", U"\u20AC\uFFFD\u00E9"},
      {"CP1253", "\xAA", U"\uFFFD"},
      {"CP851", "\x86\x91", U"\u0386\uFFFD"},
      {"CP1255", "\xE0\xCA\xE9", U"\u05D0\uFFFD\u05D9"},  // letters held back for a mark come out too
      {"CP1255", "\xE1\xCC\xF9\xD1\xCC", U"\uFB31\uFB2C"},
      {"UTF-8", "\xC3\xA9\xE2\x82\xAC", U"\u00E9\u20AC"},
      {"UTF-8", "\xC3(\xC0\xAF\xED\xA0\x80\xE2\x82", U"\uFFFD(\uFFFD\uFFFD\uFFFD\uFFFD\uFFFD\uFFFD\uFFFD"},
      {"NO-SUCH-CHARSET", "\xE9", U"\u00E9"},
  };
  for (const auto& c : cases) {
    EXPECT_TRUE(DecodeText(c.bytes, c.charset) == c.text) << c.charset << " " << testing::PrintToString(c.bytes);
  }
}

TEST(JobReading, CanvasComesFromTheJobThenTheOptionsThenTheInk) {
  testsupport::TempDir a, b, c, d;
  Rendered fromJob = Render("q400\nQ240,24\nN\nA10,10,0,2,1,1,N,\"X\"\nP1\n", a);
  ASSERT_EQ(fromJob.images.size(), 1u);
  EXPECT_EQ(fromJob.images[0].width, 400);
  EXPECT_EQ(fromJob.images[0].height, 240);
  EXPECT_TRUE(Has(fromJob.lines[0], "400x240 dots at 203 dpi (label size from the job)")) << fromJob.lines[0];

  Rendered fromOptions = Render("N\nA10,10,0,2,1,1,N,\"X\"\nP1\n", b, 300, false, 591, 354);
  EXPECT_TRUE(Has(fromOptions.lines[0], "591x354 dots at 300 dpi (--width/--height)")) << fromOptions.lines[0];

  Rendered fromInk = Render("N\nA10,10,0,2,1,1,N,\"X\"\nP1\n", c);
  EXPECT_TRUE(Has(fromInk.lines[0], "45x51 dots at 203 dpi (bounding box + margin)")) << fromInk.lines[0];

  // Dialect B sizes are in millimetres: ^Q30,3 and ^W50 at 203 dpi.
  Rendered dialectB = Render("^Q30,3\n^W50\n^L\nAB,10,10,1,1,0,0,X\nE\n", d);
  EXPECT_TRUE(Has(dialectB.lines[0], "400x240 dots at 203 dpi (label size from the job)")) << dialectB.lines[0];
}

TEST(JobReading, ImageStaysUntilTheNextN) {
  // Two P lines without N between them print the same image twice, the second time
  // with what was added in between.
  testsupport::TempDir folder;
  Rendered r = Render("N\nA10,10,0,2,1,1,N,\"ONE\"\nP1\nA10,40,0,2,1,1,N,\"TWO\"\nP2\n", folder);
  ASSERT_EQ(r.lines.size(), 2u);
  EXPECT_TRUE(Has(r.lines[0], "1 text line; 0 barcodes; copies 1;")) << r.lines[0];
  EXPECT_TRUE(Has(r.lines[1], "2 text lines; 0 barcodes; copies 2;")) << r.lines[1];
}

}  // namespace
