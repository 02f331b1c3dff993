// The label jobs of the worked examples, previewed at both resolutions: every barcode
// reads back to its data with zbarimg, the summary counts what the job holds, and a
// few pictures match their golden copies.
#include <gtest/gtest.h>

#include <filesystem>

#include "preview/label_check.h"
#include "tests/preview/preview_fixtures.h"

using previewtest::Render;
using previewtest::Rendered;
using previewtest::WorkedExamples;

namespace {

class WorkedExampleScans : public ::testing::TestWithParam<int> {};

TEST_P(WorkedExampleScans, EveryBarcodeReadsBackToItsData) {
  const int dpi = GetParam();
  for (const auto& example : WorkedExamples()) {
    SCOPED_TRACE(example.name);
    testsupport::TempDir folder;
    Rendered r = Render(example.job, folder, dpi);
    ASSERT_EQ(r.files.size(), example.barcodes.size());
    for (std::size_t i = 0; i < r.files.size(); ++i) {
      std::vector<std::string> expected;
      if (!example.barcodes[i].empty()) expected.push_back(example.barcodes[i]);
      EXPECT_EQ(previewtest::Scan(r.files[i]), expected) << r.lines[i];
      EXPECT_NE(r.lines[i].find("not drawn: none"), std::string::npos) << r.lines[i];
      EXPECT_NE(r.lines[i].find("clipped: none"), std::string::npos) << r.lines[i];
    }
  }
}

INSTANTIATE_TEST_SUITE_P(Resolutions, WorkedExampleScans, ::testing::Values(203, 300));

TEST(WorkedExampleSummary, CountsTextLinesBarcodesAndCopies) {
  testsupport::TempDir folder;
  const auto& examples = WorkedExamples();
  Rendered bio = Render(examples[0].job, folder);
  ASSERT_EQ(bio.lines.size(), 1u);
  EXPECT_NE(bio.lines[0].find("label-001.png: "), std::string::npos);
  EXPECT_NE(bio.lines[0].find("EPL2; 3 text lines; 1 barcode; copies 1;"), std::string::npos) << bio.lines[0];

  testsupport::TempDir numberedFolder;
  Rendered numbered = Render(examples[7].job, numberedFolder);
  ASSERT_EQ(numbered.lines.size(), 2u);
  EXPECT_NE(numbered.lines[1].find("label-002.png: "), std::string::npos);
  EXPECT_NE(numbered.lines[1].find("2 text lines; 1 barcode; copies 3;"), std::string::npos) << numbered.lines[1];

  testsupport::TempDir bFolder;
  Rendered b = Render(examples[9].job, bFolder);
  ASSERT_EQ(b.lines.size(), 2u);
  EXPECT_NE(b.lines[0].find("dialect B; 2 text lines; 1 barcode; copies 3 (^C3 ^P2);"), std::string::npos)
      << b.lines[0];
}

// Every EPL2 barcode selection the preview draws: zbarimg reads each one it knows back
// to the data with the check characters the selection adds; the others (Matrix 2 of 5,
// MSI, POSTNET, Japanese postal code) are drawn as one barcode.
TEST(Epl2Selections, EachDrawsAndReadsBack) {
  const struct {
    const char* selection;
    const char* data;
    const char* scanned;  // "" where zbar has no reader for the symbology
  } cases[] = {
      {"1", "Mixed 123", "CODE-128:Mixed 123"}, {"1A", "HELLO", "CODE-128:HELLO"},
      {"1B", "Hello", "CODE-128:Hello"},        {"1C", "123456", "CODE-128:123456"},
      {"0", "00123456789012345", "CODE-128:00001234567890123452"},
      {"1E", "(01)09501101530003", "CODE-128:0109501101530003"},
      {"2", "123456", "I2/5:123456"},           {"2C", "12345", "I2/5:123457"},
      {"2D", "12345", "I2/5:123457"},           {"2U", "1234567890123", "I2/5:12345678901231"},
      {"2G", "12345678901", "I2/5:123456789016"}, {"3", "CODE39", "CODE-39:CODE39"},
      {"3", "lower", "CODE-39:+L+O+W+E+R"},     {"3C", "ABC", "CODE-39:ABCX"},
      {"9", "CODE93", "CODE-93:CODE93"},        {"E30", "123456789012", "EAN-13:1234567890128"},
      {"E32", "12345678901212", "EAN-13:1234567890128"},
      {"E80", "1234567", "EAN-8:12345670"},     {"UA0", "01234567890", "UPC-A:012345678905"},
      {"UE0", "0123456", "UPC-E:01234565"},     {"K", "A12345B", "Codabar:A12345B"},
      {"2M", "123456", ""},                     {"L", "12345", ""},
      {"P", "12345", ""},                       {"J", "1234567", ""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(c.selection) + " " + c.data);
    testsupport::TempDir folder;
    const std::string job = "N\nB40,10,0," + std::string(c.selection) + ",2,5,80,B,\"" + c.data + "\"\nP1\n";
    Rendered r = Render(job, folder);
    ASSERT_EQ(r.files.size(), 1u);
    EXPECT_NE(r.lines[0].find("1 barcode;"), std::string::npos) << r.lines[0];
    // The checks read it back as well, and take what zbar reads as its data.
    RenderOutcome checked;
    std::string error;
    ASSERT_TRUE(RenderJobToMemory(job, RenderSettings(), &checked, &error)) << error;
    ASSERT_EQ(checked.labels.size(), 1u);
    ASSERT_EQ(checked.labels[0].barcodes.size(), 1u);
    const BarcodeScan& scan = checked.labels[0].barcodes[0];
    EXPECT_EQ(scan.readable, *c.scanned != '\0');
    EXPECT_EQ(scan.scansToData, scan.readable) << ::testing::PrintToString(scan.scans);
    if (*c.scanned == '\0') continue;
    const std::string out = previewtest::Shell("zbarimg -q -Si25.min-length=1 -Supca.enable -Supce.enable " +
                                               previewtest::Quote(r.files[0]) + " 2>/dev/null");
    EXPECT_EQ(out, std::string(c.scanned) + "\n");
  }
  testsupport::TempDir folder;
  Rendered unknown = Render("N\nB40,10,0,Z9,2,5,80,B,\"1\"\nB40,10,0,1C,2,5,80,B,\"12A\"\nP1\n", folder);
  ASSERT_EQ(unknown.lines.size(), 1u);
  EXPECT_NE(unknown.lines[0].find("B (barcode selection \"Z9\" not drawn)"), std::string::npos) << unknown.lines[0];
  EXPECT_NE(unknown.lines[0].find("B (Code 128 subset C holds digits only)"), std::string::npos) << unknown.lines[0];
}

// Golden pictures: compared dot for dot, and byte for byte, so that every system's build
// writes the very file the Linux build writes. TERVANE_REGENERATE_GOLDEN=1 rewrites them
// in the source tree (on purpose only: after a deliberate change of the drawing).
TEST(WorkedExampleGolden, PicturesMatchTheirGoldenCopies) {
  const bool regenerate = testsupport::Env("TERVANE_REGENERATE_GOLDEN") == "1";
  const std::string goldenDir = testsupport::Env("TERVANE_SOURCE_DIR", ".") + "/tests/preview/golden";
  const char* names[] = {"biochimie", "hematologie", "field-list", "dialect-b-fields"};
  for (const auto& example : WorkedExamples()) {
    bool wanted = false;
    for (const char* name : names) wanted = wanted || std::string(name) == example.name;
    if (!wanted) continue;
    for (int dpi : {203, 300}) {
      SCOPED_TRACE(std::string(example.name) + " at " + std::to_string(dpi));
      testsupport::TempDir folder;
      Rendered r = Render(example.job, folder, dpi);
      ASSERT_FALSE(r.files.empty());
      const std::string golden = goldenDir + "/" + example.name + "-" + std::to_string(dpi) + ".png";
      if (regenerate) {
        std::filesystem::copy_file(r.files[0], golden, std::filesystem::copy_options::overwrite_existing);
        continue;
      }
      PngImage expected;
      std::string error;
      ASSERT_TRUE(ReadPngFile(golden, &expected, &error)) << error;
      ASSERT_EQ(r.images[0].width, expected.width);
      ASSERT_EQ(r.images[0].height, expected.height);
      EXPECT_TRUE(r.images[0].pixels == expected.pixels) << "differs from " << golden;
      EXPECT_TRUE(testsupport::ReadFile(r.files[0]) == testsupport::ReadFile(golden))
          << "the PNG file differs from " << golden;
    }
  }
}

}  // namespace
