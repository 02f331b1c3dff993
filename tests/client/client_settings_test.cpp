// The barcode.ini reader on crafted texts, and the file on disk. The cases here hold for
// the settings rules of both builds, and each runs once per build.
#include "client/client_settings.h"
#include "client/client_settings_file.h"

#include <gtest/gtest.h>

#include <climits>
#include <filesystem>
#include <string>

#include "client/client_build.h"
#include "tests/support/support.h"

namespace {

using testsupport::TempDir;

class ClientSettingsFile : public ::testing::TestWithParam<const ClientBuild*> {
 protected:
  const SettingsRules& Rules() const { return GetParam()->settings; }

  // Reads text as barcode.ini into settings.
  void Load(const std::string& text, ClientSettings* settings) { ParseClientSettings(text, Rules(), settings); }
};

TEST_P(ClientSettingsFile, BuiltInDefaultsAndEmptyFile) {
  ClientSettings s;
  Load("", &s);
  EXPECT_STREQ("COM1", s.portName);
  EXPECT_EQ(9600, s.baudRate);
  EXPECT_EQ(8, s.dataBits);
  EXPECT_EQ(0, s.parityCode);
  EXPECT_EQ(0, s.stopBitsCode);
  EXPECT_EQ(0, s.biochimieMoveLeft);
  EXPECT_EQ(0, s.coagulareMoveLeft);
  EXPECT_EQ(0, s.hematologieMoveLeft);
  EXPECT_STREQ("", s.address);
  EXPECT_EQ(0, s.netPort);
  EXPECT_EQ(80, s.barcodeFontSize);
  EXPECT_FALSE(s.debugMode);
  EXPECT_FALSE(s.printDomainName);
  EXPECT_FALSE(s.hexText);
  EXPECT_EQ('0', s.pageCode);
  EXPECT_EQ(nullptr, s.suffixFirst);
}

TEST_P(ClientSettingsFile, DefaultFileBytesAndReadBack) {
  TempDir dir;
  std::string path = dir.File("barcode.ini");
  WriteDefaultClientSettings(path.c_str());
  EXPECT_EQ(
      "[com]\r\nport=1\r\nbaudrate=9600\r\ndatabits=8\r\nparity=prNone\r\nstopbits=sbOneStopBit\r\n"
      "[sizing]\r\nBiochimieMoveLeft=80\r\nCoagulareMoveLeft=80\r\nHematologieMoveLeft=80\r\n"
      "BARCODEFONTSIZE=80\r\n",
      testsupport::ReadFile(path));
  ClientSettings s;
  s.parityCode = 3;  // the words of the default file must be understood
  s.stopBitsCode = 2;
  ASSERT_TRUE(LoadClientSettings(path.c_str(), Rules(), &s));
  EXPECT_STREQ("COM1", s.portName);
  EXPECT_EQ(9600, s.baudRate);
  EXPECT_EQ(8, s.dataBits);
  EXPECT_EQ(0, s.parityCode);
  EXPECT_EQ(0, s.stopBitsCode);
  EXPECT_EQ(80, s.biochimieMoveLeft);
  EXPECT_EQ(80, s.coagulareMoveLeft);
  EXPECT_EQ(80, s.hematologieMoveLeft);
  EXPECT_EQ(80, s.barcodeFontSize);
  EXPECT_STREQ("", s.address);

  // A file that is there is never written over.
  testsupport::WriteFile(path, "[com]\r\nport=7\r\n");
  WriteDefaultClientSettings(path.c_str());
  EXPECT_EQ("[com]\r\nport=7\r\n", testsupport::ReadFile(path));
}

TEST_P(ClientSettingsFile, LineEnds) {
  {
    ClientSettings s;  // carriage returns alone end lines
    Load("[com]\rbaudrate=4800\r[destination]\raddress=10.0.0.7\rnetport=104", &s);
    EXPECT_EQ(4800, s.baudRate);
    EXPECT_STREQ("10.0.0.7", s.address);
    EXPECT_EQ(104, s.netPort);
  }
  {
    ClientSettings s;  // line feeds alone too, as editors on Linux save the file
    Load("[com]\nbaudrate=4800\n[destination]\naddress=10.0.0.8\nnetport=104\n[debug]\nDEBUGMODE=1", &s);
    EXPECT_EQ(4800, s.baudRate);
    EXPECT_STREQ("10.0.0.8", s.address);
    EXPECT_EQ(104, s.netPort);
    EXPECT_TRUE(s.debugMode);
  }
  {
    ClientSettings s;  // all three line ends in one file, and empty lines
    Load("[com]\r\nbaudrate=2400\nDATABITS=7\rPORT=5\n\r[destination]\n\naddress=h\r\n", &s);
    EXPECT_EQ(2400, s.baudRate);
    EXPECT_EQ(7, s.dataBits);
    EXPECT_STREQ("COM5", s.portName);
    EXPECT_STREQ("h", s.address);
  }
  {
    ClientSettings s;  // CR CR LF: the second CR ends an empty line, the LF is skipped
    Load("[com]\r\r\nbaudrate=1200\r\n", &s);
    EXPECT_EQ(1200, s.baudRate);
  }
  {
    ClientSettings s;  // a zero byte ends the text
    Load(std::string("[com]\r\nbaudrate=1200\r\n\0databits=7\r\n", 35), &s);
    EXPECT_EQ(1200, s.baudRate);
    EXPECT_EQ(8, s.dataBits);
  }
}

TEST_P(ClientSettingsFile, OverLongLineEndsReading) {
  const std::string line300 = "[com]" + std::string(295, ' ');  // trimmed to [com]
  {
    ClientSettings s;
    Load("[sizing]\r\n" + line300 + "\r\nbaudrate=300\r\n", &s);
    EXPECT_EQ(300, s.baudRate);
  }
  {
    ClientSettings s;  // 301 characters: this line and every later one are ignored
    Load("[com]\r\ndatabits=7\r\n" + line300 + " \r\nbaudrate=300\r\n", &s);
    EXPECT_EQ(7, s.dataBits);
    EXPECT_EQ(9600, s.baudRate);
  }
  {
    ClientSettings s;  // the last line without a line end may hold 299 characters
    std::string last = "baudrate=300" + std::string(287, ' ');
    Load("[com]\r\n" + last, &s);
    EXPECT_EQ(300, s.baudRate);
  }
  {
    ClientSettings s;
    std::string last = "baudrate=300" + std::string(288, ' ');
    Load("[com]\r\n" + last, &s);
    EXPECT_EQ(9600, s.baudRate);
  }
  {
    ClientSettings s;  // lines ended by a line feed count alone: 300 characters pass
    std::string text = "[com]\n";
    for (int i = 0; i < 40; ++i) text += "baudrate=300\n";
    Load(text + line300 + "\ndatabits=7\n", &s);
    EXPECT_EQ(300, s.baudRate);
    EXPECT_EQ(7, s.dataBits);
  }
  {
    ClientSettings s;  // ...and 301 end the reading
    Load("[com]\ndatabits=7\n" + line300 + " \nbaudrate=300\n", &s);
    EXPECT_EQ(7, s.dataBits);
    EXPECT_EQ(9600, s.baudRate);
  }
}

TEST_P(ClientSettingsFile, PortNames) {
  struct Case {
    const char* line;
    const char* port;
  } cases[] = {
      {"port=3", "COM3"},
      {"port=12", "COM12"},
      {"port=COM10", "COM10"},
      {"port=LPT1", "LPT1"},
      {"port=", "COM"},
      {"Port = 2", "COM1"},  // the key is "PORT " and matches nothing
      {"Port= 2", "COM2"},   // leading blanks of the value are dropped
      {"PORT=/dev/ttyUSB0123456789", "/dev/ttyUSB"},  // cut to the 11-character field
      {"  port=5", "COM5"},  // leading blanks of the key are dropped too
  };
  for (const Case& c : cases) {
    ClientSettings s;
    Load(std::string("[com]\r\n") + c.line + "\r\n", &s);
    EXPECT_STREQ(c.port, s.portName) << c.line;
  }
}

TEST_P(ClientSettingsFile, ParityAndStopBitWords) {
  ClientSettings s;
  Load("[com]\r\nparity=space\r\nstopbits=1.5\r\n", &s);
  EXPECT_EQ(4, s.parityCode);
  EXPECT_EQ(1, s.stopBitsCode);
  // Unknown words keep the code of the earlier line.
  Load("[com]\r\nparity=Even\r\nparity=SPACE PARITY\r\nstopbits=2\r\nstopbits=one\r\n", &s);
  EXPECT_EQ(2, s.parityCode);
  EXPECT_EQ(2, s.stopBitsCode);
}

TEST_P(ClientSettingsFile, DebugModeAndPrintDomainNameAreExactlyOne) {
  struct Case {
    const char* value;
    bool on;
  } cases[] = {{"1", true}, {"yes", false}, {"01", false}, {"1 ", true}, {"11", false}, {"", false}};
  for (const Case& c : cases) {
    ClientSettings s;
    Load(std::string("[sizing]\r\nPRINTDOMAINNAME=") + c.value + "\r\n[debug]\r\nDEBUGMODE=" + c.value,
         &s);
    EXPECT_EQ(c.on, s.debugMode) << c.value;
    EXPECT_EQ(c.on, s.printDomainName) << c.value;
  }
  ClientSettings s;  // a key that occurs twice takes the later value
  Load("[debug]\r\ndebugmode=1\r\nDebugMode=0\r\n", &s);
  EXPECT_FALSE(s.debugMode);
}

TEST_P(ClientSettingsFile, SectionHeaders) {
  {
    ClientSettings s;  // lines before the first header belong to no section
    Load("baudrate=300\r\nDEBUGMODE=1\r\n[com]\r\ndatabits=7\r\n", &s);
    EXPECT_EQ(9600, s.baudRate);
    EXPECT_FALSE(s.debugMode);
    EXPECT_EQ(7, s.dataBits);
  }
  {
    ClientSettings s;  // [COM] and an indented header are not headers
    Load("[sizing]\r\n[COM]\r\nbaudrate=300\r\nBARCODEFONTSIZE=60\r\n [com]\r\ndatabits=7\r\n", &s);
    EXPECT_EQ(9600, s.baudRate);
    EXPECT_EQ(8, s.dataBits);
    EXPECT_EQ(60, s.barcodeFontSize);
  }
  {
    ClientSettings s;  // an unknown header does not end [destination]
    Load("[destination]\r\n[Destination]\r\nNETPORT=104\r\n", &s);
    EXPECT_EQ(104, s.netPort);
  }
  {
    ClientSettings s;  // trailing blanks of a header are removed; keys belong to their section
    Load("[destination]   \r\nbaudrate=300\r\naddress=printhost\r\n[com]  \r\naddress=x\r\n", &s);
    EXPECT_EQ(9600, s.baudRate);
    EXPECT_STREQ("printhost", s.address);
  }
}

TEST_P(ClientSettingsFile, ValuesAtTheHundredCharacterEdge) {
  const std::string v99(99, 'h');
  {
    ClientSettings s;
    Load("[destination]\r\naddress=" + v99 + "\r\n", &s);
    EXPECT_EQ(v99, s.address);
  }
  {
    ClientSettings s;  // the same as the last line of a file without a line end
    Load("[destination]\r\naddress=" + v99, &s);
    EXPECT_EQ(v99, s.address);
  }
  {
    ClientSettings s;  // 100 characters read as empty: the earlier value is replaced by ""
    Load("[destination]\r\naddress=first\r\naddress=" + v99 + "h\r\n", &s);
    EXPECT_STREQ("", s.address);
  }
  {
    ClientSettings s;  // a long line without "=" is a key that matches nothing
    Load("[destination]\r\n" + std::string(299, 'A') + "\r\naddress=ok\r\n", &s);
    EXPECT_STREQ("ok", s.address);
  }
}

TEST_P(ClientSettingsFile, DecimalValues) {
  ClientSettings s;
  Load(
      "[sizing]\r\nBIOCHIMIEMOVELEFT=-20\r\nCOAGULAREMOVELEFT=  15px\r\nHEMATOLOGIEMOVELEFT=x\r\n"
      "BARCODEFONTSIZE=99999999999\r\n[destination]\r\nNETPORT=-99999999999\r\n",
      &s);
  EXPECT_EQ(-20, s.biochimieMoveLeft);
  EXPECT_EQ(15, s.coagulareMoveLeft);
  EXPECT_EQ(0, s.hematologieMoveLeft);
  EXPECT_EQ(INT_MAX, s.barcodeFontSize);
  EXPECT_EQ(INT_MIN, s.netPort);

  EXPECT_EQ(-1, ParseDecimal("\t -1z"));
  EXPECT_EQ(7, ParseDecimal("+7"));
  EXPECT_EQ(0, ParseDecimal("+ 7"));
  EXPECT_EQ(INT_MIN, ParseDecimal("-2147483648"));
  EXPECT_EQ(INT_MAX, ParseDecimal("2147483648"));
  EXPECT_EQ(INT_MAX, ParseDecimal("000000000000000000000000002147483647"));
}

TEST_P(ClientSettingsFile, PageCode) {
  ClientSettings s;
  Load("[sizing]\r\nPAGECODE=850\r\n", &s);
  EXPECT_EQ('8', s.pageCode);
  // An empty value keeps the page code: a zero byte would end the label job.
  Load("[sizing]\r\nPAGECODE=\r\n", &s);
  EXPECT_EQ('8', s.pageCode);
}

TEST_P(ClientSettingsFile, MissingFileLeavesTheRecordUntouched) {
  TempDir dir;
  ClientSettings s;
  s.baudRate = 1234;
  EXPECT_FALSE(LoadClientSettings(dir.File("barcode.ini").c_str(), Rules(), &s));
  EXPECT_EQ(1234, s.baudRate);
  EXPECT_FALSE(testsupport::FileExists(dir.File("barcode.ini")));
  // A folder of that name cannot be opened as the file either (Linux opens it, and
  // only reading it fails).
  std::filesystem::create_directory(dir.File("barcode.ini"));
  EXPECT_FALSE(LoadClientSettings(dir.File("barcode.ini").c_str(), Rules(), &s));
  EXPECT_EQ(1234, s.baudRate);
}

INSTANTIATE_TEST_SUITE_P(Builds, ClientSettingsFile, ::testing::Values(&kTervaneBuild, &kTervaneBBuild),
                         [](const ::testing::TestParamInfo<const ClientBuild*>& info) {
                           return std::string(info.param == &kTervaneBuild ? "tervane" : "tervane_b");
                         });

}  // namespace
