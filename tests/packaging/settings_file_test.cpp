// The settings files the Windows installer writes from msiexec properties, read back by
// the client's and the services' own loaders.
#include <gtest/gtest.h>

#include <string>

#include "client/client_settings_file.h"
#include "packaging/windows/settings_file.h"
#include "service/ini_loader.h"
#include "tests/support/support.h"

namespace {

using settingsfile::Apply;
using settingsfile::Kind;
using settingsfile::Settings;

const char kDefaultClient[] =
    "[com]\r\nport=1\r\nbaudrate=9600\r\ndatabits=8\r\nparity=prNone\r\nstopbits=sbOneStopBit\r\n"
    "[sizing]\r\nBiochimieMoveLeft=80\r\nCoagulareMoveLeft=80\r\nHematologieMoveLeft=80\r\n"
    "BARCODEFONTSIZE=80\r\n";

std::string Applied(Kind kind, std::string text, const Settings& settings) {
  std::string error;
  EXPECT_TRUE(Apply(kind, settings, &text, &error)) << error;
  return text;
}

// The default file the client writes, with a rollout's properties: the serial keys
// change in place, [destination] is added, and the client reads what was asked.
TEST(SettingsWriter, ClientDefaultsWithPropertiesAreReadByTheClient) {
  testsupport::TempDir dir;
  std::string path = dir.File("barcode.ini");
  WriteDefaultClientSettings(path.c_str());
  ASSERT_EQ(kDefaultClient, testsupport::ReadFile(path));
  std::string text = Applied(Kind::kClient, kDefaultClient,
                             {{"ADDRESS", "10.1.2.3"}, {"NETPORT", "104"}, {"PORT", "COM3"},
                              {"BAUDRATE", ""}, {"PARITY", "even"}, {"STOPBITS", "2"}});
  EXPECT_EQ(
      "[com]\r\nport=COM3\r\nbaudrate=9600\r\ndatabits=8\r\nparity=even\r\nstopbits=2\r\n"
      "[sizing]\r\nBiochimieMoveLeft=80\r\nCoagulareMoveLeft=80\r\nHematologieMoveLeft=80\r\n"
      "BARCODEFONTSIZE=80\r\n[destination]\r\nADDRESS=10.1.2.3\r\nNETPORT=104\r\n",
      text);
  testsupport::WriteFile(path, text);
  ClientSettings settings;
  ASSERT_TRUE(LoadClientSettings(path.c_str(), kTervaneSettingsRules, &settings));
  EXPECT_STREQ("10.1.2.3", settings.address);
  EXPECT_EQ(104, settings.netPort);
  EXPECT_STREQ("COM3", settings.portName);
  EXPECT_EQ(2, settings.parityCode);
  EXPECT_EQ(2, settings.stopBitsCode);
  EXPECT_EQ(80, settings.biochimieMoveLeft);
  // Without properties the file stays byte for byte the client's own.
  EXPECT_EQ(kDefaultClient, Applied(Kind::kClient, kDefaultClient, {{"ADDRESS", " "}, {"PORT", ""}}));
}

// Tuned label positions rolled out as properties: each reaches the client's settings.
TEST(SettingsWriter, SizingAndDebugPropertiesAreReadByTheClient) {
  testsupport::TempDir dir;
  std::string path = dir.File("barcode.ini");
  std::string text = Applied(Kind::kClient, kDefaultClient,
                             {{"BIOCHIMIEMOVELEFT", "60"}, {"COAGULAREMOVELEFT", "-8"},
                              {"HEMATOLOGIEMOVELEFT", "0"}, {"BARCODEFONTSIZE", "70"},
                              {"PRINTDOMAINNAME", "1"}, {"PAGECODE", "8"}, {"MAXTEXTLEN", "30"},
                              {"DEBUGMODE", "1"}});
  EXPECT_EQ(
      "[com]\r\nport=1\r\nbaudrate=9600\r\ndatabits=8\r\nparity=prNone\r\nstopbits=sbOneStopBit\r\n"
      "[sizing]\r\nBiochimieMoveLeft=60\r\nCoagulareMoveLeft=-8\r\nHematologieMoveLeft=0\r\n"
      "BARCODEFONTSIZE=70\r\nPRINTDOMAINNAME=1\r\nPAGECODE=8\r\nMAXTEXTLEN=30\r\n[debug]\r\nDEBUGMODE=1\r\n",
      text);
  std::string error;
  EXPECT_TRUE(settingsfile::CheckClientFile(text, &error)) << error;
  testsupport::WriteFile(path, text);
  ClientSettings settings;
  ASSERT_TRUE(LoadClientSettings(path.c_str(), kTervaneSettingsRules, &settings));
  EXPECT_EQ(60, settings.biochimieMoveLeft);
  EXPECT_EQ(-8, settings.coagulareMoveLeft);
  EXPECT_EQ(0, settings.hematologieMoveLeft);
  EXPECT_EQ(70, settings.barcodeFontSize);
  EXPECT_TRUE(settings.printDomainName);
  EXPECT_EQ('8', settings.pageCode);
  EXPECT_EQ(30, settings.maxTextLen);
  EXPECT_TRUE(settings.debugMode);
}

// A whole tuned barcode.ini is installed only when the client reads every line of it
// as written.
TEST(SettingsWriter, TunedFileCheckedAsTheClientReadsIt) {
  struct Case {
    std::string text;
    const char* fault;  // nullptr: accepted
  };
  const std::string line300 = "[suffix]\r\n" + std::string(300, 'K') + "\r\n";
  const Case cases[] = {
      {kDefaultClient, nullptr},
      {"[destination]\r\nADDRESS=\r\n[suffix]\r\nHBA1C=%\r\n\r\n[debug]\r\nDEBUGMODE=0", nullptr},
      {line300, nullptr},
      {"[suffix]\r\nHBA1C=" + std::string(19, 's') + "\r\n[destination]\r\nADDRESS=" + std::string(99, 'a'),
       nullptr},
      {"", "is empty"},
      {"[sizing]\nBiochimieMoveLeft=60\n", "line feed alone"},
      {"[suffix]\r\n" + std::string(301, 'K') + "\r\n[sizing]\r\n", "line 2 is longer than the 300"},
      {"[suffix]\r\n" + std::string(300, 'K'), "line 2 is longer than the 300"},  // no line end: 299
      {"BiochimieMoveLeft=60\r\n[sizing]\r\n", "line 1 lies before the first section"},
      {"[sizing]\r\nBiochimieMoveLeftt=60\r\n", "\"BiochimieMoveLeftt\" is no key the client reads in [sizing]"},
      {"[sizing]\r\nBiochimieMoveLeft =60\r\n", "\"BiochimieMoveLeft \" is no key"},
      {"[com]\r\nBiochimieMoveLeft=60\r\n", "is no key the client reads in [com]"},
      {"[Sizing]\r\nBiochimieMoveLeft=60\r\n", "line 1 lies before the first section"},
      {"[sizing]\r\nBARCODEFONTSIZE=8O\r\n", "line 2: BARCODEFONTSIZE=8O: the value is no positive"},
      {"[sizing]\r\nBARCODEFONTSIZE=\r\n", "the value is empty"},
      {"[destination]\r\nADDRESS=" + std::string(100, 'a') + "\r\n", "100 characters or more"},
      {"[suffix]\r\nHBA1C=" + std::string(20, 's') + "\r\n", "longer than the 19"},
      {std::string("[debug]\r\nDEBUGMODE=1\0\r\n", 22), "zero byte"},
  };
  for (const Case& c : cases) {
    std::string error;
    EXPECT_EQ(c.fault == nullptr, settingsfile::CheckClientFile(c.text, &error)) << c.text;
    if (c.fault) {
      EXPECT_NE(std::string::npos, error.find(c.fault)) << error;
    }
  }
}

// A file tuned by hand: every line of the key gets the value (whichever one a reader
// takes), a new key goes to the end of its own section, before the next one, and other
// lines and their line ends stay.
TEST(SettingsWriter, TunedClientFileKeepsItsLines) {
  std::string tuned =
      "[destination]\nAddress=old\r\n[sizing]\r\nBARCODEFONTSIZE=60\r\n\r\n"
      "[destination]\r\n  address = kept\r\nADDRESS=older\r\n\r\n[debug]\r\nDEBUGMODE=1";
  EXPECT_EQ(
      "[destination]\nAddress=new\r\n[sizing]\r\nBARCODEFONTSIZE=60\r\n\r\n"
      "[destination]\r\n  address = kept\r\nADDRESS=new\r\nNETPORT=9104\r\n\r\n[debug]\r\nDEBUGMODE=1"
      "\r\n[com]\r\nport=2\r\n",
      Applied(Kind::kClient, tuned, {{"address", "new"}, {"NETPORT", "9104"}, {"PORT", "2"}}));
}

// A service file: the printer queue, the allow list; serial settings without a printer
// drop printerName, which the service would otherwise prefer.
TEST(SettingsWriter, ServiceFileIsReadByTheService) {
  testsupport::TempDir dir;
  std::string path = dir.File("KOLDANE.INI");
  std::string text =
      Applied(Kind::kService, settingsfile::kDefaultServiceSettings,
              {{"PRINTERNAME", "Zebra LP 2844"}, {"ALLOWFROM", "10.1.2.0/24, 10.1.3.7"}});
  EXPECT_EQ(
      "port=com1\r\nbaudrate=9600\r\ndatabits=8\r\nparity=prNone\r\nstopbits=sbOneStopBit\r\n"
      "printerName=Zebra LP 2844\r\nallowFrom=10.1.2.0/24, 10.1.3.7\r\n",
      text);
  testsupport::WriteFile(path, text);
  INILoader loader;
  ASSERT_TRUE(loader.Load(path.c_str()));
  char value[INILoader::kReadBufferSize];
  ASSERT_TRUE(loader.GetValue(value, "printerName"));
  EXPECT_STREQ("Zebra LP 2844", value);

  text = Applied(Kind::kService, text, {{"port", "COM4"}, {"printerName", ""}});
  EXPECT_EQ(
      "port=COM4\r\nbaudrate=9600\r\ndatabits=8\r\nparity=prNone\r\nstopbits=sbOneStopBit\r\n"
      "allowFrom=10.1.2.0/24, 10.1.3.7\r\n",
      text);
}

// Values a program would read otherwise than given are refused with the reason, and
// the text is left as it was.
TEST(SettingsWriter, RefusedValues) {
  struct Case {
    Kind kind;
    const char* key;
    const char* value;
    const char* reason;
  };
  const std::string longAddress(100, 'a');
  const Case cases[] = {
      {Kind::kClient, "SERVER", "x", "unknown setting SERVER"},
      {Kind::kClient, "ADDRESS", "10.1.2.3 x", "no address"},
      {Kind::kClient, "ADDRESS", longAddress.c_str(), "longer than the 99"},
      {Kind::kClient, "NETPORT", "65536", "1 to 65535"},
      {Kind::kClient, "NETPORT", "104x", "1 to 65535"},
      {Kind::kClient, "BAUDRATE", "9999999999", "positive decimal"},  // beyond a 32-bit long
      {Kind::kClient, "PORT", "\\\\.\\COM10xyz", "longer than the 11"},
      {Kind::kClient, "BAUDRATE", "fast", "positive decimal"},
      {Kind::kClient, "DATABITS", "9", "5, 6, 7 or 8"},
      {Kind::kClient, "PARITY", "evenly", "parity word"},
      {Kind::kClient, "STOPBITS", "one", "stop-bit word"},
      {Kind::kClient, "BiochimieMoveLeft", "6O", "no decimal number"},
      {Kind::kClient, "HematologieMoveLeft", "--5", "no decimal number"},
      {Kind::kClient, "BARCODEFONTSIZE", "0", "positive decimal"},
      {Kind::kClient, "MAXTEXTLEN", "-1", "0 or more"},
      {Kind::kClient, "DEBUGMODE", "yes", "not 0 or 1"},
      {Kind::kClient, "PAGECODE", "12", "longer than the 1"},
      {Kind::kService, "allowFrom", "10.1.2.0/24,10.1.2.10/24", "IPv4 addresses"},
      {Kind::kService, "printerName", "a=b", "holds \"=\""},
      {Kind::kService, "printerName", "Label\tQueue", "control character"},
      {Kind::kService, "port", "1234567", "longer than the 9"},
      {Kind::kService, "ADDRESS", "10.1.2.3", "unknown setting ADDRESS"},
  };
  for (const Case& c : cases) {
    std::string text = "keep\r\n";
    std::string error;
    EXPECT_FALSE(Apply(c.kind, {{"PORT", "3"}, {c.key, c.value}}, &text, &error)) << c.key << "=" << c.value;
    EXPECT_NE(std::string::npos, error.find(c.reason)) << error;
    EXPECT_EQ("keep\r\n", text);
  }
}

}  // namespace
