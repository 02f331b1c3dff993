// The program's run in-process, with barcode.ini and the argument log in a folder and
// the label jobs kept in memory: decoding, records and fields, protocol numbers, the
// argument log and the exit codes.
#include "client/client_entry.h"

#include <gtest/gtest.h>

#include <climits>
#include <cstdio>
#include <string>
#include <vector>

#include "client/tube_layouts.h"
#include "tests/support/process.h"
#include "tests/support/support.h"

namespace {

using testsupport::TempDir;

// What "\n" becomes in the argument log, which is appended to in text mode.
#ifdef _WIN32
const std::string kLogLineEnd = "\r\n";
#else
const std::string kLogLineEnd = "\n";
#endif

// A layout for every protocol number that records what it was given.
struct Call {
  int protocol;
  std::string data;
  bool hexText;
};
std::vector<Call> calls;
bool RecordingLayout(int protocol, LabelJob& job, const char* data, ClientSettings& settings) {
  calls.push_back(Call{protocol, data, settings.hexText});
  job.Clear();
  if (protocol == 7) {
    // A job beyond the 16 MiB cap.
    std::string chunk(1 << 20, 'x');
    for (int i = 0; i < 17; ++i) job.AppendText(chunk.data(), chunk.size());
    return true;
  }
  job.Append("P%d:%s", protocol, data);
  return true;
}

std::string Biochimie(const std::string& data, int m) {
  LabelJob job;
  BiochimieTubeLayout(job, data.c_str(), m);
  return std::string(job.Text(), job.Length());
}

// A program directory with a barcode.ini.
class ClientRun : public ::testing::Test {
 protected:
  void SetUp() override {
    calls.clear();
    testsupport::WriteFile(dir.File("barcode.ini"), "[sizing]\r\nBiochimieMoveLeft=5\r\n");
  }
  int Run(const std::string& argument, LayoutRenderer render = nullptr) {
    return RunClientProgram(kTervaneBuild, argument.c_str(), ClientFilesIn(dir.Path().c_str()), settings, delivery,
                            render);
  }
  void EnableDebug() {
    testsupport::WriteFile(dir.File("barcode.ini"), "[sizing]\r\nBiochimieMoveLeft=5\r\n[debug]\r\nDEBUGMODE=1\r\n");
  }
  std::string Log() { return testsupport::ReadFile(dir.File("_tervane_arg.log")); }

