// Service settings: the paths beside the executable, the settings file reader with its
// quirks, ReadSettings with its defaults and log lines, and the log line itself.
#include <gtest/gtest.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <memory>
#include <regex>
#include <string>
#include <vector>

#include "platform/program_path.h"
#include "service/job_server.h"
#include "service/service_paths.h"
#include "tests/service/service_harness.h"
#include "tests/support/support.h"

namespace {

using servicetest::LogMessages;
using servicetest::SettingsText;
using testsupport::TempDir;
using testsupport::WriteFile;

// ---------------------------------------------------------------------------- paths

TEST(ServicePaths, SettingsAndLogLieBesideTheExecutableNamedAfterIt) {
  char settings[CJobServer::kPathSize], log[CJobServer::kPathSize];
#ifdef _WIN32
  DeriveServicePaths("C:\\Services\\Print.exe", settings, log, sizeof settings);
  EXPECT_STREQ("C:\\SERVICES\\PRINT.INI", settings);
  EXPECT_STREQ("C:\\SERVICES\\PRINT.LOG", log);
  // Every ".EXE" is replaced, wherever it stands; other characters only change case.
  DeriveServicePaths("d:\\x.exe.dir\\Koldane.Exe", settings, log, sizeof settings);
  EXPECT_STREQ("D:\\X.INI.DIR\\KOLDANE.INI", settings);
  EXPECT_STREQ("D:\\X.LOG.DIR\\KOLDANE.LOG", log);
#else
  // Case-sensitive names, programs without ".exe": the extension is appended.
  DeriveServicePaths("/opt/labels/Koldane", settings, log, sizeof settings);
  EXPECT_STREQ("/opt/labels/Koldane.INI", settings);
  EXPECT_STREQ("/opt/labels/Koldane.LOG", log);
  // A path with no room left for the extension names no file rather than another one.
  std::string longPath = "/" + std::string(CJobServer::kPathSize - 3, 'a');
  DeriveServicePaths(longPath.c_str(), settings, log, sizeof settings);
  EXPECT_STREQ("", settings);
  EXPECT_STREQ("", log);
#endif
}

TEST(ServicePaths, TheServiceStateDerivesItsPathsFromTheRunningProgram) {
  CJobServer server(JobGeneration::kKoldane);
  char self[CJobServer::kPathSize];
  platform::ExecutablePath(self, sizeof self);
  EXPECT_STREQ(self, server.ExecutablePath());
  char settings[CJobServer::kPathSize], log[CJobServer::kPathSize];
  DeriveServicePaths(self, settings, log, sizeof settings);
  EXPECT_STREQ(settings, server.SettingsPath());
  EXPECT_STREQ(log, server.LogPath());
  // Nothing is read or written before the start-up.
  EXPECT_EQ(0u, server.AcceptThreadId());
  EXPECT_STREQ("", server.Settings().printerName);
  EXPECT_EQ(nullptr, server.HandOffSlot());
  EXPECT_EQ(nullptr, server.ListeningSocket());
}

// ---------------------------------------------------------------------- INILoader

class SettingsFile : public ::testing::Test {
 protected:
  // Loads text as the settings file.
  bool Load(const std::string& text) {
    WriteFile(dir.File("s.ini"), text);
    return loader.Load(dir.File("s.ini").c_str());
  }
  // The value of key, or "<missing>".
  std::string Value(const char* key) {
    char out[INILoader::kValueSize];
    if (!loader.GetValue(out, key, sizeof out)) return "<missing>";
    return out;
  }

