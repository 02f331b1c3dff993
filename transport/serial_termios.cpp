// Line settings as Linux termios2 settings (see serial_termios.h).
#include "transport/serial_termios.h"

namespace serialdev {

namespace {

struct Rate {
  unsigned long baud;
  tcflag_t code;  // Bnnn, or BOTHER: the speed is given in bits per second
};

// The speeds a serial line is set to. The rates Windows offers that termios has no code
// for (14400, 56000, 128000, 256000) are given in bits per second; a UART driver sets
// its nearest divisor, a pseudo-terminal keeps the number.
const Rate kRates[] = {
    {50, B50},           {75, B75},           {110, B110},         {134, B134},
    {150, B150},         {200, B200},         {300, B300},         {600, B600},
    {1200, B1200},       {1800, B1800},       {2400, B2400},       {4800, B4800},
    {9600, B9600},       {14400, BOTHER},     {19200, B19200},     {38400, B38400},
    {56000, BOTHER},     {57600, B57600},     {115200, B115200},   {128000, BOTHER},
    {230400, B230400},   {256000, BOTHER},    {460800, B460800},   {500000, B500000},
    {576000, B576000},   {921600, B921600},   {1000000, B1000000}, {1152000, B1152000},
    {1500000, B1500000}, {2000000, B2000000},
};

}  // namespace

bool LineTermiosFromSettings(const LineSettings& line, termios2* t) {
  const Rate* rate = nullptr;
  for (const Rate& r : kRates) {
    if (r.baud == line.baudRate) rate = &r;
  }
  if (!rate) return false;

  tcflag_t size;
  switch (line.dataBits) {
    case 5: size = CS5; break;
    case 6: size = CS6; break;
    case 7: size = CS7; break;
    case 8: size = CS8; break;
    default: return false;
  }

  tcflag_t parity;
  switch (line.parityCode) {
    case 0: parity = 0; break;                          // none
    case 1: parity = PARENB | PARODD; break;            // odd
    case 2: parity = PARENB; break;                     // even
    case 3: parity = PARENB | PARODD | CMSPAR; break;   // mark: the bit always 1
    case 4: parity = PARENB | CMSPAR; break;            // space: the bit always 0
    default: return false;
  }

  // One and a half stop bits exist only with 5 data bits, where a UART realises the
  // two-stop-bit setting as 1.5; with more data bits it is refused, as Windows' serial
  // driver refuses it.
  tcflag_t stop;
  switch (line.stopBitsCode) {
    case 0: stop = 0; break;
    case 1:
      if (line.dataBits != 5) return false;
      stop = CSTOPB;
      break;
    case 2: stop = CSTOPB; break;
    default: return false;
  }

  // No software flow control and no parity check of received bytes.
  t->c_iflag &= ~(IGNBRK | BRKINT | PARMRK | ISTRIP | INLCR | IGNCR | ICRNL | IXON | IXOFF |
                  IXANY | INPCK);
  t->c_oflag &= ~OPOST;
  t->c_lflag &= ~(ECHO | ECHONL | ICANON | ISIG | IEXTEN);

  // CIBAUD left 0: input at the output speed. No hardware flow control.
  t->c_cflag &= ~(kFramingFlags | CBAUD | CIBAUD | CRTSCTS);
  t->c_cflag |= rate->code | size | parity | stop | CLOCAL | CREAD;
  t->c_ispeed = static_cast<speed_t>(rate->baud);
  t->c_ospeed = static_cast<speed_t>(rate->baud);

  t->c_cc[VSTART] = 0x11;  // XON (DC1)
  t->c_cc[VSTOP] = 0x13;   // XOFF (DC3)
  return true;
}

unsigned long OutputBaud(const termios2& t) {
  tcflag_t code = t.c_cflag & CBAUD;
  if (code == BOTHER) return t.c_ospeed;
  for (const Rate& r : kRates) {
    if (r.code == code) return r.baud;
  }
  return 0;
}

}  // namespace serialdev