  TempDir dir;
  ClientSettings settings;
  MemoryDelivery delivery;
};

TEST(PercentDecoding, EscapesAndTheirQuirks) {
  struct Case {
    std::string in, out;
  } cases[] = {
      {"LINE%20TWO", "LINE TWO"},
      {"%41%4a%4A", "AJJ"},
      {"%2B+", "++"},
      {"%C3%A9", "%C3%A9"},          // only a digit after % starts an escape
      {"%9f%9F", "\x9F\x9F"},
      {"%5C%2F%04", "\\/\x04"},
      {"50%", "50%"},
      {"%4", "\x04"},                // a digit at the very end is the value alone
      {"a%00b", "a"},                // %00 ends the text
      {"%1z", "\x33"},               // 16 + ('Z' - 55)
      {"%9\xFF", "X"},               // 144 + (0xFF - 55) = 344, truncated to 8 bits
      {"%%41", "%A"},
      {"%0%", "\xEE"},               // '%' - 55 is negative: truncated to 8 bits
  };
  for (const Case& c : cases) {
    std::vector<char> out(c.in.size() + 1, '?');
    PercentDecode(c.in.c_str(), out.data());
    EXPECT_EQ(c.out.substr(0, c.out.find('\0')), std::string(out.data())) << c.in;
  }
}

TEST(ProtocolNumbers, DecimalWithSaturation) {
  EXPECT_EQ(-1, ProtocolNumber(""));
  EXPECT_EQ(0, ProtocolNumber("abc"));
  EXPECT_EQ(12, ProtocolNumber("12x"));
  EXPECT_EQ(-5, ProtocolNumber("-5"));
  EXPECT_EQ(3, ProtocolNumber("\t+3"));
  EXPECT_EQ(INT_MAX, ProtocolNumber("99999999999"));
  EXPECT_EQ(INT_MIN, ProtocolNumber("-99999999999"));
}

TEST(CommandLine, ArgumentFollowsTheProgramName) {
  EXPECT_STREQ("x://0\\a b", CommandLineArgument("\"C:\\Program Files\\t.exe\"  x://0\\a b"));
  EXPECT_STREQ("x://0\\a", CommandLineArgument("C:\\lab\\tervane.exe \t x://0\\a"));
  EXPECT_STREQ("", CommandLineArgument("tervane.exe"));
  EXPECT_STREQ("", CommandLineArgument("\"C:\\a b\\tervane.exe\""));
  EXPECT_STREQ("", CommandLineArgument("\"C:\\unclosed quote x://0\\a"));
  EXPECT_STREQ("\"quoted\"", CommandLineArgument("t.exe \"quoted\""));
  EXPECT_STREQ("\xC3\xA9", CommandLineArgument("t.exe \xC3\xA9"));
}

TEST_F(ClientRun, EmptyArgumentDoesNothing) {
  testsupport::TempDir empty;
  EXPECT_EQ(0, RunClientProgram(kTervaneBuild, "", ClientFilesIn(empty.Path().c_str()), settings, delivery));
  EXPECT_FALSE(testsupport::FileExists(empty.File("barcode.ini")));
  EXPECT_TRUE(delivery.jobs.empty());
}

TEST_F(ClientRun, FirstRunCreatesTheFileAndUsesBuiltInDefaults) {
  TempDir fresh;
  std::FILE* in = std::freopen(testsupport::NullDevice(), "r", stdin);
  ASSERT_NE(nullptr, in);
  EXPECT_EQ(0, RunClientProgram(kTervaneBuild, "x://0\\A1", ClientFilesIn(fresh.Path().c_str()), settings, delivery));
  ASSERT_EQ(1u, delivery.jobs.size());
  EXPECT_EQ(Biochimie("A1", 0), delivery.jobs[0]);  // not the 80 written into the file
  EXPECT_STREQ("COM1", settings.portName);
  EXPECT_EQ(
      "[com]\r\nport=1\r\nbaudrate=9600\r\ndatabits=8\r\nparity=prNone\r\nstopbits=sbOneStopBit\r\n"
      "[sizing]\r\nBiochimieMoveLeft=80\r\nCoagulareMoveLeft=80\r\nHematologieMoveLeft=80\r\n"
      "BARCODEFONTSIZE=80\r\n",
      testsupport::ReadFile(fresh.File("barcode.ini")));
}

TEST_F(ClientRun, RecordsAreDeliveredInOrder) {
  EXPECT_EQ(0, Run("x://0\\A1234567\\LINE%20TWO%04y://3\\B2%04z://0\\C3"));
  ASSERT_EQ(3u, delivery.jobs.size());
  EXPECT_EQ(Biochimie("A1234567\\LINE TWO", 5), delivery.jobs[0]);
  EXPECT_EQ(Biochimie("B2", 5), delivery.jobs[1]);
  EXPECT_EQ(Biochimie("C3", 5), delivery.jobs[2]);
}

TEST_F(ClientRun, EmptyRecordsEndTheRun) {
  EXPECT_EQ(0, Run("   %04x://0\\A"));  // a separator first
  EXPECT_EQ(0, Run("x://0\\A%04%04x://0\\B"));  // two in a row
  EXPECT_EQ(0, Run("x://0\\C%04   %04x://0\\D"));  // a record of blanks
  EXPECT_EQ(0, Run("x://0\\E%04%0Dx://0\\F"));  // a record that begins with a CR
  EXPECT_EQ((std::vector<std::string>{Biochimie("A", 5), Biochimie("C", 5), Biochimie("E", 5)}),
            delivery.jobs);
}

TEST_F(ClientRun, ProtocolFieldForms) {
  EXPECT_EQ(0, Run("x://abc\\ABC"));  // no digits: 0
  ASSERT_EQ(1u, delivery.jobs.size());
  EXPECT_EQ(Biochimie("ABC", 5), delivery.jobs[0]);
  EXPECT_EQ(kExitFailure, Run("x://\\data"));      // empty field 3
  EXPECT_EQ(kExitFailure, Run("x:/10\\data"));     // a single slash: field 3 empty
  EXPECT_EQ(kExitFailure, Run("lone"));           // no slash at all
  EXPECT_EQ(kExitFailure, Run("x://-3\\data"));
  EXPECT_EQ(kExitFailure, Run("x://" + std::string(201, '3') + "\\data"));  // over-long field 3
  EXPECT_EQ(1u, delivery.jobs.size());
  EXPECT_EQ(0, Run("x://4\\H1%04x://6\\C1"));
  ASSERT_EQ(3u, delivery.jobs.size());
  LabelJob h, c;
  HematologieTubeLayout(h, "H1", 0);
  CoagulareTubeLayout(c, "C1", 0);
  EXPECT_EQ(h.Text(), delivery.jobs[1]);
  EXPECT_EQ(c.Text(), delivery.jobs[2]);
}

TEST_F(ClientRun, UnknownProtocolEndsTheRunAndIsLogged) {
  EnableDebug();
  EXPECT_EQ(kExitFailure, Run("x://0\\A%04x://5\\B%04x://0\\C"));
  ASSERT_EQ(1u, delivery.jobs.size());
  const std::string nl = kLogLineEnd;
  EXPECT_EQ("x://0\\A\x04x://5\\B\x04x://0\\C" + nl + "x://0\\A" + nl + Biochimie("A", 5) +
                "x://5\\B" + nl + "unknoun protocol" + nl,
            Log());
}

TEST_F(ClientRun, FoldingAboveNineThousandNineHundredSetsTheFlagForTheRest) {
  EXPECT_EQ(0, Run("x://3\\a%04x://9901\\b%04x://1\\c%04x://10000\\d%04x://9900\\e", RecordingLayout));
  ASSERT_EQ(5u, calls.size());
  EXPECT_EQ(3, calls[0].protocol);
  EXPECT_FALSE(calls[0].hexText);
  EXPECT_EQ(1, calls[1].protocol);
  EXPECT_TRUE(calls[1].hexText);
  EXPECT_EQ(1, calls[2].protocol);
  EXPECT_TRUE(calls[2].hexText);  // stays set
  EXPECT_EQ(100, calls[3].protocol);
  EXPECT_EQ(9900, calls[4].protocol);
  EXPECT_TRUE(settings.hexText);
}

TEST_F(ClientRun, LayoutDataBlanksAndEscapes) {
  EXPECT_EQ(0, Run("x://0\\a+b%20c%2Bd%41%4a%4A%C3\\ %5Cz", RecordingLayout));
  ASSERT_EQ(1u, calls.size());
  EXPECT_EQ("a b c dAJJ%C3\\ \\z", calls[0].data);
  calls.clear();
  EXPECT_EQ(0, Run("x://0", RecordingLayout));  // the record ends before its backslash
  ASSERT_EQ(1u, calls.size());
  EXPECT_EQ(0, calls[0].protocol);
  EXPECT_EQ("", calls[0].data);
}

TEST_F(ClientRun, ArgumentLogHoldsRequestRecordsAndJobs) {
  EnableDebug();
  EXPECT_EQ(0, Run("x://0\\A%04" + std::string(201, 'f') + "//0\\skipped%04y://3\\B"));
  const std::string nl = kLogLineEnd;
  const std::string request = "x://0\\A\x04" + std::string(201, 'f') + "//0\\skipped\x04y://3\\B";
  // The record whose field 1 is too long is skipped without a log line.
  EXPECT_EQ(request + nl + "x://0\\A" + nl + Biochimie("A", 5) + "y://3\\B" + nl + Biochimie("B", 5),
            Log());
  EXPECT_EQ(2u, delivery.jobs.size());
}

TEST_F(ClientRun, TooLargeJobIsRefusedAndTheRunGoesOn) {
  EnableDebug();
  EXPECT_EQ(0, Run("x://7\\big%04x://0\\next", RecordingLayout));
  ASSERT_EQ(1u, delivery.jobs.size());
  EXPECT_EQ("P0:next", delivery.jobs[0]);
  const std::string nl = kLogLineEnd;
  EXPECT_EQ("x://7\\big\x04x://0\\next" + nl + "x://7\\big" + nl + "label job over 16 MiB, not printed" +
                nl + "x://0\\next" + nl + "P0:next",
            Log());
}

TEST_F(ClientRun, FailedDeliveryEndsTheRun) {
  struct RefusingDelivery : JobDelivery {
    bool Deliver(const ClientSettings&, const char*, std::size_t) override {
      ++calls;
      return false;
    }
    int calls = 0;
  } refusing;
  ClientSettings fresh;
  EXPECT_EQ(kExitFailure, RunClient(kTervaneBuild, "x://0\\A%04x://0\\B", fresh, refusing, nullptr));
  EXPECT_EQ(1, refusing.calls);
}

TEST_F(ClientRun, OverLongRecordsAndArgumentsStayInBounds) {
  // A record of more than 50,000 characters cannot be read: the run ends there.
  EXPECT_EQ(0, Run("x://0\\" + std::string(50000, 'L') + "%04x://0\\B", RecordingLayout));
  EXPECT_TRUE(calls.empty());
  // A record of 50,000 characters at a separator is read whole.
  std::string record = "x://0\\" + std::string(50000 - 6, 'L');
  EXPECT_EQ(0, Run(record + "%04", RecordingLayout));
  ASSERT_EQ(1u, calls.size());
  EXPECT_EQ(50000u - 6, calls[0].data.size());
  // An argument far beyond 50,000 bytes made of small records.
  std::string many;
  for (int i = 0; i < 5000; ++i) many += "x://3\\ABCDEFGHIJKLMNOP%04";
  calls.clear();
  EXPECT_EQ(0, Run(many, RecordingLayout));
  EXPECT_EQ(5000u, calls.size());
}

}  // namespace
