// The real tervane program: a copy beside a crafted barcode.ini, started with real
// command lines, delivering to a real TCP listener or a pseudo-terminal printer.
// Runs natively and, in the Windows build, under Wine (tervane.exe started with
// CreateProcess; its message boxes return at once there and show nowhere).
#include <gtest/gtest.h>

#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "client/label_job.h"
#include "client/tube_layouts.h"
#include "tests/support/frame_listener.h"
#include "tests/support/process.h"
#include "tests/support/support.h"
#include "tests/support/virtual_printer.h"

namespace fs = std::filesystem;
using testsupport::FrameListener;
using testsupport::ProcessResult;
using testsupport::VirtualPrinter;
using testsupport::WireFrame;

namespace {

#ifdef _WIN32
constexpr bool kWindows = true;
#else
constexpr bool kWindows = false;
#endif
// What "\n" becomes in files written in text mode.
const std::string kNl = kWindows ? "\r\n" : "\n";

std::string Biochimie(const std::string& data, int m) {
  LabelJob job;
  BiochimieTubeLayout(job, data.c_str(), m);
  return job.Text();
}
std::string Hematologie(const std::string& data, int m) {
  LabelJob job;
  HematologieTubeLayout(job, data.c_str(), m);
  return job.Text();
}
std::string Coagulare(const std::string& data, int m) {
  LabelJob job;
  CoagulareTubeLayout(job, data.c_str(), m);
  return job.Text();
}

std::string Replace(std::string text, const std::string& from, const std::string& to) {
  for (std::size_t at = text.find(from); at != std::string::npos; at = text.find(from, at + to.size()))
    text.replace(at, from.size(), to);
  return text;
}


// A program directory holding a copy of the built client.
class TervaneProgram : public ::testing::Test {
 protected:
  void SetUp() override { Install("tervane"); }

  void Install(const std::string& name) {
    std::string built = testsupport::NativePath(testsupport::BuildDir() + "/client/" + name +
                                                testsupport::ProgramSuffix());
    program = dir.File(name + testsupport::ProgramSuffix());
    std::error_code ec;
    fs::copy_file(built, program, fs::copy_options::overwrite_existing, ec);
    ASSERT_FALSE(ec) << built << ": " << ec.message();
  }
  void Settings(const std::string& ini) { testsupport::WriteFile(dir.File("barcode.ini"), ini); }
  // Network delivery to the listener, Biochimie move-left 5, optional debug mode.
  void NetworkSettings(int port, bool debug = false) {
    Settings("[sizing]\r\nBiochimieMoveLeft=5\r\nHematologieMoveLeft=-3\r\n[destination]\r\n"
             "ADDRESS=127.0.0.1\r\nNETPORT=" + std::to_string(port) + "\r\n" +
             (debug ? "[debug]\r\nDEBUGMODE=1\r\n" : ""));
  }
  ProcessResult Run(const std::string& argument, const std::vector<std::string>& env = {},
                    testsupport::ChildInput input = testsupport::ChildInput::kNullDevice) {
    ProcessResult r = testsupport::RunProgram(program, argument, env, 60, input);
    EXPECT_TRUE(r.started) << program;
    EXPECT_FALSE(r.timedOut);
    return r;
  }
  std::string Log() { return testsupport::ReadFile(dir.File("_tervane_arg.log")); }
  // The environment that makes COM1, the port of the built-in defaults, reach a virtual
  // printer through a device folder of this test's own (natively; under Wine COM1 is
  // the prefix's own port, and no printer is made).
  std::vector<std::string> Com1ToVirtualPrinter() {
    if (kWindows) return {};
    printer.reset(new VirtualPrinter);
    EXPECT_TRUE(printer->Ready()) << printer->Error();
    fs::create_symlink(printer->DevicePath(), devices.File("com1"));
    return {"TERVANE_DEVICE_DIR=" + devices.Path()};
  }
  // The message box line on standard error (Linux only; Wine shows boxes nowhere).
  void ExpectMessage(const ProcessResult& r, const std::string& line) {
    if (!kWindows) {
      EXPECT_EQ(line + "\n", r.err);
    }
  }

