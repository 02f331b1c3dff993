// tervane's [suffix] section and MAXTEXTLEN key.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "client/client_settings.h"

namespace {

void Load(const std::string& text, ClientSettings* settings) {
  ParseClientSettings(text, kTervaneSettingsRules, settings);
}

std::vector<std::string> Entries(const ClientSettings& s) {
  std::vector<std::string> out;
  for (const SuffixEntry* e = s.suffixFirst; e; e = e->next) out.push_back(std::string(e->key) + "=" + e->value);
  return out;
}

TEST(ClientSettingsSuffix, EveryLineUnderSuffixIsAnEntryInFileOrder) {
  const std::vector<std::string> lines = {
      "[suffix]", "ab=XY", "", "AB=ZZ", "noequals", "  cd = v w ", "[debug]", "DEBUGMODE=1",
      "[suffix]", "last=1", "[com]", "baudrate=300"};
  // The same lines whichever line end the file uses: each ends exactly one line.
  for (const char* end : {"\r\n", "\n", "\r"}) {
    std::string text;
    for (const std::string& line : lines) text += line + end;
    ClientSettings s;
    Load(text, &s);
    // The [suffix] header adds no entry, an empty line adds an empty one, the [debug]
    // line is an entry before [debug] takes over, [com] ends the section at once.
    EXPECT_EQ((std::vector<std::string>{"AB=XY", "=", "AB=ZZ", "NOEQUALS=", "CD =v w", "[DEBUG]=",
                                        "LAST=1"}),
              Entries(s));
    EXPECT_TRUE(s.debugMode);
    EXPECT_EQ(300, s.baudRate);
    ASSERT_NE(nullptr, s.suffixLast) << "line end " << int(end[0]);
    EXPECT_EQ(s.suffixLast->next, nullptr);
    EXPECT_STREQ("1", s.suffixLast->value);
  }
}

TEST(ClientSettingsSuffix, LookupIsExactAndTheFirstEntryWins) {
  ClientSettings s;
  Load("[suffix]\r\nab=XY\r\nAB=ZZ\r\nHEMA=-H\r\n", &s);
  EXPECT_STREQ("XY", FindSuffix(s, "AB"));
  EXPECT_STREQ("-H", FindSuffix(s, "HEMA"));
  EXPECT_STREQ("", FindSuffix(s, "ab"));  // keys are stored upper-cased
  EXPECT_STREQ("", FindSuffix(s, "HEM"));
  EXPECT_STREQ("", FindSuffix(s, "HEMAX"));
  ClientSettings none;
  EXPECT_STREQ("", FindSuffix(none, "AB"));
}

TEST(ClientSettingsSuffix, LongKeysAndValuesFitTheirFields) {
  ClientSettings s;
  Load("[suffix]\r\n" + std::string(250, 'k') + "=" + std::string(30, 'v') + "\r\n", &s);
  ASSERT_NE(nullptr, s.suffixFirst);
  EXPECT_EQ(std::string(250, 'K'), s.suffixFirst->key);
  EXPECT_EQ(std::string(19, 'v'), s.suffixFirst->value);  // cut, never spilled
}

TEST(ClientSettingsSuffix, MaxTextLen) {
  ClientSettings s;
  Load("[sizing]\r\nMAXTEXTLEN=18\r\n", &s);
  EXPECT_EQ(18, s.maxTextLen);
}

}  // namespace