  TempDir dir;
  INILoader loader;
};

TEST_F(SettingsFile, LinesEndAtCarriageReturnsLineFeedsOrBoth) {
  ASSERT_TRUE(Load("a=1\rb=2\r\nc=3\nd=4\n\re=5\r\n\nf=6"));
  EXPECT_EQ("1", Value("a"));
  EXPECT_EQ("2", Value("b"));
  EXPECT_EQ("3", Value("c"));
  EXPECT_EQ("4", Value("d"));
  EXPECT_EQ("5", Value("e"));
  EXPECT_EQ("6", Value("f"));

  // Line feeds alone, as editors on Linux save the file.
  ASSERT_TRUE(Load("printerName=LabelRaw\nport=3\nbaudrate=4800\n"));
  EXPECT_EQ("LabelRaw", Value("printerName"));
  EXPECT_EQ("3", Value("port"));
  EXPECT_EQ("4800", Value("baudrate"));
}

TEST_F(SettingsFile, KeysAndValuesFollowTheirBlanksAndEqualsSigns) {
  ASSERT_TRUE(Load(SettingsText({"   lead=  x y  ", "printerName = Label1", "two=a=b",
                                 "noequals", "[settings]", ";comment=1"})));
  EXPECT_EQ("x y  ", Value("lead"));          // leading blanks dropped, trailing kept
  EXPECT_EQ("<missing>", Value("printerName"));  // the key is "printerName "
  EXPECT_EQ("Label1", Value("printerName "));
  EXPECT_EQ("a", Value("two"));               // the value ends at the next "="
  EXPECT_EQ("", Value("noequals"));           // present, with an empty value
  EXPECT_EQ("", Value("[settings]"));
  EXPECT_EQ("1", Value(";comment"));
}

TEST_F(SettingsFile, LookupIgnoresLetterCaseAndTheFirstOccurrenceCounts) {
  ASSERT_TRUE(Load(SettingsText({"BaudRate=4800", "baudrate=9600", "k\xc3\xa9y=1"})));
  EXPECT_EQ("4800", Value("BAUDRATE"));
  EXPECT_EQ("4800", Value("baudrate"));
  EXPECT_EQ("1", Value("K\xc3\xa9Y"));           // ASCII letters only change case
  EXPECT_EQ("<missing>", Value("K\xc3\x89Y"));
}

TEST_F(SettingsFile, EmptyLinesAreSkippedAndAZeroByteEndsTheText) {
  ASSERT_TRUE(Load(std::string("\r\n\r\na=1\r\r\nb=2\0c=3\r\n", 20)));
  EXPECT_EQ("1", Value("a"));
  EXPECT_EQ("2", Value("b"));
  EXPECT_EQ("<missing>", Value("c"));
}

TEST_F(SettingsFile, TheFirstOverLongLineEndsTheReading) {
  std::string longest = "k=" + std::string(1022, 'v');  // 1024 characters: still read
  ASSERT_TRUE(Load(SettingsText({"a=1", longest, "b=2"})));
  EXPECT_EQ(std::string(1022, 'v'), Value("k"));
  EXPECT_EQ("2", Value("b"));

  std::string tooLong = "k=" + std::string(1023, 'v');
  ASSERT_TRUE(Load(SettingsText({"a=1", tooLong, "b=2"})));
  EXPECT_EQ("1", Value("a"));  // entries before it stay
  EXPECT_EQ("<missing>", Value("k"));
  EXPECT_EQ("<missing>", Value("b"));

  // Lines ended by line feeds are measured one by one too.
  ASSERT_TRUE(Load("a=1\n" + longest + "\nb=2\n" + tooLong + "\nc=3\n"));
  EXPECT_EQ(std::string(1022, 'v'), Value("k"));
  EXPECT_EQ("2", Value("b"));
  EXPECT_EQ("<missing>", Value("c"));
}

TEST_F(SettingsFile, ValuesAreCutToTheCallersBufferAndLongKeysToTheirField) {
  std::string key(300, 'K');
  ASSERT_TRUE(Load(SettingsText({"v=" + std::string(500, 'x'), key + "=long key"})));
  char small[INILoader::kReadBufferSize];
  std::memset(small, '#', sizeof small);
  bool cut = false;
  ASSERT_TRUE(loader.GetValue(small, "v", sizeof small, &cut));
  EXPECT_TRUE(cut);
  EXPECT_EQ(std::string(259, 'x'), small);
  ASSERT_TRUE(loader.GetValue(small, "missing", sizeof small, &cut) == false);
  EXPECT_STREQ("", small);  // emptied even when nothing matches
  EXPECT_EQ("long key", Value(std::string(254, 'K').c_str()));
}

TEST_F(SettingsFile, AMissingFileFailsAndALaterLoadReplacesTheEntries) {
  EXPECT_FALSE(loader.Load(dir.File("none.ini").c_str()));
  // A folder of that name is no settings file (Linux opens it; reading it fails).
  std::filesystem::create_directory(dir.File("folder.ini"));
  EXPECT_FALSE(loader.Load(dir.File("folder.ini").c_str()));
  ASSERT_TRUE(Load(SettingsText({"a=1"})));
  ASSERT_TRUE(Load(SettingsText({"b=2"})));
  EXPECT_EQ("<missing>", Value("a"));
  EXPECT_EQ("2", Value("b"));
  // A failed load keeps what was read before.
  EXPECT_FALSE(loader.Load(dir.File("none.ini").c_str()));
  EXPECT_EQ("2", Value("b"));
}

// ------------------------------------------------------------------- ReadSettings

class ReadSettings : public ::testing::Test {
 protected:
  // A service state whose settings file holds text (none when text is null, a folder
  // in its place with asFolder); runs ReadSettings and returns the log's messages.
  std::vector<std::string> Read(const std::string* text, bool asFolder = false) {
    std::string program = dir.File("svc");
#ifdef _WIN32
    program += ".exe";
#endif
    JobServerOptions options;
    options.executablePath = program.c_str();
    server.reset(new CJobServer(JobGeneration::kKoldane, options));
    std::remove(server->LogPath());
    std::remove(server->SettingsPath());
    if (text) WriteFile(server->SettingsPath(), *text);
    if (asFolder) std::filesystem::create_directory(server->SettingsPath());
    EXPECT_TRUE(server->ReadSettings());
    // The settings' own lines, then who may print, always last (checked here once,
    // left out of what the cases compare).
    std::vector<std::string> messages = LogMessages(testsupport::ReadFile(server->LogPath()));
    EXPECT_FALSE(messages.empty());
    if (messages.empty()) return messages;
    policy = messages.back();
    EXPECT_EQ(0u, policy.find("allowFrom: ")) << policy;
    messages.pop_back();
    return messages;
  }
  std::vector<std::string> Read(const std::vector<std::string>& lines) {
    std::string text = SettingsText(lines);
    return Read(&text);
  }

