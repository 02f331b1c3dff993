// The request path of tervane-preview against the real client: the real tervane (and
// tervane-b) program sends its label jobs to a real TCP listener, and the preview of
// each request equals the preview of the jobs that arrived. Also the newcomer's
// command from the README.
#include <gtest/gtest.h>

#include <filesystem>

#include "tests/preview/preview_fixtures.h"
#include "tests/support/frame_listener.h"
#include "tests/support/process.h"
#include "tervane_version.h"

namespace fs = std::filesystem;
using previewtest::Quote;
using previewtest::Shell;

namespace {

std::string Program(const std::string& path) { return fs::absolute(testsupport::BuildDir() + "/" + path).string(); }

// The label jobs inside the byte streams of the listener's connections.
std::string JobsOf(const std::vector<std::string>& connections) {
  std::string jobs;
  for (const std::string& c : connections) {
    if (c.size() < 4) continue;
    const std::size_t length = static_cast<unsigned char>(c[0]) | static_cast<unsigned char>(c[1]) << 8 |
                               static_cast<unsigned char>(c[2]) << 16 |
                               static_cast<std::size_t>(static_cast<unsigned char>(c[3])) << 24;
    jobs += c.substr(4, length);
  }
  return jobs;
}

// The PNG files and summary lines of one preview run.
struct Pictures {
  std::vector<std::string> pngs;
  std::string summary;
};

Pictures Preview(const std::string& arguments, const testsupport::TempDir& out) {
  Pictures p;
  p.summary = Shell(Quote(Program("preview/tervane-preview")) + " --out " + Quote(out.Path()) + " " + arguments);
  for (int i = 1; testsupport::FileExists(out.File("label-00" + std::to_string(i) + ".png")); ++i) {
    p.pngs.push_back(testsupport::ReadFile(out.File("label-00" + std::to_string(i) + ".png")));
  }
  return p;
}

class RequestPreview : public ::testing::TestWithParam<std::string> {};

TEST_P(RequestPreview, EqualsThePreviewOfTheJobsTheClientSends) {
  const std::string client = GetParam();  // "tervane" or "tervane-b"
  testsupport::FrameListener listener;
  ASSERT_TRUE(listener.Listening());
  testsupport::TempDir programDir;
  const std::string program = programDir.File(client + testsupport::ProgramSuffix());
  fs::copy_file(Program("client/" + client + testsupport::ProgramSuffix()), program);
  const std::string ini =
      "[sizing]\r\nBiochimieMoveLeft=80\r\nCoagulareMoveLeft=130\r\nHematologieMoveLeft=80\r\n"
      "BARCODEFONTSIZE=80\r\nPRINTDOMAINNAME=1\r\n[destination]\r\nADDRESS=127.0.0.1\r\nNETPORT=" +
      std::to_string(listener.Port()) + "\r\n";
  testsupport::WriteFile(programDir.File("barcode.ini"), ini);

  const std::vector<std::string> requests = {
      "x://0\\A1234567\\LINE%20TWO\\LINE%20THREE\\",
      "x://6\\A1234567\\LINE%20TWO\\LINE%20THREE\\",  // move-left 130: clipped barcode
      "x://4\\H555\\N1\\N2\\N3\\TAIL",
      "x://1\\B^1^A1234567\\LINE+TWO\\A^3^LINE+THREE\\",
      "x://11\\D1^D2\\B^1^A1234567\\LINE+TWO|D3\\LINE+FOUR",
      "x://10\\D1^D2\\B^Q^A1234567\\A+TEXT+OF+TWENTY-SIX+CHARS\\A^D^LINE+THREE",
      "x://100\\41^2^3^6\\B^1\\X^Y^LOT+7",
      "x://0\\FIRST\\A\\B\\%04x://4\\SECOND\\C\\D\\E\\",
  };
  std::size_t connections = 0;
  for (const std::string& request : requests) {
    SCOPED_TRACE(request);
    testsupport::ProcessResult run = testsupport::RunProgram(program, request);
    ASSERT_TRUE(run.started);
    ASSERT_EQ(run.exitCode, 0u) << run.err;
    const std::size_t records = request.find("%04") == std::string::npos ? 1 : 2;
    std::vector<std::string> all = listener.Connections(connections + records);
    ASSERT_EQ(all.size(), connections + records);
    const std::vector<std::string> mine(all.begin() + static_cast<long>(connections), all.end());
    connections = all.size();
    testsupport::TempDir jobDir, fromJob, fromRequest;
    testsupport::WriteFile(jobDir.File("job"), JobsOf(mine));

    Pictures expected = Preview(Quote(jobDir.File("job")), fromJob);
    Pictures actual = Preview("--build " + std::string(client == "tervane" ? "a" : "b") + " --ini " +
                                  Quote(programDir.File("barcode.ini")) + " --request " + Quote(request),
                              fromRequest);
    ASSERT_FALSE(expected.pngs.empty()) << expected.summary;
    EXPECT_EQ(actual.summary, expected.summary);
    EXPECT_TRUE(actual.pngs == expected.pngs);
  }
}

INSTANTIATE_TEST_SUITE_P(Clients, RequestPreview, ::testing::Values("tervane", "tervane-b"));

// The newcomer's command: the Biochimie tube label with the built-in settings, its
// barcode readable as A1234567, written into the current folder.
TEST(RequestPreviewCommand, BiochimieTubeLabelScans) {
  testsupport::TempDir folder;
  int status = -1;
  const std::string summary =
      Shell("cd " + Quote(folder.Path()) + " && " + Quote(Program("preview/tervane-preview")) +
                " --request 'x://0\\A1234567\\LINE%20TWO\\LINE%20THREE\\'",
            &status);
  EXPECT_EQ(status, 0);
  EXPECT_EQ(summary.compare(0, 15, "label-001.png: "), 0) << summary;
  EXPECT_EQ(previewtest::Scan(folder.File("label-001.png")), std::vector<std::string>{"CODE-128:A1234567"});
}

TEST(RequestPreviewCommand, DialectBAndUnknownProtocols) {
  testsupport::TempDir b;
  const std::string summary =
      Shell(Quote(Program("preview/tervane-preview")) + " --out " + Quote(b.Path()) +
            " --build b --request 'x://100\\41^2^3^6\\B^1\\X^Y^LOT+7'");
  EXPECT_NE(summary.find("label-002.png: "), std::string::npos) << summary;
  EXPECT_NE(summary.find("dialect B; 2 text lines; 1 barcode; copies 3 (^C3 ^P2)"), std::string::npos) << summary;
  EXPECT_EQ(previewtest::Scan(b.File("label-002.png")), std::vector<std::string>{"I2/5:42"});

  testsupport::TempDir unknown;
  int status = 0;
  const std::string out = Shell(Quote(Program("preview/tervane-preview")) + " --out " + Quote(unknown.Path()) +
                                    " --request 'x://0\\A1\\%04x://5\\B2'",
                                &status);
  EXPECT_EQ(status, 2);
  EXPECT_NE(out.find("label-001.png: "), std::string::npos) << out;
  EXPECT_NE(out.find("tervane would end with exit code -1"), std::string::npos) << out;

  int usage = 0;
  Shell(Quote(Program("preview/tervane-preview")) + " --dpi 600 - </dev/null 2>/dev/null", &usage);
  EXPECT_EQ(usage, 1);

  int version = -1;
  EXPECT_EQ(Shell(Quote(Program("preview/tervane-preview")) + " --version", &version),
            std::string("tervane-preview ") + TERVANE_VERSION + "\n");
  EXPECT_EQ(version, 0);
}

TEST(RequestPreviewCommand, StandardInputLogsAndSizesInMillimetres) {
  testsupport::TempDir folder;
  testsupport::WriteFile(folder.File("job"), "N\nA10,10,0,2,1,1,N,\"X\"\nP1\n");
  const std::string program = Quote(Program("preview/tervane-preview"));
  const std::string sized = Shell(program + " --out " + Quote(folder.Path()) +
                                  " --width 50mm --height 30mm - < " + Quote(folder.File("job")));
  EXPECT_NE(sized.find("label-001.png: 400x240 dots at 203 dpi (--width/--height)"), std::string::npos) << sized;

  testsupport::WriteFile(folder.File("log"), "2026-1-5 8:0:2 - -------------------\n" +
                                                 previewtest::WorkedExamples()[2].job + "2026-1-5 8:0:3 - gata\n");
  const std::string fromLog = Shell(program + " --out " + Quote(folder.Path()) + " --log " + Quote(folder.File("log")));
  EXPECT_NE(fromLog.find("label-001.png: "), std::string::npos) << fromLog;
  EXPECT_EQ(fromLog.find("label-002.png"), std::string::npos) << fromLog;
  EXPECT_EQ(previewtest::Scan(folder.File("label-001.png")),
            std::vector<std::string>{previewtest::WorkedExamples()[2].barcodes[0]});
}

}  // namespace
