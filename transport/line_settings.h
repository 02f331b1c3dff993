// The line settings of a serial port: speed and framing, the values that the client
// settings and the service settings hold for their port. Each system turns them into
// its own configuration (serial_port_win32.cpp, serial_termios.cpp); the rest of the
// line (binary mode, DTR and RTS raised, no flow control, XON 0x11 / XOFF 0x13) is
// the same for every job and fixed there.
#pragma once

#include <cstdint>

struct LineSettings {
  std::uint32_t baudRate;     // bits per second
  std::uint8_t dataBits;      // 5 to 8 on a real line
  std::uint8_t parityCode;    // 0 none, 1 odd, 2 even, 3 mark, 4 space
  std::uint8_t stopBitsCode;  // 0 one, 1 one and a half, 2 two
};

// The settings values as the serial driver takes them: the baud rate as a 32-bit
// number, data bits, parity and stop bits by their low byte. Nothing is checked here;
// a value the device refuses makes PortSerialv2::Open fail.
inline LineSettings MakeLineSettings(int baudRate, int dataBits, int parityCode,
                                     int stopBitsCode) {
  LineSettings line;
  line.baudRate = static_cast<std::uint32_t>(baudRate);
  line.dataBits = static_cast<std::uint8_t>(dataBits);
  line.parityCode = static_cast<std::uint8_t>(parityCode);
  line.stopBitsCode = static_cast<std::uint8_t>(stopBitsCode);
  return line;
}
