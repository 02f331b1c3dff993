// The Windows line configuration: the DCB that PortSerialv2 gives SetCommState for a
// serial port name, built from the line settings.
#include <windows.h>

#include <gtest/gtest.h>

#include <cstring>

#include "transport/line_settings.h"

namespace serialdev {
// Defined in transport/serial_port_win32.cpp, which has no header of its own for it.
void DcbFromLineSettings(const LineSettings& line, DCB* dcb);
}  // namespace serialdev

namespace {

TEST(LineDcb, LineConfigurationHasTheFixedValues) {
  DCB dcb;
  std::memset(&dcb, 0xA5, sizeof dcb);
  serialdev::DcbFromLineSettings(MakeLineSettings(9600, 7, 2, 1), &dcb);
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
  serialdev::DcbFromLineSettings(MakeLineSettings(0, 300, 4, 2), &dcb);
  EXPECT_EQ(0u, dcb.BaudRate);
  EXPECT_EQ(300 & 0xFF, dcb.ByteSize);
  EXPECT_EQ(4, dcb.Parity);
  EXPECT_EQ(2, dcb.StopBits);
}

}  // namespace
