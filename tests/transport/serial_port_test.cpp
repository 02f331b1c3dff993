// PortSerialv2 against a virtual serial printer (a socat pseudo-terminal reached by a
// port name), natively and under Wine.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "platform/system_error.h"
#include "tests/support/support.h"
#include "tests/support/virtual_printer.h"
#include "tests/support/wine.h"
#include "transport/serial_port.h"

namespace {

using testsupport::VirtualPrinter;

class SerialPort : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(printer.Ready()) << printer.Error();
    port = printer.PortName();
  }

  // Opens the printer's port with the given line values; the test fails if it does not open.
  void OpenLine(PortSerialv2& p, int baud, int dataBits, int parity, int stopBits) {
    LineSettings lineSettings = MakeLineSettings(baud, dataBits, parity, stopBits);
    ASSERT_TRUE(p.Open(port.c_str(), lineSettings)) << p.errorText;
  }

  VirtualPrinter printer;
  std::string port;
};

bool Has(const std::string& settings, const char* word) {
  // stty -a separates its words with blanks, semicolons and line breaks.
  std::string padded = " " + settings + " ";
  for (char& c : padded) {
    if (c == '\n' || c == ';') c = ' ';
  }
  return padded.find(std::string(" ") + word + " ") != std::string::npos;
}

TEST_F(SerialPort, OpenAppliesTheLineSettingsAndDeliversEveryByte) {
  PortSerialv2 p;
  OpenLine(p, 4800, 8, 0, 2);
  EXPECT_STREQ(port.c_str(), p.portName);

  std::string settings = printer.LineSettings();
  EXPECT_NE(std::string::npos, settings.find("speed 4800 baud")) << settings;
  // Two stop bits, no flow control either way, raw binary.
  for (const char* word : {"cstopb", "-crtscts", "-ixon", "-ixoff", "-icanon", "-echo",
                           "-opost", "-icrnl", "-isig", "cread"}) {
    EXPECT_TRUE(Has(settings, word)) << word << " missing in " << settings;
  }

  // Every byte value but zero (a label job never holds one), in a job larger than the
  // pseudo-terminal's buffer, arrives unchanged.
  std::string job;
  for (int round = 0; round < 1024; ++round) {
    for (int b = 1; b < 256; ++b) job += static_cast<char>(b);
  }
  EXPECT_TRUE(p.Write(job.data(), static_cast<unsigned long>(job.size())));
  EXPECT_NE(0, p.Close());
  std::string received = printer.Received(job.size());
  ASSERT_EQ(job.size(), received.size());
  EXPECT_TRUE(received == job);
}

TEST_F(SerialPort, MarkAndSpaceParityReachTheLine) {
  for (int parity : {3, 4}) {
    PortSerialv2 p;
    OpenLine(p, 9600, 8, parity, 0);
    std::string settings = printer.LineSettings();
    EXPECT_NE(std::string::npos, settings.find("speed 9600 baud")) << settings;
    EXPECT_TRUE(Has(settings, "cmspar")) << settings;
    EXPECT_TRUE(Has(settings, "-cstopb")) << settings;
    EXPECT_TRUE(Has(settings, parity == 3 ? "parodd" : "-parodd")) << settings;
    p.Close();
  }
}

TEST_F(SerialPort, EveryParityAndDataBitCountOpensAgainAndAgain) {
  // The services open the port for every job. A pseudo-terminal carries bytes without
  // framing and drops the parity and character-size bits it is given; that must not
  // turn the second open with the same values (where nothing else changes) into a
  // refusal.
  for (int parity = 0; parity <= 4; ++parity) {
    for (int dataBits = 5; dataBits <= 8; ++dataBits) {
      for (int round = 1; round <= 2; ++round) {
        SCOPED_TRACE("parity " + std::to_string(parity) + ", " + std::to_string(dataBits) +
                     " data bits, open " + std::to_string(round));
        PortSerialv2 p;
        LineSettings lineSettings = MakeLineSettings(9600, dataBits, parity, 0);
        if (!p.Open(port.c_str(), lineSettings)) {
          ADD_FAILURE() << p.errorText;
          continue;
        }
        const char job[] = {'N', '\n', static_cast<char>('0' + parity),
                            static_cast<char>('0' + dataBits), '\n'};
        EXPECT_TRUE(p.Write(job, sizeof job));
        EXPECT_NE(0, p.Close());
      }
    }
  }
  // Every job reached the line, in order.
  std::string expected;
  for (int parity = 0; parity <= 4; ++parity) {
    for (int dataBits = 5; dataBits <= 8; ++dataBits) {
      std::string job = "N\n" + std::to_string(parity) + std::to_string(dataBits) + "\n";
      expected += job + job;
    }
  }
  EXPECT_EQ(expected, printer.Received(expected.size()));
}

TEST_F(SerialPort, SpeedsWithoutATermiosCodeOpenAndDeliver) {
  // Windows offers 14400, 56000, 128000 and 256000 baud; termios has no code for them.
  std::string expected;
  for (int baud : {14400, 56000, 128000, 256000}) {
    PortSerialv2 p;
    OpenLine(p, baud, 8, 0, 0);
    if (HasFatalFailure()) return;
    std::string job = std::to_string(baud) + "\n";
    EXPECT_TRUE(p.Write(job.data(), static_cast<unsigned long>(job.size())));
    EXPECT_NE(0, p.Close());
    expected += job;
  }
  EXPECT_EQ(expected, printer.Received(expected.size()));
}

