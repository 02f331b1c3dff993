// Both label clients, tervane and tervane-b, started from a real command line and
// delivering to real TCP listeners: the field-list, protocol 10 and 100 layouts end to
// end, and the protocols that both programs share giving identical label jobs.
// Runs natively and, in the Windows build, under Wine.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "client/dialect_b_layouts.h"
#include "client/protocol10_100_layouts.h"
#include "tests/client/worked_examples.h"
#include "tests/support/frame_listener.h"
#include "tests/support/process.h"
#include "tests/support/support.h"

namespace fs = std::filesystem;
using testsupport::FrameListener;
using testsupport::WireFrame;

namespace {

// One installed copy of a client program with its own barcode.ini and listener.
class Client {
 public:
  explicit Client(const std::string& name) {
    std::string built =
        testsupport::NativePath(testsupport::BuildDir() + "/client/" + name + testsupport::ProgramSuffix());
    program_ = dir_.File(name + testsupport::ProgramSuffix());
    std::error_code ec;
    fs::copy_file(built, program_, fs::copy_options::overwrite_existing, ec);
    EXPECT_FALSE(ec) << built << ": " << ec.message();
  }

  // Writes barcode.ini: network delivery to this client's listener, then sizing lines.
  void Settings(const std::string& sizing, const std::string& more = "") {
    testsupport::WriteFile(dir_.File("barcode.ini"), "[destination]\r\nADDRESS=127.0.0.1\r\nNETPORT=" +
                                                         std::to_string(listener_.Port()) + "\r\n[sizing]\r\n" +
                                                         sizing + more);
  }

  // Runs the program with argument; expects exit code 0 and returns the frames received.
  std::vector<std::string> Run(const std::string& argument, std::size_t frames) {
    testsupport::ProcessResult r = testsupport::RunProgram(program_, argument);
    EXPECT_TRUE(r.started) << program_;
    EXPECT_FALSE(r.timedOut);
    EXPECT_EQ(0u, r.exitCode) << r.err;
    std::vector<std::string> all = listener_.Connections(seen_ + frames);
    std::vector<std::string> fresh(all.begin() + static_cast<std::ptrdiff_t>(std::min(seen_, all.size())), all.end());
    seen_ = all.size();
    return fresh;
  }

