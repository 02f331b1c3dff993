// tervane-b's settings file: no MAXTEXTLEN key and no [suffix] section.
#include <gtest/gtest.h>

#include <string>

#include "client/client_settings.h"

namespace {

void Load(const std::string& text, ClientSettings* settings) {
  ParseClientSettings(text, kTervaneBSettingsRules, settings);
}

TEST(ClientSettingsDialectB, SuffixIsNoHeader) {
  ClientSettings s;
  Load("[destination]\r\n[suffix]\r\nADDRESS=10.1.2.3\r\nab=XY\r\n[sizing]\r\nMAXTEXTLEN=18\r\n", &s);
  EXPECT_STREQ("10.1.2.3", s.address);
  EXPECT_EQ(nullptr, s.suffixFirst);
  EXPECT_EQ(0, s.maxTextLen);
}

TEST(ClientSettingsDialectB, DebugAfterSuffixIsAHeader) {
  ClientSettings s;
  Load("[com]\r\n[suffix]\r\nbaudrate=300\r\n[debug]\r\nDEBUGMODE=1\r\n", &s);
  EXPECT_EQ(300, s.baudRate);
  EXPECT_TRUE(s.debugMode);
  EXPECT_EQ(nullptr, s.suffixFirst);
}

}  // namespace
