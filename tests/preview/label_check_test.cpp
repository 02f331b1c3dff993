// The label checks: one row per kind of warning, each with the case just inside its
// bound, on jobs and on requests rendered into memory by the client's own code; and
// tervane-preview --lint, whose pictures and summary lines are those of the in-memory
// rendering and of a run without --lint; and in-memory renders side by side.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <algorithm>
#include <filesystem>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "client/client_build.h"
#include "preview/label_check.h"
#include "tests/preview/preview_fixtures.h"

namespace fs = std::filesystem;
using previewtest::Quote;
using previewtest::Shell;

namespace {

// The barcode.ini the client writes when it finds none.
const char kClientDefaultIni[] =
    "[com]\r\nport=1\r\nbaudrate=9600\r\ndatabits=8\r\nparity=prNone\r\nstopbits=sbOneStopBit\r\n"
    "[sizing]\r\nBiochimieMoveLeft=80\r\nCoagulareMoveLeft=80\r\nHematologieMoveLeft=80\r\nBARCODEFONTSIZE=80\r\n";

const char kTubeRequest[] = "x://0\\A1234567\\LINE%20TWO\\LINE%20THREE\\";
const char kProtocol10Request[] = "x://10\\D1^D2\\B^Q^A1234567\\A+TEXT\\A^D^LINE+THREE";

std::string Epl2(const std::string& commands) { return "N\n" + commands + "P1\n"; }

std::set<std::string> Kinds(const RenderOutcome& outcome) {
  std::set<std::string> kinds;
  for (const RenderedLabel& label : outcome.labels) {
    for (const LabelWarning& w : label.warnings) kinds.insert(w.kind);
  }
  return kinds;
}

const LabelWarning* FirstOf(const RenderOutcome& outcome, const std::string& kind) {
  for (const RenderedLabel& label : outcome.labels) {
    for (const LabelWarning& w : label.warnings) {
      if (w.kind == kind) return &w;
    }
  }
  return nullptr;
}

std::string Program(const std::string& path) { return fs::absolute(testsupport::BuildDir() + "/" + path).string(); }

}  // namespace