  testsupport::TempDir dir;
  std::string program;
  FrameListener listener;
  std::unique_ptr<VirtualPrinter> printer;
  testsupport::TempDir devices;
};

const std::string kSettingsPrompt =
    Replace("Nu pot deschide fisierul barcode.ini\nSe va crea un nou fisier \nApasati Enter", "\n", kNl);

TEST_F(TervaneProgram, OneRecordIsOneFrame) {
  // Settings as an editor on Linux saves them: lines ended by line feeds alone.
  Settings("[sizing]\nBiochimieMoveLeft=80\n[destination]\nADDRESS=127.0.0.1\nNETPORT=" +
           std::to_string(listener.Port()) + "\n");
  ProcessResult r = Run("x://0\\A1234567\\LINE%20TWO\\LINE%20THREE\\");
  EXPECT_EQ(0u, r.exitCode);
  EXPECT_EQ(std::vector<std::string>{WireFrame(
                "D8\n\nN\nB45,0,0,1,2,4,160,N,\"A1234567\"\n"
                "A90,125,0,2,1,1,N,\"*A1234567*\"\n"
                "A10,145,0,2,1,1,N,\"LINE TWO\"\n"
                "A10,165,0,2,1,1,N,\"LINE THREE\"\n"
                "P1\n")},
            listener.Connections(1));
  EXPECT_EQ("", r.err);
  EXPECT_FALSE(testsupport::FileExists(dir.File("_tervane_arg.log")));
}

TEST_F(TervaneProgram, RecordsTravelOverConnectionsOfTheirOwnInOrder) {
  NetworkSettings(listener.Port());
  ProcessResult r = Run("x://0\\A1%04x://4\\H2\\N%04x://6\\C3%04x://3\\B4");
  EXPECT_EQ(0u, r.exitCode);
  EXPECT_EQ((std::vector<std::string>{WireFrame(Biochimie("A1", 5)), WireFrame(Hematologie("H2\\N", -3)),
                                      WireFrame(Coagulare("C3", 0)), WireFrame(Biochimie("B4", 5))}),
            listener.Connections(4));
}

TEST_F(TervaneProgram, EmptyArgumentAndLeadingSeparator) {
  NetworkSettings(listener.Port());
  EXPECT_EQ(0u, Run("").exitCode);
  EXPECT_EQ(0u, Run("  %04x://0\\A1").exitCode);
  EXPECT_TRUE(listener.Connections(0).empty());
}

TEST_F(TervaneProgram, UnknownProtocolStopsTheRun) {
  NetworkSettings(listener.Port(), true);
  ProcessResult r = Run("x://0\\A1%04x://5\\B2%04x://0\\C3");
  EXPECT_EQ(testsupport::FailureExitCode(), r.exitCode);
  EXPECT_EQ(std::vector<std::string>{WireFrame(Biochimie("A1", 5))}, listener.Connections(1));
  EXPECT_EQ("x://0\\A1\x04x://5\\B2\x04x://0\\C3" + kNl + "x://0\\A1" + kNl + Biochimie("A1", 5) +
                "x://5\\B2" + kNl + "unknoun protocol" + kNl,
            Log());
}

TEST_F(TervaneProgram, ProtocolNumberForms) {
  NetworkSettings(listener.Port());
  // Above 9900 the number folds onto the layouts; a field without digits is 0.
  EXPECT_EQ(0u, Run("x://9903\\F1%04x://9904\\F2%04x://abc\\F3").exitCode);
  EXPECT_EQ((std::vector<std::string>{WireFrame(Biochimie("F1", 5)), WireFrame(Hematologie("F2", -3)),
                                      WireFrame(Biochimie("F3", 5))}),
            listener.Connections(3));
  // 9900 itself, a single slash, a lone word and an empty field 3 have no layout.
  for (const char* argument : {"x://9900\\F4", "x:/10\\F5", "lone", "x://\\F6"}) {
    EXPECT_EQ(testsupport::FailureExitCode(), Run(argument).exitCode) << argument;
  }
  EXPECT_EQ(3u, listener.Connections(3).size());
}

TEST_F(TervaneProgram, EscapesAndBlanksInTheLayoutData) {
  NetworkSettings(listener.Port());
  EXPECT_EQ(0u, Run("x://0\\%C3%A9+%4a%4A%2B%20%41\\a+b").exitCode);
  EXPECT_EQ(std::vector<std::string>{WireFrame(Biochimie("%C3%A9 JJ  A\\a b", 5))},
            listener.Connections(1));
}

TEST_F(TervaneProgram, EmptyLabelJobIsAZeroLengthFrame) {
  // The grouped field-list layout writes nothing for data without a group.
  NetworkSettings(listener.Port());
  EXPECT_EQ(0u, Run("x://11\\%04x://11").exitCode);
  EXPECT_EQ((std::vector<std::string>{std::string(4, '\0'), std::string(4, '\0')}), listener.Connections(2));
}

TEST_F(TervaneProgram, JobOverTheCapIsRefusedAndTheRunGoesOn) {
  // A numbered series of two billion labels would pass 16 MiB: nothing of it is sent.
  NetworkSettings(listener.Port(), true);
  const std::string big = "x://100\\1^2000000000^1^6\\B^1\\LOT+7";
  ProcessResult r = Run(big + "%04x://0\\A1");
  EXPECT_EQ(0u, r.exitCode);
  EXPECT_EQ(std::vector<std::string>{WireFrame(Biochimie("A1", 5))}, listener.Connections(1));
  EXPECT_EQ(big + "\x04x://0\\A1" + kNl + big + kNl + "label job over 16 MiB, not printed" + kNl + "x://0\\A1" +
                kNl + Biochimie("A1", 5),
            Log());
}

TEST_F(TervaneProgram, FirstRunCreatesTheSettingsFile) {
  // No barcode.ini: the default file is written and this run keeps the built-in
  // defaults, i.e. the serial port COM1 and the move-left values 0. Natively standard
  // input is a pipe that the requester keeps open: the prompt is printed, but only a
  // terminal is waited for (Run fails the test if the program has to be killed).
  std::vector<std::string> env = Com1ToVirtualPrinter();
  if (HasFailure()) return;
  ProcessResult r = Run("x://0\\A1\\L2", env,
                        kWindows ? testsupport::ChildInput::kNullDevice : testsupport::ChildInput::kOpenPipe);
  EXPECT_EQ(kSettingsPrompt, r.out);
  EXPECT_EQ(
      "[com]\r\nport=1\r\nbaudrate=9600\r\ndatabits=8\r\nparity=prNone\r\nstopbits=sbOneStopBit\r\n"
      "[sizing]\r\nBiochimieMoveLeft=80\r\nCoagulareMoveLeft=80\r\nHematologieMoveLeft=80\r\n"
      "BARCODEFONTSIZE=80\r\n",
      testsupport::ReadFile(dir.File("barcode.ini")));
  if (printer) {
    // Under Wine COM1 is the prefix's own port: only the file and the message count there.
    EXPECT_EQ(0u, r.exitCode);
    std::string expected = Biochimie("A1\\L2", 0);
    EXPECT_EQ(expected, printer->Received(expected.size()));
  }
}

TEST_F(TervaneProgram, ASettingsFolderIsAFileThatCannotBeOpened) {
  // A folder named barcode.ini (which Linux lets one open): the message, no default
  // file in its place, and the run goes on with the built-in defaults.
  fs::create_directory(dir.File("barcode.ini"));
  std::vector<std::string> env = Com1ToVirtualPrinter();
  if (HasFailure()) return;
  ProcessResult r = Run("x://0\\A1\\L2", env);
  EXPECT_EQ(kSettingsPrompt, r.out);
  EXPECT_TRUE(fs::is_directory(dir.File("barcode.ini")));
  if (printer) {
    EXPECT_EQ(0u, r.exitCode);
    std::string expected = Biochimie("A1\\L2", 0);
    EXPECT_EQ(expected, printer->Received(expected.size()));
  }
}

TEST_F(TervaneProgram, SerialDeliveryOpensThePortPerRecord) {
  VirtualPrinter printer;
  ASSERT_TRUE(printer.Ready()) << printer.Error();
  Settings("[com]\r\nport=" + printer.PortName() + "\r\nbaudrate=19200\r\n[sizing]\r\n"
           "BiochimieMoveLeft=7\r\n[debug]\r\nDEBUGMODE=1\r\n");
  ProcessResult r = Run("x://0\\S1%04x://3\\S2");
  EXPECT_EQ(0u, r.exitCode);
  std::string expected = Biochimie("S1", 7) + Biochimie("S2", 7);
  EXPECT_EQ(expected, printer.Received(expected.size()));
  EXPECT_EQ("x://0\\S1\x04x://3\\S2" + kNl + "x://0\\S1" + kNl + Biochimie("S1", 7) + "x://3\\S2" + kNl +
                Biochimie("S2", 7),
            Log());
}

TEST_F(TervaneProgram, APortAboveComNinePrints) {
  // port=12 gives COM12, which Windows opens only by its device name \\.\COM12 (USB
  // serial adapters get such numbers); it is configured as a serial line all the same.
  VirtualPrinter printer(12);
  ASSERT_TRUE(printer.Ready()) << printer.Error();
  Settings("[com]\r\nport=12\r\nbaudrate=19200\r\n[sizing]\r\nBiochimieMoveLeft=7\r\n");
  ProcessResult r = Run("x://0\\C12");
  EXPECT_EQ(0u, r.exitCode);
  std::string expected = Biochimie("C12", 7);
  EXPECT_EQ(expected, printer.Received(expected.size()));
  EXPECT_NE(std::string::npos, printer.LineSettings().find("speed 19200 baud"));
}

TEST_F(TervaneProgram, RefusedConnectionIsAFailure) {
  NetworkSettings(testsupport::UnusedPort(), true);
  ProcessResult r = Run("x://0\\A1%04x://0\\B2");
  EXPECT_EQ(testsupport::FailureExitCode(), r.exitCode);
  ExpectMessage(r, "Tervane: connect() failed");
  // The second record is never read.
  EXPECT_EQ("x://0\\A1\x04x://0\\B2" + kNl + "x://0\\A1" + kNl + Biochimie("A1", 5), Log());
}

TEST_F(TervaneProgram, MissingSerialPort) {
  testsupport::TempDir devices;  // natively: no link, and /dev/ttyS98 does not exist
  Settings("[com]\r\nport=99\r\n[debug]\r\nDEBUGMODE=1\r\n");
  ProcessResult r = Run("x://0\\A1%04x://0\\B2", {"TERVANE_DEVICE_DIR=" + devices.Path()});
  EXPECT_EQ(testsupport::FailureExitCode(), r.exitCode);
  ExpectMessage(r, "Error: Eroare : Port COM99 inaccesibil");
  EXPECT_EQ("x://0\\A1\x04x://0\\B2" + kNl + "x://0\\A1" + kNl + Biochimie("A1", 0), Log());
}

TEST_F(TervaneProgram, FailedSerialWriteIsAFailure) {
  // The full device takes the open but refuses every write.
  Settings("[com]\r\nport=/dev/full\r\n");
  ProcessResult r = Run("x://0\\A1%04x://0\\B2");
  EXPECT_EQ(testsupport::FailureExitCode(), r.exitCode);
  ExpectMessage(r, "Error: Eroare la scriere pe portul /dev/full");
}

TEST_F(TervaneProgram, DialectBReadsAddressUnderSuffix) {
  Install("tervane-b");
  Settings("[destination]\r\n[suffix]\r\nADDRESS=127.0.0.1\r\nNETPORT=" + std::to_string(listener.Port()) +
           "\r\n");
  EXPECT_EQ(0u, Run("x://0\\A1").exitCode);
  EXPECT_EQ(std::vector<std::string>{WireFrame(Biochimie("A1", 0))}, listener.Connections(1));
}

}  // namespace