  TempDir dir;
  std::unique_ptr<CJobServer> server;
  std::string policy;  // the start-up line of the last Read
};

// Who may print is stated at every start, so that a lost or mistyped key is seen.
TEST_F(ReadSettings, TheStartUpStatesWhoMayPrint) {
  struct Row {
    std::vector<std::string> lines;
    const char* policy;
  };
  const Row rows[] = {
      {{"port=5"}, "allowFrom: every address"},
      {{"printerName=Label1"}, "allowFrom: every address"},
      {{"alowFrom=10.0.0.0/8"}, "allowFrom: every address"},  // mistyped: open, and said so
      {{"allowFrom=nothing valid"}, "allowFrom: no address"},
      {{"allowFrom="}, "allowFrom: no address"},
      {{"allowFrom=10.20.0.0/16, 192.168.1.7,0.0.0.0/0"},
       "allowFrom: 10.20.0.0/16, 192.168.1.7, 0.0.0.0/0"},
      {{"printerName=Label1", "allowFrom=127.0.0.1"}, "allowFrom: 127.0.0.1"},
  };
  for (const Row& row : rows) {
    Read(row.lines);
    EXPECT_EQ(row.policy, policy) << row.lines.back();
  }
}

TEST_F(ReadSettings, WithoutASettingsFileEveryDefaultIsLogged) {
  // No file, and a folder with the file's name.
  for (bool asFolder : {false, true}) {
    testing::internal::CaptureStderr();
    std::vector<std::string> messages = Read(nullptr, asFolder);
    std::string said = testing::internal::GetCapturedStderr();
    // Standard error names the file and the system's reason.
    std::string reason = asFolder ? "" : std::strerror(ENOENT);
    EXPECT_EQ(0u, said.find(std::string("cannot read the settings file ") +
                            server->SettingsPath() + " (" + reason))
        << said;
    EXPECT_NE(std::string::npos, said.find("): the defaults apply\n")) << said;
    EXPECT_EQ(std::string::npos, said.find("()")) << said;
    std::vector<std::string> expected = {"Nu gasesc setarile initiale",
                                         "Port serial invalid\nImplicit com1",
                                         "BaudRate invalid\nImplicit 9600",
                                         "Parity invalid\nImplicit prNone",
                                         "Stopbits invalid\nImplicit ONESTOPBIT"};
    EXPECT_EQ(expected, messages) << asFolder;
    EXPECT_STREQ("com1", server->Settings().portName);
    EXPECT_STREQ("", server->Settings().printerName);
    EXPECT_EQ(9600, server->Settings().baudRate);
    EXPECT_EQ(8, server->Settings().dataBits);
    EXPECT_EQ(0, server->Settings().parityCode);
    EXPECT_EQ(0, server->Settings().stopBitsCode);
  }
}

TEST_F(ReadSettings, APrinterNameSelectsPrinterModeAndIsLogged) {
  for (const char* line : {"PRINTERNAME=Label1", "printername=Label1"}) {
    std::vector<std::string> messages = Read({line, "port=3", "baudrate=4800"});
    EXPECT_EQ(std::vector<std::string>{"Label1"}, messages) << line;
    EXPECT_STREQ("Label1", server->Settings().printerName);
    // The serial keys are not read at all.
    EXPECT_STREQ("", server->Settings().portName);
    EXPECT_EQ(0, server->Settings().baudRate);
  }
  // A blank before the equals sign hides the key: serial mode.
  Read({"printerName = Label1"});
  EXPECT_STREQ("", server->Settings().printerName);
  EXPECT_STREQ("com1", server->Settings().portName);
  // An empty value counts as found: no serial keys, no port name.
  std::vector<std::string> messages = Read({"printerName=", "port=3"});
  EXPECT_EQ(std::vector<std::string>{""}, messages);
  EXPECT_STREQ("", server->Settings().printerName);
  EXPECT_STREQ("", server->Settings().portName);
}

TEST_F(ReadSettings, SerialKeysGiveTheLineSettings) {
  std::vector<std::string> messages =
      Read({"port=3", "baudrate=19200", "databits=7", "parity=even", "stopbits=2",
            "baudrate=4800"});
  EXPECT_TRUE(messages.empty());
  EXPECT_STREQ("COM3", server->Settings().portName);
  EXPECT_EQ(19200, server->Settings().baudRate);  // the first of two lines counts
  EXPECT_EQ(7, server->Settings().dataBits);
  EXPECT_EQ(2, server->Settings().parityCode);
  EXPECT_EQ(2, server->Settings().stopBitsCode);

  Read({"port=COM3", "parity=EVEN", "stopbits=1.5"});
  EXPECT_STREQ("COM3", server->Settings().portName);
  EXPECT_EQ(2, server->Settings().parityCode);
  EXPECT_EQ(1, server->Settings().stopBitsCode);

  // port=0 is a name as written; unknown words and meaningless numbers pass silently.
  messages = Read({"port=0", "baudrate=fast", "parity=X", "stopbits=one"});
  EXPECT_TRUE(messages.empty());
  EXPECT_STREQ("0", server->Settings().portName);
  EXPECT_EQ(0, server->Settings().baudRate);
  EXPECT_EQ(8, server->Settings().dataBits);
  EXPECT_EQ(0, server->Settings().parityCode);
  EXPECT_EQ(0, server->Settings().stopBitsCode);

  Read({"port=/dev/lp0"});
  EXPECT_STREQ("/dev/lp0", server->Settings().portName);
}

TEST_F(ReadSettings, ValuesLongerThanTheirFieldsAreCutWithALineNamingTheKey) {
  std::string name(150, 'P');
  std::vector<std::string> messages = Read({"printerName=" + name});
  ASSERT_EQ(2u, messages.size());
  EXPECT_NE(std::string::npos, messages[0].find("'printerName'")) << messages[0];
  EXPECT_NE(std::string::npos, messages[0].find("101")) << messages[0];
  EXPECT_EQ(std::string(101, 'P'), messages[1]);
  EXPECT_EQ(std::string(101, 'P'), server->Settings().printerName);

  messages = Read({"port=123456789", "baudrate=9600", "parity=none", "stopbits=1"});
  ASSERT_EQ(1u, messages.size());
  EXPECT_NE(std::string::npos, messages[0].find("'port'")) << messages[0];
  EXPECT_STREQ("COM123456", server->Settings().portName);
  EXPECT_EQ(9600, server->Settings().baudRate);  // the fields after it are untouched

  // A value beyond the 259 characters of the reading buffer is cut there first.
  messages = Read({"printerName=" + std::string(400, 'Q')});
  ASSERT_EQ(3u, messages.size());
  EXPECT_NE(std::string::npos, messages[0].find("259")) << messages[0];
  EXPECT_NE(std::string::npos, messages[1].find("101")) << messages[1];
  EXPECT_EQ(std::string(101, 'Q'), server->Settings().printerName);
}

TEST_F(ReadSettings, ALineFeedOnlyFileReadsLineByLine) {
  std::string text = "printerName=LabelRaw\nport=5\n";
  EXPECT_EQ(std::vector<std::string>{"LabelRaw"}, Read(&text));
  EXPECT_STREQ("LabelRaw", server->Settings().printerName);

  text = "port=5\nbaudrate=4800\nparity=odd\nstopbits=2\n";
  EXPECT_TRUE(Read(&text).empty());
  EXPECT_STREQ("COM5", server->Settings().portName);
  EXPECT_EQ(4800, server->Settings().baudRate);
  EXPECT_EQ(1, server->Settings().parityCode);
  EXPECT_EQ(2, server->Settings().stopBitsCode);
}

// ---------------------------------------------------------------------------- log

TEST(ServiceLog, EachLineBeginsWithItsBreakAndATimeStamp) {
  TempDir dir;
  std::string program = dir.File("svc");
#ifdef _WIN32
  program += ".exe";
#endif
  JobServerOptions options;
  options.executablePath = program.c_str();
  CJobServer server(JobGeneration::kQuorvel, options);
  server.Log("first");
  server.Log("two\nlines");
  std::string log = testsupport::ReadFile(server.LogPath());
#ifdef _WIN32
  const std::string nl = "\r\n";  // text mode
#else
  const std::string nl = "\n";
#endif
  std::regex line(nl + "[0-9]{4}-[1-9][0-9]?-[1-9][0-9]? [0-9]{1,2}:[0-9]{1,2}:[0-9]{1,2} - ");
  std::string shape = std::regex_replace(log, line, "|");
  EXPECT_EQ("|first|two" + nl + "lines", shape) << log;
  // No leading zeros in the time stamp.
  EXPECT_FALSE(std::regex_search(log, std::regex(" 0[0-9]:|:0[0-9]")));

  // A line of any length is written whole (an exception text, a long path).
  const std::string longMessage(3000, 'x');
  server.Log(longMessage.c_str());
  EXPECT_EQ(longMessage, LogMessages(testsupport::ReadFile(server.LogPath())).back());

  // The file is opened per line: a log removed in between is simply started anew.
  std::remove(server.LogPath());
  server.Log("again");
  EXPECT_EQ(std::vector<std::string>{"again"},
            LogMessages(testsupport::ReadFile(server.LogPath())));
}

TEST(ServiceLog, ALogThatCannotBeOpenedLosesTheLineQuietly) {
  TempDir dir;
  std::string program = dir.File("svc");
#ifdef _WIN32
  program += ".exe";
#endif
  JobServerOptions options;
  options.executablePath = program.c_str();
  CJobServer server(JobGeneration::kKoldane, options);
  // A folder in the log's place cannot be opened for appending, whoever runs the test.
  std::filesystem::create_directory(server.LogPath());
  server.Log("lost");
  EXPECT_TRUE(server.ReadSettings());
  EXPECT_STREQ("com1", server.Settings().portName);
}

}  // namespace
