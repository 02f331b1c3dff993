// The line settings the Linux serial layer asks a device for, checked without a device:
// a pseudo-terminal shows neither parity nor character size, and no other speed than
// those termios has a code for.
#include <gtest/gtest.h>

#include <string>

#include "transport/serial_port.h"
#include "transport/serial_termios.h"

namespace {

using serialdev::kFramingFlags;
using serialdev::LineTermiosFromSettings;
using serialdev::OutputBaud;

struct Line {
  int baud, dataBits, parity, stopBits;
};

// Settings as a cooked terminal has them, with every flag on, so that the translation
// must clear what it does not want.
termios2 Cooked() {
  termios2 t{};
  t.c_iflag = ~0u;
  t.c_oflag = ~0u;
  t.c_cflag = ~0u;
  t.c_lflag = ~0u;
  for (cc_t& c : t.c_cc) c = 0x7F;
  t.c_ispeed = t.c_ospeed = 38400;
  return t;
}

bool Translate(const Line& line, termios2* t) {
  LineSettings lineSettings =
      MakeLineSettings(line.baud, line.dataBits, line.parity, line.stopBits);
  *t = Cooked();
  return LineTermiosFromSettings(lineSettings, t);
}

TEST(SerialTermios, FramingAndSpeedFollowTheLineSettings) {
  struct Row {
    Line line;
    tcflag_t framing;    // the c_cflag bits of kFramingFlags
    tcflag_t speedCode;  // the c_cflag bits of CBAUD
  };
  const Row rows[] = {
      // Parity codes 0 to 4: none, odd, even, mark, space.
      {{9600, 8, 0, 0}, CS8, B9600},
      {{9600, 8, 1, 0}, CS8 | PARENB | PARODD, B9600},
      {{9600, 8, 2, 0}, CS8 | PARENB, B9600},
      {{9600, 8, 3, 0}, CS8 | PARENB | PARODD | CMSPAR, B9600},
      {{9600, 8, 4, 0}, CS8 | PARENB | CMSPAR, B9600},
      // Data bits 5 to 7 (8 above).
      {{9600, 5, 0, 0}, CS5, B9600},
      {{9600, 6, 2, 0}, CS6 | PARENB, B9600},
      {{9600, 7, 1, 0}, CS7 | PARENB | PARODD, B9600},
      // Two stop bits; one and a half, which exist with 5 data bits only.
      {{9600, 8, 0, 2}, CS8 | CSTOPB, B9600},
      {{9600, 5, 0, 1}, CS5 | CSTOPB, B9600},
      // Speeds with a termios code, and those Windows offers that have none.
      {{110, 8, 0, 0}, CS8, B110},
      {{57600, 8, 0, 0}, CS8, B57600},
      {{115200, 8, 0, 0}, CS8, B115200},
      {{14400, 8, 0, 0}, CS8, BOTHER},
      {{56000, 8, 0, 0}, CS8, BOTHER},
      {{128000, 8, 0, 0}, CS8, BOTHER},
      {{256000, 8, 0, 0}, CS8, BOTHER},
  };
  for (const Row& row : rows) {
    const Line& l = row.line;
    SCOPED_TRACE(std::to_string(l.baud) + " " + std::to_string(l.dataBits) + " parity " +
                 std::to_string(l.parity) + " stop " + std::to_string(l.stopBits));
    termios2 t;
    ASSERT_TRUE(Translate(l, &t));
    EXPECT_EQ(row.framing, t.c_cflag & kFramingFlags);
    EXPECT_EQ(row.speedCode, t.c_cflag & CBAUD);
    EXPECT_EQ(static_cast<speed_t>(l.baud), t.c_ospeed);
    EXPECT_EQ(static_cast<unsigned long>(l.baud), OutputBaud(t));
    // Input runs at the output speed.
    EXPECT_EQ(0u, t.c_cflag & CIBAUD);
    EXPECT_EQ(static_cast<speed_t>(l.baud), t.c_ispeed);
  }
}

TEST(SerialTermios, TheLineIsRawBinaryWithoutFlowControl) {
  termios2 t;
  ASSERT_TRUE(Translate({9600, 8, 0, 0}, &t));
  EXPECT_EQ(CLOCAL | CREAD, t.c_cflag & (CLOCAL | CREAD));
  EXPECT_EQ(0u, t.c_cflag & CRTSCTS);
  EXPECT_EQ(0u, t.c_iflag & (IXON | IXOFF | IXANY | INPCK | ISTRIP | ICRNL | INLCR | IGNCR |
                             BRKINT | PARMRK | IGNBRK));
  EXPECT_EQ(0u, t.c_oflag & OPOST);
  EXPECT_EQ(0u, t.c_lflag & (ECHO | ECHONL | ICANON | ISIG | IEXTEN));
  EXPECT_EQ(0x11, t.c_cc[VSTART]);
  EXPECT_EQ(0x13, t.c_cc[VSTOP]);
  // Read time-outs are the time-out step's.
  EXPECT_EQ(0x7F, t.c_cc[VMIN]);
  EXPECT_EQ(0x7F, t.c_cc[VTIME]);
}

TEST(SerialTermios, ValuesNoSerialLineTakesAreRefused) {
  const Line refused[] = {
      {0, 8, 0, 0},     {12345, 8, 0, 0}, {9600, 4, 0, 0}, {9600, 9, 0, 0},
      {9600, 8, 5, 0},  {9600, 8, 0, 3},  {9600, 8, 0, 1}, {9600, 7, 0, 1},
  };
  for (const Line& l : refused) {
    termios2 t;
    EXPECT_FALSE(Translate(l, &t)) << l.baud << " " << l.dataBits << " parity " << l.parity
                                   << " stop " << l.stopBits;
  }
}

}  // namespace
