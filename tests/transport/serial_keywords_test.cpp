// The parity and stop-bit keyword table, the line settings and the name Windows opens a
// port by: pure logic, the same on every system.
#include <gtest/gtest.h>

#include <cstring>

#include "transport/serial_port.h"

namespace {

struct Word {
  const char* value;
  bool matches;
  int code;            // code after the call (starting from 9 for non-matches)
  const char* stored;  // the value after upper-casing in place
};

TEST(SerialKeywords, ParityWordsUpperCasedInPlaceAndMatchedWhole) {
  const Word words[] = {
      {"prNone", true, 0, "PRNONE"},       {"none", true, 0, "NONE"},
      {"NoParity", true, 0, "NOPARITY"},   {"even", true, 2, "EVEN"},
      {"prEven", true, 2, "PREVEN"},       {"EvenParity", true, 2, "EVENPARITY"},
      {"odd", true, 1, "ODD"},             {"prOdd", true, 1, "PRODD"},
      {"oddparity", true, 1, "ODDPARITY"}, {"mark", true, 3, "MARK"},
      {"PRMARK", true, 3, "PRMARK"},       {"markParity", true, 3, "MARKPARITY"},
      {"space", true, 4, "SPACE"},         {"prSpace", true, 4, "PRSPACE"},
      {"SpaceParity", true, 4, "SPACEPARITY"},
      // Whole-string comparison: inner or trailing blanks and partial words match nothing.
      {"SPACE PARITY", false, 9, "SPACE PARITY"}, {"even ", false, 9, "EVEN "},
      {"ev", false, 9, "EV"},              {"", false, 9, ""},
      // Only ASCII a-z change; other bytes stay as they are.
      {"\xe9ven", false, 9, "\xe9VEN"},    {"1", false, 9, "1"},
  };
  for (const Word& w : words) {
    char value[32];
    std::strcpy(value, w.value);
    int code = 9;
    EXPECT_EQ(w.matches, ParityCodeFromWord(value, &code)) << w.value;
    EXPECT_EQ(w.code, code) << w.value;
    EXPECT_STREQ(w.stored, value) << w.value;
  }
}

TEST(SerialKeywords, StopBitWords) {
  const Word words[] = {
      {"sbOneStopBit", true, 0, "SBONESTOPBIT"}, {"onestopbit", true, 0, "ONESTOPBIT"},
      {"1", true, 0, "1"},                       {"sbOne5StopBits", true, 1, "SBONE5STOPBITS"},
      {"one5stopbits", true, 1, "ONE5STOPBITS"}, {"1.5", true, 1, "1.5"},
      {"sbTwoStopBits", true, 2, "SBTWOSTOPBITS"}, {"TwoStopBits", true, 2, "TWOSTOPBITS"},
      {"2", true, 2, "2"},
      {"one", false, 9, "ONE"},                  {"1,5", false, 9, "1,5"},
      {"two", false, 9, "TWO"},                  {"0", false, 9, "0"},
      {" 2", false, 9, " 2"},
  };
  for (const Word& w : words) {
    char value[32];
    std::strcpy(value, w.value);
    int code = 9;
    EXPECT_EQ(w.matches, StopBitsCodeFromWord(value, &code)) << w.value;
    EXPECT_EQ(w.code, code) << w.value;
    EXPECT_STREQ(w.stored, value) << w.value;
  }
}

TEST(SerialKeywords, NullValueMatchesNothing) {
  int code = 7;
  EXPECT_FALSE(ParityCodeFromWord(nullptr, &code));
  EXPECT_FALSE(StopBitsCodeFromWord(nullptr, &code));
  EXPECT_EQ(7, code);
}

TEST(LineSettings, EachValueTakesItsWidthOfTheArgument) {
  // Every argument carries bits above its field's width; only the field's bits stay.
  LineSettings line = MakeLineSettings(/*baudRate*/ 0x12345678, /*dataBits*/ 0x1207,
                                       /*parityCode*/ 0x302, /*stopBitsCode*/ 0x401);
  EXPECT_EQ(0x12345678u, line.baudRate);
  EXPECT_EQ(7, line.dataBits);
  EXPECT_EQ(2, line.parityCode);
  EXPECT_EQ(1, line.stopBitsCode);

  // A baud rate or data-bit count is not checked here: whatever the settings gave goes in.
  line = MakeLineSettings(0, 300, 4, 2);
  EXPECT_EQ(0u, line.baudRate);
  EXPECT_EQ(300 & 0xFF, line.dataBits);
  EXPECT_EQ(4, line.parityCode);
  EXPECT_EQ(2, line.stopBitsCode);
}

TEST(WindowsDeviceName, PortsAboveComNineOpenByTheirDeviceName) {
  struct Row {
    const char* name;
    const char* opened;
  } rows[] = {
      {"COM1", "COM1"},          {"COM9", "COM9"},          {"COM10", "\\\\.\\COM10"},
      {"COM12", "\\\\.\\COM12"}, {"COM255", "\\\\.\\COM255"},
      {"COM010", "COM010"},      // a leading zero names no port: as given
      {"COM1X", "COM1X"},        {"COM", "COM"},            {"com12", "com12"},
      {"\\\\.\\COM12", "\\\\.\\COM12"}, {"LPT1", "LPT1"},    {"", ""},
  };
  for (const Row& row : rows) EXPECT_EQ(row.opened, WindowsDeviceName(row.name)) << row.name;
  EXPECT_EQ("", WindowsDeviceName(nullptr));
}

}  // namespace
