// Jobs the preview cannot fully draw: unknown commands, broken lines, binary garbage,
// sizes far beyond any label. Each gives summary lines and bounded pictures, never a
// crash or a hang.
#include <gtest/gtest.h>

#include <random>

#include "tests/preview/preview_fixtures.h"

using previewtest::Box;
using previewtest::InkBox;
using previewtest::Render;
using previewtest::Rendered;

namespace {

bool Has(const std::string& line, const std::string& part) { return line.find(part) != std::string::npos; }

TEST(PreviewRobustness, UnknownCommandsAreNamedInTheSummary) {
  testsupport::TempDir folder;
  Rendered r = Render("N\nFOO123\nA10,10,0,2,1,1,N,\"OK\"\nb10,10,Q,\"QR\"\nFOO\nA10,40,0,X,1,1,N,\"soft\"\nP1\n", folder);
  ASSERT_EQ(r.lines.size(), 1u);
  EXPECT_TRUE(Has(r.lines[0], "1 text line;")) << r.lines[0];
  EXPECT_TRUE(Has(r.lines[0], "FOO x2")) << r.lines[0];
  EXPECT_TRUE(Has(r.lines[0], "b")) << r.lines[0];
  EXPECT_TRUE(Has(r.lines[0], "A (font \"X\")")) << r.lines[0];

  testsupport::TempDir bFolder;
  Rendered b = Render("^L\nZZZ\nAZ,1,1,1,1,0,0,x\nBX,1,1,2,5,10,0,0,1\nAB,10,10,1,1,0,0,fine\nE\n", bFolder);
  ASSERT_EQ(b.lines.size(), 1u);
  EXPECT_TRUE(Has(b.lines[0], "dialect B; 1 text line;")) << b.lines[0];
  EXPECT_TRUE(Has(b.lines[0], "ZZZ")) << b.lines[0];
  EXPECT_TRUE(Has(b.lines[0], "AZ (font)")) << b.lines[0];
  EXPECT_TRUE(Has(b.lines[0], "barcode type \"X\" not drawn")) << b.lines[0];

  // 40 kinds of unknown lines: the first 32 are named, the rest counted together; a
  // kind already named keeps its own count.
  for (const char* open : {"N\n", "^L\n"}) {
    std::string job = open;
    for (int i = 0; i < 40; ++i) job += std::to_string(10 + i) + "\n";
    job += std::string("10\n") + (open[0] == 'N' ? "P1\n" : "E\n");
    testsupport::TempDir manyFolder;
    Rendered many = Render(job, manyFolder);
    ASSERT_EQ(many.lines.size(), 1u);
    EXPECT_TRUE(Has(many.lines[0], "not drawn: \"10\" x2, \"11\", ")) << many.lines[0];
    EXPECT_TRUE(Has(many.lines[0], ", \"41\", (other kinds) x8")) << many.lines[0];
    EXPECT_FALSE(Has(many.lines[0], "\"42\"")) << many.lines[0];
  }
}

TEST(PreviewRobustness, BrokenLinesAreReportedAndTheRestIsDrawn) {
  testsupport::TempDir folder;
  Rendered r = Render(
      "N\nA10,10,0,2\nB10,xx,0,1,2,4,50,N,\"1\"\nA10,30,0,2,1,1,N,\"no closing quote\n"
      "A10,60,0,2,1,1,N,\"AB\"CD\"\nB10,80,0,E30,2,4,50,B,\"ABC\"\nLO10,x,5,5\nP1,x\n",
      folder);
  ASSERT_EQ(r.lines.size(), 1u);
  const std::string& line = r.lines[0];
  EXPECT_TRUE(Has(line, "2 text lines; 0 barcodes;")) << line;
  EXPECT_TRUE(Has(line, "A (broken line")) << line;
  EXPECT_TRUE(Has(line, "B (broken line")) << line;
  EXPECT_TRUE(Has(line, "LO (broken line")) << line;
  EXPECT_TRUE(Has(line, "B EAN-13 (EAN-13:")) << line;  // zint's reason
  EXPECT_TRUE(Has(line, "data without its closing quote")) << line;
  EXPECT_TRUE(Has(line, "characters after the closing quote are ignored (\"CD\"\")")) << line;
  EXPECT_TRUE(Has(line, "copies ? (P1,x)")) << line;
}

TEST(PreviewRobustness, MissingPrintLineAndEmptyInputAreSaid) {
  testsupport::TempDir folder;
  Rendered r = Render("N\nA10,10,0,2,1,1,N,\"X\"\n", folder);
  ASSERT_EQ(r.lines.size(), 1u);
  EXPECT_TRUE(Has(r.lines[0], "no P line after these commands")) << r.lines[0];

  testsupport::TempDir emptyFolder;
  Rendered empty = Render("", emptyFolder);
  EXPECT_EQ(empty.lines, std::vector<std::string>{"no label found"});

  testsupport::TempDir bFolder;
  Rendered b = Render("^L\nAB,1,1,1,1,0,0,x\n", bFolder);
  ASSERT_EQ(b.lines.size(), 1u);
  EXPECT_TRUE(Has(b.lines[0], "no E line")) << b.lines[0];
}

TEST(PreviewRobustness, HugeSizesAreCutToBoundedPictures) {
  testsupport::TempDir folder;
  Rendered r = Render(
      "q999999\nQ999999,24\nN\nA10,10,0,2,99,99,N,\"XY\"\nB10,10,0,1,999,999,99999,B,\"1\"\n"
      "LO0,0,99999999,99999999\nA-99999999999,5,0,2,1,1,N,\"far\"\nP1\n",
      folder);
  ASSERT_EQ(r.images.size(), 1u);
  EXPECT_EQ(r.images[0].width, 4096);
  EXPECT_EQ(r.images[0].height, 4096);
  EXPECT_TRUE(Has(r.lines[0], "picture cut to 4096 dots wide")) << r.lines[0];
  EXPECT_TRUE(Has(r.lines[0], "a text multiplier outside 1 to 9 was cut")) << r.lines[0];
  EXPECT_TRUE(Has(r.lines[0], "a bar width or height out of range was cut")) << r.lines[0];
  EXPECT_TRUE(Has(r.lines[0], "A (broken line")) << r.lines[0];  // beyond 2^31
}

TEST(PreviewRobustness, DrawingCommandsPerLabelAreBounded) {
  std::string job = "N\n";
  for (int i = 0; i < 25000; ++i) job += "LO0,0,4000,4000\n";
  job += "P1\n";
  testsupport::TempDir folder;
  Rendered r = Render(job, folder);
  ASSERT_EQ(r.lines.size(), 1u);
  EXPECT_TRUE(Has(r.lines[0], "(over 20000 drawing commands) x5000")) << r.lines[0];
  EXPECT_TRUE(Has(r.lines[0], "painting stopped")) << r.lines[0];
}

TEST(PreviewRobustness, GraphicsReadTheirBinaryData) {
  // GW x,y,1 byte per row,8 rows: zero bits print. The data holds line feeds and a
  // "P1" that must not be read as commands.
  std::string data = std::string("\x00\n", 2) + "P1" + std::string("\x00\x00\x00\x00", 4);
  std::string job = "N\nGW10,20,1,8," + data + "\nP1\n";
  testsupport::TempDir folder;
  Rendered r = Render(job, folder);
  ASSERT_EQ(r.lines.size(), 1u) << (r.lines.empty() ? "" : r.lines[1]);
  EXPECT_TRUE(Has(r.lines[0], "not drawn: none")) << r.lines[0];
  Box ink = InkBox(r.images[0], 0, 0, 100, 100);
  EXPECT_EQ(ink.x0, 10);
  EXPECT_EQ(ink.y0, 20);
  EXPECT_EQ(ink.x1, 18);
  EXPECT_EQ(ink.y1, 28);

  testsupport::TempDir shortFolder;
  Rendered cut = Render("N\nGW10,20,100,100,abc", shortFolder);
  ASSERT_EQ(cut.lines.size(), 1u);
  EXPECT_TRUE(Has(cut.lines[0], "GW (fewer data bytes than its size)")) << cut.lines[0];
}

TEST(PreviewRobustness, NegativeCoordinatesClipAtTheEdgeAndSaySo) {
  testsupport::TempDir folder;
  Rendered r = Render("N\nB-40,0,0,3,2,4,40,N,\"A1234567\"\nA10,-5,0,2,1,1,N,\"TOP\"\nP1\n", folder);
  ASSERT_EQ(r.lines.size(), 1u);
  EXPECT_TRUE(Has(r.lines[0], "clipped: left (B at -40,0), top (A at 10,-5)")) << r.lines[0];
  // The clipped edges are marked red in the picture.
  EXPECT_EQ(r.images[0].pixels[r.images[0].width * 50], kClipMark);
  EXPECT_EQ(r.images[0].pixels[100], kClipMark);
}

// Garbage and mutated jobs: random bytes, and the worked examples with bytes replaced,
// inserted and removed. Every run ends with summary lines and readable pictures.
TEST(PreviewRobustness, GarbageNeverCrashes) {
  std::mt19937 random(20260101);
  std::vector<std::string> inputs;
  for (int i = 0; i < 5; ++i) {
    std::string bytes(20000, '\0');
    for (char& c : bytes) c = static_cast<char>(random() & 0xFF);
    inputs.push_back(bytes);
  }
  const std::string alphabet = "NABPLOWXGMqQRI^~E0123456789,\"\n-";
  for (const auto& example : previewtest::WorkedExamples()) {
    for (int i = 0; i < 15; ++i) {
      std::string job = example.job;
      for (int edit = 0; edit < 6 && !job.empty(); ++edit) {
        const std::size_t at = random() % job.size();
        const char c = random() % 3 ? alphabet[random() % alphabet.size()] : static_cast<char>(random() & 0xFF);
        switch (random() % 3) {
          case 0: job[at] = c; break;
          case 1: job.insert(job.begin() + static_cast<long>(at), c); break;
          default: job.erase(at, 1); break;
        }
      }
      inputs.push_back(job);
    }
  }
  for (const std::string& input : inputs) {
    for (bool log : {false, true}) {
      testsupport::TempDir folder;
      Rendered r = Render(input, folder, 203, log);
      ASSERT_FALSE(r.lines.empty());
      for (const PngImage& image : r.images) {
        EXPECT_GT(image.width, 0);
        EXPECT_LE(image.width, 4096);
        EXPECT_LE(image.height, 4096);
      }
    }
  }
}

}  // namespace