TEST_F(SerialPort, SecondOpenOfAHeldPortFailsWithAccessDenied) {
  if (testsupport::UnderWine()) {
    GTEST_SKIP() << "Wine does not enforce share mode 0 on character devices; "
                    "Windows' serial driver and the POSIX build do";
  }
  PortSerialv2 first;
  OpenLine(first, 9600, 8, 0, 0);

  PortSerialv2 second;
  LineSettings lineSettings = MakeLineSettings(9600, 8, 0, 0);
  EXPECT_FALSE(second.Open(port.c_str(), lineSettings));
  EXPECT_EQ(5ul, platform::LastSystemError());
  EXPECT_EQ("Eroare : Port " + port + " inaccesibil", second.errorText);
  EXPECT_EQ(kInvalidDevice, second.handle);

  // Released by Close: the next open succeeds and writes.
  EXPECT_NE(0, first.Close());
  ASSERT_TRUE(second.Open(port.c_str(), lineSettings)) << second.errorText;
  EXPECT_TRUE(second.Write("N\n", 2));
  second.Close();
  EXPECT_EQ("N\n", printer.Received(2));
}

TEST_F(SerialPort, RefusedLineSettingsGiveTheDcbTextAndReleaseThePort) {
  // Baud rate 0 (what a non-numeric setting gives), 3 or 9 data bits, and one and a
  // half stop bits with 8 data bits (a UART has them only with 5) are refused.
  struct Line {
    int baud, dataBits, stopBits;
    bool wineRefuses;  // Wine's serial layer takes baud rate 0 and 1.5 stop bits
  };
  const Line refused[] = {{0, 8, 0, false}, {9600, 3, 0, true}, {9600, 9, 0, true},
                          {9600, 8, 1, false}};
  for (const Line& line : refused) {
    if (!line.wineRefuses && testsupport::UnderWine()) continue;
    PortSerialv2 p;
    LineSettings lineSettings = MakeLineSettings(line.baud, line.dataBits, 0, line.stopBits);
    EXPECT_FALSE(p.Open(port.c_str(), lineSettings)) << line.baud << " " << line.dataBits;
    unsigned long code = platform::LastSystemError();
    EXPECT_NE(0ul, code);
    EXPECT_NE(5ul, code);  // not mistaken for a busy port
    char expected[200];
    std::snprintf(expected, sizeof expected,
                  "Eroare %d la la setare parametrii specificati in DCB", static_cast<int>(code));
    EXPECT_STREQ(expected, p.errorText);

    // The port was closed again: a new open with good values succeeds at once.
    PortSerialv2 again;
    OpenLine(again, 9600, 8, 0, 0);
    EXPECT_NE(0, again.Close());
  }
}

TEST_F(SerialPort, OneAndAHalfStopBitsWithFiveDataBits) {
  PortSerialv2 p;
  OpenLine(p, 1200, 5, 0, 1);
  EXPECT_NE(std::string::npos, printer.LineSettings().find("speed 1200 baud"));
  p.Close();
}

TEST_F(SerialPort, NamesNotBeginningWithCapitalComAreUsedAsOpened) {
  {
    PortSerialv2 p;
    OpenLine(p, 19200, 8, 0, 0);
    p.Close();
  }
  // The lower-case name reaches the same device but gets no line settings: even
  // settings that would be refused is not applied, and the line keeps 19200 baud.
  std::string lower = port;
  for (char& c : lower) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  PortSerialv2 p;
  LineSettings lineSettings = MakeLineSettings(0, 3, 0, 0);
  ASSERT_TRUE(p.Open(lower.c_str(), lineSettings)) << p.errorText;
  EXPECT_STREQ(lower.c_str(), p.portName);
  EXPECT_NE(std::string::npos, printer.LineSettings().find("speed 19200 baud"));
  EXPECT_TRUE(p.Write("P1\n", 3));
  p.Close();
  EXPECT_EQ("P1\n", printer.Received(3));
}

TEST(SerialPortDevices, MissingDeviceGivesThePortText) {
  for (const char* name : {"COM250", "LPT9x", "COMX"}) {
    PortSerialv2 p;
    LineSettings lineSettings = MakeLineSettings(9600, 8, 0, 0);
    EXPECT_FALSE(p.Open(name, lineSettings));
    EXPECT_EQ(std::string("Eroare : Port ") + name + " inaccesibil", p.errorText);
    EXPECT_EQ(kInvalidDevice, p.handle);
    // Not mistaken for a busy port, which the services would retry.
    EXPECT_EQ(2ul, platform::LastSystemError()) << name;
  }
}

TEST(SerialPortDevices, AnyOtherNameIsAFileOpenedExclusively) {
  testsupport::TempDir dir;
  std::string path = dir.File("label-output.prn");
  testsupport::WriteFile(path, "");
  PortSerialv2 p;
  LineSettings lineSettings = MakeLineSettings(0, 0, 0, 0);
  ASSERT_TRUE(p.Open(path.c_str(), lineSettings)) << p.errorText;
  // The name is longer than portName holds: it is cut, never overrun.
  EXPECT_EQ(path.substr(0, 11), p.portName);

  PortSerialv2 second;
  EXPECT_FALSE(second.Open(path.c_str(), lineSettings));

  EXPECT_TRUE(p.Write("N\nP1\n", 5));
  EXPECT_NE(0, p.Close());
  EXPECT_EQ("N\nP1\n", testsupport::ReadFile(path));
}

}  // namespace
