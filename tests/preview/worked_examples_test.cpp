// The label jobs of the worked examples, previewed at both resolutions: every barcode
// reads back to its data with zbarimg, the summary counts what the job holds, and a
// few pictures match their golden copies.
#include <gtest/gtest.h>

#include <filesystem>

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

// Golden pictures: compared dot for dot. TERVANE_REGENERATE_GOLDEN=1 rewrites them in
// the source tree (on purpose only: after a deliberate change of the drawing).
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
    }
  }
}

}  // namespace
