#include "client/tube_layouts.h"

#include <gtest/gtest.h>

#include <string>

#include "tests/client/worked_examples.h"

namespace {

template <typename Layout>
std::string Render(Layout layout, const std::string& data, int m) {
  LabelJob job;
  job.Append("stale content that the layout must replace");
  layout(job, data.c_str(), m);
  EXPECT_EQ(std::string(job.Text()).size(), job.Length());
  return std::string(job.Text(), job.Length());
}

TEST(TubeLayouts, WorkedExamples) {
  EXPECT_EQ(worked::kBiochimieJob, Render(BiochimieTubeLayout, worked::kTubeData, 80));
  EXPECT_EQ(worked::kCoagulareJob, Render(CoagulareTubeLayout, worked::kTubeData, 80));
  EXPECT_EQ(worked::kHematologieJob, Render(HematologieTubeLayout, worked::kHematologieData, 80));
}

TEST(TubeLayouts, EmptyDataStillWritesEveryLine) {
  EXPECT_EQ(
      "D8\n\nN\nB125,0,0,1,2,4,160,N,\"\"\nA170,125,0,2,1,1,N,\"**\"\n"
      "A90,145,0,2,1,1,N,\"\"\nA90,165,0,2,1,1,N,\"\"\nP1\n",
      Render(BiochimieTubeLayout, "", 0));
}

TEST(TubeLayouts, OverlongValueBlocksEveryLaterRead) {
  std::string longValue(101, 'X');
  std::string job = Render(HematologieTubeLayout, longValue + "\\N1\\N2\\N3", 0);
  EXPECT_NE(std::string::npos, job.find("B90,0,0,3C,2,4,80,N,\"\"\n"));
  EXPECT_NE(std::string::npos, job.find("A110,170,0,2,1,1,N,\"\"\nP1\n"));
  // Exactly 100 characters before a backslash are fine.
  std::string fits = Render(HematologieTubeLayout, std::string(100, 'Y') + "\\N1", 0);
  EXPECT_NE(std::string::npos, fits.find("\"" + std::string(100, 'Y') + "\""));
}

TEST(TubeLayouts, LastValueRules) {
  // Biochimie drops the final character of its last value; Coagulare keeps it.
  EXPECT_NE(std::string::npos,
            Render(BiochimieTubeLayout, "A\\B\\  tail \\", 0).find("A90,165,0,2,1,1,N,\"tail \"\n"));
  EXPECT_NE(std::string::npos,
            Render(CoagulareTubeLayout, "A\\1\\2\\3\\4\\end\\", 0).find("A90,150,0,2,1,1,N,\"end\\\"\nP1\n"));
  // A carriage return ends a value; quotes go through unchanged.
  EXPECT_NE(std::string::npos,
            Render(BiochimieTubeLayout, "A\"1\rB\\C", 0).find("B125,0,0,1,2,4,160,N,\"A\"1\"\n"));
}

TEST(TubeLayouts, MoveLeftGivesSignedCoordinates) {
  EXPECT_NE(std::string::npos, Render(CoagulareTubeLayout, "X", 130).find("B-40,0,0,3,2,4,40,N,"));
  // Extreme values wrap instead of overflowing.
  std::string job = Render(CoagulareTubeLayout, "X", -2147483647 - 1);
  EXPECT_NE(std::string::npos, job.find("B-2147483558,0,0,3,"));
}

TEST(LabelJob, ZeroBytesFromAFormatCutTheAppend) {
  LabelJob job;
  job.Append("I8,%c,001%c", '\0', '\n');
  job.Append("N\n");
  EXPECT_EQ("I8,N\n", std::string(job.Text(), job.Length()));
}

TEST(LabelJob, CapRefusesWithoutOverrun) {
  LabelJob job;
  std::string chunk(1 << 20, 'x');
  for (int i = 0; i < 20; ++i) job.AppendText(chunk.data(), chunk.size());
  EXPECT_TRUE(job.TooLarge());
  EXPECT_EQ(16u << 20, job.Length());
  job.Clear();
  EXPECT_FALSE(job.TooLarge());
  EXPECT_EQ(0u, job.Length());
}

}  // namespace