TEST(LabelChecks, EachKindWarnsPastItsBoundAndNotBefore) {
  const std::string biochimie = previewtest::WorkedExamples()[0].job;  // framed number over the lower bars
  const std::string longCode128(200, 'A');
  const struct Case {
    const char* name;
    char build;               // 0: job; 'a' tervane, 'b' tervane-b request with the client's default ini
    std::string input;
    int dpi;
    int stockWidth, stockLength;
    std::set<std::string> kinds;  // every kind warned about, over all labels
    DotRect where;                // of the first warning of the first kind, when not empty
    const char* message;          // part of that warning's message
  } cases[] = {
      {"clean tube label", 'a', kTubeRequest, 203, 0, 0, {}, {}, ""},
      {"Biochimie text over the bars still scans", 0, biochimie, 203, 0, 0, {}, {}, ""},
      {"protocol 10 moved left off the stock", 'b', kProtocol10Request, 203, 0, 0,
       {"clipped", "no-scan"}, {-70, 0, 132, 80}, "70 dots past the left edge"},
      {"line to the printhead edge at 203 dpi", 0, Epl2("q900\nLO700,100,132,10\n"), 203, 0, 0,
       {"clipped"}, {832, 0, 900, 135}, "wider than the printhead (832 dots"},
      {"line one dot past the printhead at 203 dpi", 0, Epl2("LO700,100,133,10\n"), 203, 0, 0,
       {"clipped"}, {700, 100, 833, 110}, "runs 1 dot past the printhead (832 dots at 203 dpi)"},
      {"line to the printhead edge at 300 dpi", 0, Epl2("LO1100,100,148,10\n"), 300, 0, 0, {}, {}, ""},
      {"line one dot past the printhead at 300 dpi", 0, Epl2("LO1100,100,149,10\n"), 300, 0, 0,
       {"clipped"}, {1100, 100, 1249, 110}, "past the printhead (1248 dots"},
      {"past the job's label width", 0, Epl2("q400\nLO390,10,11,10\n"), 203, 0, 0,
       {"clipped"}, {390, 10, 401, 20}, "right edge of the label (400 dots)"},
      {"past the stock the caller gives", 0, Epl2("LO10,190,20,11\n"), 203, 400, 200,
       {"clipped"}, {10, 190, 30, 201}, "bottom edge of the label (200 dots)"},
      {"text over the bars spoils the scan", 0, Epl2("B45,10,0,1,2,4,40,N,\"A1234567\"\nA40,6,0,4,1,2,R,\"MM\"\n"),
       203, 0, 0, {"text-over-bars"}, {45, 10, 70, 50}, "the text (A at 40,6) over its bars"},
      {"bars 29 dots high", 0, Epl2("B40,10,0,1,2,4,29,N,\"A1\"\n"), 203, 0, 0,
       {"short-bars"}, {40, 10, 154, 39}, "29 dots high"},
      {"bars 30 dots high", 0, Epl2("B40,10,0,1,2,4,30,N,\"A1\"\n"), 203, 0, 0, {}, {}, ""},
      {"quiet zone of 9 modules at the left edge", 0, Epl2("B18,10,0,1,2,4,60,N,\"A1\"\n"), 203, 0, 0,
       {"quiet-zone"}, {0, 10, 18, 70}, "9 modules (18 dots) on the left, up to the edge"},
      {"quiet zone of 10 modules at the left edge", 0, Epl2("B20,10,0,1,2,4,60,N,\"A1\"\n"), 203, 0, 0, {}, {}, ""},
      {"quiet zone of 9 modules before a line", 0, Epl2("B40,10,0,1,2,4,60,N,\"A1\"\nLO172,20,2,40\n"), 203, 0, 0,
       {"quiet-zone"}, {154, 10, 172, 70}, "9 modules (18 dots) on the right, up to the line (LO at 172,20)"},
      {"Interleaved 2 of 5 of 5 digits", 0, Epl2("B40,10,0,2,2,5,60,N,\"12345\"\n"), 203, 0, 0,
       {"short-itf"}, {}, "holds 5 digits"},
      {"numbered series of two digits (dialect B)", 0, "^L\nBU,20,0,2,5,60,0,0,41\nE\n", 203, 0, 0,
       {"short-itf"}, {20, 0, 69, 60}, "holds 2 digits"},
      {"Interleaved 2 of 5 of 6 digits", 0, Epl2("B40,10,0,2,2,5,60,N,\"123456\"\n"), 203, 0, 0, {}, {}, ""},
      {"Code 128 too long for the encoder", 0, Epl2("B40,10,0,1,1,2,60,N,\"" + longCode128 + "\"\n"), 203, 0, 0,
       {"not-encoded"}, {40, 10, 40, 10}, "Input too long"},
      {"letters in Code 128 subset C", 0, Epl2("B40,10,0,1C,2,4,60,N,\"12A\"\n"), 203, 0, 0,
       {"not-encoded"}, {}, "digits only"},
      {"unknown command", 0, Epl2("ZZ9\nA10,10,0,2,1,1,N,\"X\"\n"), 203, 0, 0, {"unknown-command"}, {}, "not drawn: ZZ"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    RenderSettings settings;
    settings.dpi = c.dpi;
    settings.stockWidth = c.stockWidth;
    settings.stockLength = c.stockLength;
    RenderOutcome outcome;
    std::string error;
    if (c.build) {
      ASSERT_TRUE(RenderRequestToMemory(c.build == 'b' ? kTervaneBBuild : kTervaneBuild, c.input, kClientDefaultIni,
                                        settings, &outcome, &error))
          << error;
    } else {
      ASSERT_TRUE(RenderJobToMemory(c.input, settings, &outcome, &error)) << error;
    }
    ASSERT_FALSE(outcome.labels.empty());
    EXPECT_EQ(Kinds(outcome), c.kinds);
    for (const RenderedLabel& label : outcome.labels) {
      EXPECT_EQ(label.png.compare(1, 3, "PNG"), 0);
      for (const LabelWarning& w : label.warnings) EXPECT_EQ(w.label, label.number);
    }
    if (c.kinds.empty()) {
      // Every barcode drawn reads back to its data.
      for (const RenderedLabel& label : outcome.labels) {
        for (const BarcodeScan& scan : label.barcodes) {
          EXPECT_TRUE(scan.scansToData) << scan.origin << " reads " << ::testing::PrintToString(scan.scans);
        }
      }
      continue;
    }
    const LabelWarning* first = FirstOf(outcome, *c.kinds.begin());
    ASSERT_NE(first, nullptr);
    EXPECT_NE(first->message.find(c.message), std::string::npos) << first->message;
    if (c.where.x1 != 0 || c.where.x0 != 0) {
      EXPECT_EQ(std::vector<int>({first->where.x0, first->where.y0, first->where.x1, first->where.y1}),
                std::vector<int>({c.where.x0, c.where.y0, c.where.x1, c.where.y1}));
    }
  }
}

// What zbar reads of the tube label is reported with the label, and the Biochimie
// framed number really lies over the bars it does not spoil.
TEST(LabelChecks, ScansAreReportedPerBarcode) {
  RenderOutcome outcome;
  std::string error;
  ASSERT_TRUE(RenderJobToMemory(previewtest::WorkedExamples()[0].job, RenderSettings(), &outcome, &error)) << error;
  ASSERT_EQ(outcome.labels.size(), 1u);
  ASSERT_EQ(outcome.labels[0].barcodes.size(), 1u);
  const BarcodeScan& scan = outcome.labels[0].barcodes[0];
  EXPECT_EQ(scan.scans, std::vector<std::string>{"CODE-128:A1234567"});
  EXPECT_EQ(scan.symbology, "Code 128");
  EXPECT_EQ(scan.origin, "B at 45,0");
  EXPECT_TRUE(scan.readable);
  EXPECT_LT(125, scan.box.y1);  // the framed number at y 125 is drawn over the bars
}

// --lint prints the in-memory warnings after the same summary lines and pictures as a
// run without it, and its own exit code; the in-memory PNG is the file's byte for byte.
TEST(LabelChecks, LintCommandPrintsWarningsAndExitsWithThree) {
  testsupport::TempDir folder;
  testsupport::WriteFile(folder.File("barcode.ini"), kClientDefaultIni);
  const std::string preview = Quote(Program("preview/tervane-preview"));
  const std::string request = std::string(" --build b --ini ") + Quote(folder.File("barcode.ini")) +
                              " --request " + Quote(kProtocol10Request);
  testsupport::TempDir plainOut, lintOut;
  int plainStatus = -1, lintStatus = -1;
  const std::string plain = Shell(preview + " --out " + Quote(plainOut.Path()) + request, &plainStatus);
  const std::string lint = Shell(preview + " --lint --out " + Quote(lintOut.Path()) + request, &lintStatus);
  EXPECT_EQ(plainStatus, 0);
  EXPECT_EQ(lintStatus, 3);

  RenderOutcome outcome;
  std::string error;
  ASSERT_TRUE(
      RenderRequestToMemory(kTervaneBBuild, kProtocol10Request, kClientDefaultIni, RenderSettings(), &outcome, &error));
  ASSERT_EQ(outcome.labels.size(), 2u);
  std::string summaries, withWarnings;
  for (const RenderedLabel& label : outcome.labels) {
    summaries += label.summary + "\n";
    withWarnings += label.summary + "\n";
    for (const LabelWarning& w : label.warnings) withWarnings += WarningLine(label.fileName, w) + "\n";
    EXPECT_EQ(testsupport::ReadFile(plainOut.File(label.fileName)), label.png);
    EXPECT_EQ(testsupport::ReadFile(lintOut.File(label.fileName)), label.png);
  }
  EXPECT_EQ(plain, summaries);
  std::string lines;
  for (const std::string& line : outcome.lines) lines += line + "\n";
  EXPECT_EQ(lines, plain);
  EXPECT_EQ(lint, withWarnings);
  EXPECT_NE(lint.find("label-002.png: clipped: the barcode (BQ at -70,0) runs 70 dots past the left edge"),
            std::string::npos)
      << lint;

  int clean = -1, failedRun = -1;
  Shell(preview + " --lint --out " + Quote(plainOut.Path()) + " --request " + Quote(kTubeRequest), &clean);
  EXPECT_EQ(clean, 0);
  // A client run that fails outranks the warnings (protocol 5 has no layout).
  Shell(preview + " --lint --out " + Quote(plainOut.Path()) + " --build b --ini " + Quote(folder.File("barcode.ini")) +
            " --request " + Quote(std::string(kProtocol10Request) + "%04x://5\\B2"),
        &failedRun);
  EXPECT_EQ(failedRun, 2);
}

// Renders run side by side, as the studio runs them: each gives the pictures it gives
// alone, whatever build and settings the other uses meanwhile.
TEST(LabelChecks, RequestsRenderSideBySide) {
  struct Request {
    const ClientBuild* build;
    std::string argument, ini;
    RenderOutcome alone;
  };
  std::vector<Request> requests = {
      {&kTervaneBuild, std::string(kTubeRequest) + "%04x://4\\H%8255\\N1", "[sizing]\r\nPAGECODE=1\r\n", {}},
      {&kTervaneBBuild, kProtocol10Request, kClientDefaultIni, {}},
  };
  std::string error;
  for (Request& r : requests) {
    EXPECT_TRUE(RenderRequestToMemory(*r.build, r.argument, r.ini, RenderSettings(), &r.alone, &error)) << error;
    EXPECT_FALSE(r.alone.labels.empty());
  }
  ASSERT_NE(requests[0].alone.jobs, requests[1].alone.jobs);

  constexpr int kRounds = 4;
  std::vector<int> same(requests.size(), 0);
  std::vector<std::thread> threads;
  for (std::size_t i = 0; i < requests.size(); ++i) {
    threads.emplace_back([&requests, &same, i] {
      const Request& r = requests[i];
      for (int round = 0; round < kRounds; ++round) {
        RenderOutcome outcome;
        std::string failure;
        if (!RenderRequestToMemory(*r.build, r.argument, r.ini, RenderSettings(), &outcome, &failure)) continue;
        bool equal = outcome.jobs == r.alone.jobs && outcome.lines == r.alone.lines &&
                     outcome.labels.size() == r.alone.labels.size();
        for (std::size_t l = 0; equal && l < outcome.labels.size(); ++l) {
          equal = outcome.labels[l].png == r.alone.labels[l].png;
        }
        if (equal) ++same[i];
      }
    });
  }
  for (std::thread& t : threads) t.join();
  EXPECT_EQ(same, std::vector<int>(requests.size(), kRounds));
}
