// The dispatch table of both clients, with settings read by the real settings reader
// under each build's rules. Protocols 0, 1, 3, 4, 6 and 11 are checked against the same expected
// jobs in both builds, so both give identical jobs; 10 and 100 differ.
#include <gtest/gtest.h>

#include <string>

#include "client/client_build.h"
#include "client/client_settings.h"
#include "client/dispatch_table.h"
#include "tests/client/worked_examples.h"

namespace {

class Dispatch : public ::testing::Test {
 protected:
  // Reads a barcode.ini with the given lines into settings.
  void Load(const std::string& ini) { ParseClientSettings(ini, build->settings, &settings); }
  std::string Render(int protocol, const std::string& data) {
    LabelJob job;
    job.Append("stale content that the layout must replace");
    EXPECT_TRUE(RenderLayout(*build->layouts, protocol, job, data.c_str(), settings)) << protocol;
    EXPECT_FALSE(job.TooLarge());
    return std::string(job.Text(), job.Length());
  }

  const ClientBuild* build = &kTervaneBuild;
  ClientSettings settings;
};

// The cases that hold for both builds run once per build.
class DispatchBothBuilds : public Dispatch, public ::testing::WithParamInterface<const ClientBuild*> {
 protected:
  DispatchBothBuilds() { build = GetParam(); }
};

class DispatchB : public Dispatch {
 protected:
  DispatchB() { build = &kTervaneBBuild; }
};

const char kSizing[] =
    "[sizing]\r\nBiochimieMoveLeft=80\r\nCoagulareMoveLeft=80\r\nHematologieMoveLeft=80\r\n"
    "BARCODEFONTSIZE=80\r\nPRINTDOMAINNAME=1\r\n";

TEST_P(DispatchBothBuilds, SharedProtocolsGiveTheSameJobsInBothBuilds) {
  Load(kSizing);
  EXPECT_EQ(worked::kBiochimieJob, Render(0, worked::kTubeData));
  EXPECT_EQ(worked::kBiochimieJob, Render(3, worked::kTubeData));
  EXPECT_EQ(worked::kHematologieJob, Render(4, worked::kHematologieData));
  EXPECT_EQ(worked::kCoagulareJob, Render(6, worked::kTubeData));
  EXPECT_EQ(worked::kFieldListJob, Render(1, worked::kFieldListData));
  EXPECT_EQ(worked::kGroupedJob, Render(11, worked::kGroupedData));
  // The hex-text flag reaches no shared layout.
  settings.hexText = true;
  EXPECT_EQ("D8\n\nN\nA10,0,0,2,1,1,N,\"4142\"\nP1\n", Render(1, "4142"));
  EXPECT_EQ("D8\n\nN\nA10,0,0,2,1,1,N,\"4142\"\nA10,20,0,2,1,1,N,\"D\"\nP1\n", Render(11, "D\\4142"));
}

TEST_P(DispatchBothBuilds, UnknownProtocolsHaveNoLayout) {
  Load(kSizing);
  for (int protocol : {-1, 2, 5, 7, 9, 12, 99, 101, 9900}) {
    LabelJob job;
    job.Append("stale");
    EXPECT_FALSE(RenderLayout(*build->layouts, protocol, job, "x", settings)) << protocol;
    EXPECT_EQ(0u, job.Length());
  }
}

INSTANTIATE_TEST_SUITE_P(Builds, DispatchBothBuilds, ::testing::Values(&kTervaneBuild, &kTervaneBBuild),
                         [](const ::testing::TestParamInfo<const ClientBuild*>& info) {
                           return std::string(info.param == &kTervaneBuild ? "tervane" : "tervane_b");
                         });

TEST_F(Dispatch, Protocol10ReadsPageCodeSuffixesAndTheHexFlag) {
  Load(std::string(kSizing) + "PAGECODE=B\r\n[suffix]\r\nD2=-X\r\nD2=-Y\r\n");
  settings.hexText = true;
  EXPECT_EQ(worked::kProtocol10Job, Render(10, worked::kProtocol10Data));
}

TEST_F(Dispatch, Protocol10ReadsMaxTextLen) {
  Load("[sizing]\r\nBiochimieMoveLeft=80\r\nMAXTEXTLEN=12\r\n");
  EXPECT_EQ(
      "I8,0,001\nD8\n\nN\n"
      "A10,0,0,2,1,1,N,\"LONG TEXT OF\"\n"
      "A10,20,0,2,1,1,N,\" TWENTY FIVE CH\"\n"
      "P1\n",
      Render(10, "D1\\LONG TEXT OF TWENTY FIVE CH"));
  // An empty PAGECODE must not put a zero byte into the job.
  settings.pageCode = '\0';
  EXPECT_EQ(0u, Render(10, "D1\\X").find("I8,0,001\n"));
}

TEST_F(Dispatch, Protocol100IsTheNumberedSeries) {
  Load(kSizing);
  EXPECT_EQ(worked::kSeriesJob, Render(100, worked::kSeriesData));
}

TEST_F(DispatchB, Protocol10IsDialectB) {
  Load("[sizing]\r\nBiochimieMoveLeft=0\r\nBARCODEFONTSIZE=80\r\nPRINTDOMAINNAME=1\r\n");
  const std::string label =
      "^P1\n^L\nBQ,10,0,2,5,80,0,0,A1234567\nAB,10,85,1,1,0,0,A TEXT OF TWENTY-SIX\nAD,10,103,1,1,0,0,LINE THREE\n";
  EXPECT_EQ(label + "AB,10,129,1,1,0,0,D1\nE\n" + label + "AB,10,129,1,1,0,0,D2\nE\n",
            Render(10, "D1^D2\\B^Q^A1234567\\A TEXT OF TWENTY-SIX CHARS\\A^D^LINE THREE"));
  // No page code, text width, suffix or hex-text flag in this dialect.
  settings.hexText = true;
  settings.maxTextLen = 2;
  settings.pageCode = 'B';
  EXPECT_EQ("^P1\n^L\nAB,10,0,1,1,0,0,4142\nAB,10,18,1,1,0,0,D2\nE\n", Render(10, "D2\\4142"));
}

TEST_F(DispatchB, Protocol100IsDialectB) {
  Load("[sizing]\r\nBiochimieMoveLeft=80\r\nBARCODEFONTSIZE=80\r\n");
  EXPECT_EQ(
      "^C3\n^P2\n^L\nBU,20,0,2,5,60,0,0,41\nAB,20,60,1,1,0,0,41\nAB,20,80,1,1,0,0,LOT 7\nE\n"
      "^C3\n^P2\n^L\nBU,20,0,2,5,60,0,0,42\nAB,20,60,1,1,0,0,42\nAB,20,80,1,1,0,0,LOT 7\nE\n",
      Render(100, "41^2^3^6\\B^1\\X^Y^LOT 7"));
}

}  // namespace
