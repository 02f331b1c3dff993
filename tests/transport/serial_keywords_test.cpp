// The parity and stop-bit keyword table and the DCB filler: pure logic, the same on
// every system.
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

TEST(BuildDcb, EachFieldTakesItsWidthOfTheArgument) {
  PortSerialv2 port;
  DCB dcb;
  std::memset(&dcb, 0xA5, sizeof dcb);
  // Every argument carries bits above its field's width; only the field's bits stay.
  port.BuildDcb(&dcb, /*BaudRate*/ 0x12345678, /*ByteSize*/ 0x1207, /*Parity*/ 0x302,
                /*StopBits*/ 0x401, /*fBinary*/ 0x2, /*DCBlength*/ 28, /*fParity*/ 3,
                /*fOutxCtsFlow*/ 5, /*fOutxDsrFlow*/ 0x10, /*fDtrControl*/ 7,
                /*fDsrSensitivity*/ 1, /*fTXContinueOnXoff*/ 0xFE, /*fOutX*/ 0xFF, /*fInX*/ 2,
                /*fErrorChar*/ 1, /*fNull*/ 4, /*fRtsControl*/ 6, /*fAbortOnError*/ 9,
                /*fDummy2*/ 0x7FFFF, /*wReserved*/ 0x10002, /*XonLim*/ 0x30800,
                /*XoffLim*/ 0x1200, /*XonChar*/ 0x111, /*XoffChar*/ 0x213, /*ErrorChar*/ 0x3FF,
                /*EofChar*/ 0x41A, /*EvtChar*/ -1, /*wReserved1*/ 0x5FFFF);
  EXPECT_EQ(28u, dcb.DCBlength);
  EXPECT_EQ(0x12345678u, dcb.BaudRate);
  EXPECT_EQ(7, dcb.ByteSize);
  EXPECT_EQ(2, dcb.Parity);
  EXPECT_EQ(1, dcb.StopBits);
  EXPECT_EQ(0u, dcb.fBinary);
  EXPECT_EQ(1u, dcb.fParity);
  EXPECT_EQ(1u, dcb.fOutxCtsFlow);
  EXPECT_EQ(0u, dcb.fOutxDsrFlow);
  EXPECT_EQ(3u, dcb.fDtrControl);
  EXPECT_EQ(1u, dcb.fDsrSensitivity);
  EXPECT_EQ(0u, dcb.fTXContinueOnXoff);
  EXPECT_EQ(1u, dcb.fOutX);
  EXPECT_EQ(0u, dcb.fInX);
  EXPECT_EQ(1u, dcb.fErrorChar);
  EXPECT_EQ(0u, dcb.fNull);
  EXPECT_EQ(2u, dcb.fRtsControl);
  EXPECT_EQ(1u, dcb.fAbortOnError);
  EXPECT_EQ(0x1FFFFu, dcb.fDummy2);  // 17 bits
  EXPECT_EQ(2, dcb.wReserved);
  EXPECT_EQ(0x0800, dcb.XonLim);
  EXPECT_EQ(0x1200, dcb.XoffLim);
  EXPECT_EQ(0x11, static_cast<unsigned char>(dcb.XonChar));
  EXPECT_EQ(0x13, static_cast<unsigned char>(dcb.XoffChar));
  EXPECT_EQ(0xFF, static_cast<unsigned char>(dcb.ErrorChar));
  EXPECT_EQ(0x1A, static_cast<unsigned char>(dcb.EofChar));
  EXPECT_EQ(0xFF, static_cast<unsigned char>(dcb.EvtChar));
  EXPECT_EQ(0xFFFF, dcb.wReserved1);
}

TEST(BuildDcb, LineConfigurationHasTheFixedValues) {
  PortSerialv2 port;
  DCB dcb;
  std::memset(&dcb, 0xA5, sizeof dcb);
  BuildLineDcb(port, &dcb, 9600, 7, 2, 1);
  EXPECT_EQ(28u, dcb.DCBlength);
  EXPECT_EQ(9600u, dcb.BaudRate);
  EXPECT_EQ(7, dcb.ByteSize);
  EXPECT_EQ(2, dcb.Parity);
  EXPECT_EQ(1, dcb.StopBits);
  EXPECT_EQ(1u, dcb.fBinary);
  EXPECT_EQ(1u, dcb.fDtrControl);
  EXPECT_EQ(1u, dcb.fRtsControl);
  EXPECT_EQ(0u, dcb.fParity | dcb.fOutxCtsFlow | dcb.fOutxDsrFlow | dcb.fDsrSensitivity |
                    dcb.fTXContinueOnXoff | dcb.fOutX | dcb.fInX | dcb.fErrorChar | dcb.fNull |
                    dcb.fAbortOnError | dcb.fDummy2);
  EXPECT_EQ(0, dcb.wReserved);
  EXPECT_EQ(2048, dcb.XonLim);
  EXPECT_EQ(512, dcb.XoffLim);
  EXPECT_EQ(0x11, dcb.XonChar);
  EXPECT_EQ(0x13, dcb.XoffChar);
  EXPECT_EQ(0, dcb.ErrorChar | dcb.EofChar | dcb.EvtChar);
  EXPECT_EQ(0, dcb.wReserved1);

  // A baud rate or data-bit count is not checked here: whatever the settings gave goes in.
  BuildLineDcb(port, &dcb, 0, 300, 4, 2);
  EXPECT_EQ(0u, dcb.BaudRate);
  EXPECT_EQ(300 & 0xFF, dcb.ByteSize);
  EXPECT_EQ(4, dcb.Parity);
  EXPECT_EQ(2, dcb.StopBits);
}

}  // namespace