 private:
  testsupport::TempDir dir_;
  std::string program_;
  FrameListener listener_;
  std::size_t seen_ = 0;
};

const char kSizing[] =
    "BiochimieMoveLeft=80\r\nCoagulareMoveLeft=70\r\nHematologieMoveLeft=60\r\nBARCODEFONTSIZE=80\r\n"
    "PRINTDOMAINNAME=1\r\n";

std::vector<std::string> Frames(const std::vector<std::string>& jobs) {
  std::vector<std::string> frames;
  for (const std::string& job : jobs) frames.push_back(WireFrame(job));
  return frames;
}

TEST(LayoutPrograms, SharedProtocolsGiveIdenticalJobsInBothPrograms) {
  Client tervane("tervane");
  Client tervaneB("tervane-b");
  // The [suffix] section is tervane's; tervane-b reads its lines as [sizing] lines.
  const std::string suffix = "[suffix]\r\nD1=-S\r\n";
  tervane.Settings(kSizing, suffix);
  tervaneB.Settings(kSizing, suffix);
  const std::string argument =
      "x://0\\A1234567\\LINE+TWO\\LINE+THREE\\"
      "%04x://1\\B^1^A1234567\\LINE+TWO\\A^3^LINE+THREE\\A+TEXT+OF+TWENTY-SIX+CHARS\\"
      "%04x://3\\B3\\L2\\L3"
      "%04x://4\\H555\\N1\\N2\\N3\\TAIL"
      "%04x://6\\C6\\L2\\L3\\L4\\L5\\L6"
      "%04x://11\\D1^D2\\B^1^A1234567\\LINE+TWO|D3\\LINE+FOUR"
      "%04x://9911\\D1\\4142"
      "%04x://9901\\4142";
  std::vector<std::string> fromTervane = tervane.Run(argument, 8);
  ASSERT_EQ(8u, fromTervane.size());
  EXPECT_EQ(fromTervane, tervaneB.Run(argument, 8));
  EXPECT_EQ(WireFrame(worked::kFieldListJob), fromTervane[1]);
  EXPECT_EQ(WireFrame(worked::kGroupedJob), fromTervane[5]);
  // Above 9900 the hex-text flag is set, but no shared layout decodes text.
  EXPECT_EQ(WireFrame("D8\n\nN\nA10,0,0,2,1,1,N,\"4142\"\nA10,20,0,2,1,1,N,\"D1\"\nP1\n"), fromTervane[6]);
  EXPECT_EQ(WireFrame("D8\n\nN\nA10,0,0,2,1,1,N,\"4142\"\nP1\n"), fromTervane[7]);
}

TEST(LayoutPrograms, TervaneProtocols10And100) {
  Client tervane("tervane");
  tervane.Settings(kSizing, "PAGECODE=B\r\n[suffix]\r\nD2=-X\r\n");
  // 9910 sets the hex-text flag, and it stays set for the later protocol 10 record.
  std::vector<std::string> frames = tervane.Run(
      "x://9910\\D1^D2\\B^1^A1234567\\4C494E452054574F\\A^3^4C494E45"
      "%04x://100\\41^2^3^6\\B^1\\LOT+7\\A^3^SERIES+A"
      "%04x://10\\D2\\4142\\B^1^4142",
      3);
  EXPECT_EQ(Frames({worked::kProtocol10Job, worked::kSeriesJob,
                    "I8,B,001\nD8\n\nN\nA10,0,0,2,1,1,N,\"AB\"\nB10,20,0,1,2,4,80,B,\"4142-X\"\n"
                    "A10,130,0,2,1,1,N,\"D2\"\nP1\n"}),
            frames);

  tervane.Settings("BiochimieMoveLeft=80\r\nMAXTEXTLEN=12\r\n");
  EXPECT_EQ(Frames({"I8,0,001\nD8\n\nN\n"
                    "A10,0,0,2,1,1,N,\"LONG TEXT OF\"\n"
                    "A10,20,0,2,1,1,N,\" TWENTY FIVE CH\"\n"
                    "P1\n"}),
            tervane.Run("x://10\\D1\\LONG+TEXT+OF+TWENTY+FIVE+CH", 1));
}

TEST(LayoutPrograms, TervaneBProtocols10And100) {
  Client tervaneB("tervane-b");
  tervaneB.Settings("BiochimieMoveLeft=0\r\nBARCODEFONTSIZE=80\r\nPRINTDOMAINNAME=1\r\nPAGECODE=B\r\n");
  const std::string label =
      "^P1\n^L\nBQ,10,0,2,5,80,0,0,A1234567\nAB,10,85,1,1,0,0,A TEXT OF TWENTY-SIX\nAD,10,103,1,1,0,0,LINE THREE\n";
  // Above 9900 the folded protocol acts exactly like its plain value.
  EXPECT_EQ(Frames({label + "AB,10,129,1,1,0,0,D1\nE\n" + label + "AB,10,129,1,1,0,0,D2\nE\n",
                    "^C3\n^P2\n^L\nBU,20,0,2,5,60,0,0,41\nAB,20,60,1,1,0,0,41\nAB,20,80,1,1,0,0,LOT 7\nE\n"
                    "^C3\n^P2\n^L\nBU,20,0,2,5,60,0,0,42\nAB,20,60,1,1,0,0,42\nAB,20,80,1,1,0,0,LOT 7\nE\n",
                    "^P1\n^L\nAB,10,0,1,1,0,0,4142\nAB,10,18,1,1,0,0,D\nE\n"}),
            tervaneB.Run("x://10\\D1^D2\\B^Q^A1234567\\A+TEXT+OF+TWENTY-SIX+CHARS\\A^D^LINE+THREE"
                         "%04x://100\\41^2^3^6\\B^1\\X^Y^LOT+7"
                         "%04x://9910\\D\\4142",
                         3));
}

TEST(LayoutPrograms, TenThousandLabelSeriesArriveWhole) {
  Client tervane("tervane");
  Client tervaneB("tervane-b");
  tervane.Settings(kSizing);
  tervaneB.Settings(kSizing);
  const std::string data = "1^10000^1^8\\B^1\\X^Y^LOT+7\\A^3^SERIES+A\\A^4^CONTROL+SAMPLE";
  std::string plain = data;
  for (char& c : plain) c = c == '+' ? ' ' : c;

  LabelJob expected;
  NumberedSeriesLayout(expected, plain.c_str(), 80, 80);
  ASSERT_GT(expected.Length(), 1000000u);
  std::vector<std::string> frames = tervane.Run("x://100\\" + data, 1);
  ASSERT_EQ(1u, frames.size());
  EXPECT_EQ(expected.Length() + 4, frames[0].size());
  EXPECT_TRUE(frames[0] == WireFrame(std::string(expected.Text(), expected.Length())));

  LabelJob expectedB;
  DialectBNumberedSeriesLayout(expectedB, plain.c_str(), 80, 80);
  frames = tervaneB.Run("x://100\\" + data, 1);
  ASSERT_EQ(1u, frames.size());
  EXPECT_EQ(expectedB.Length() + 4, frames[0].size());
  EXPECT_TRUE(frames[0] == WireFrame(std::string(expectedB.Text(), expectedB.Length())));
  EXPECT_NE(std::string::npos, frames[0].find("AB,20,60,1,1,0,0,10000\nAB,20,80,1,1,0,0,LOT 7\nE\n"));
}

}  // namespace
