// Windows device calls of PortSerialv2.
#include <windows.h>

#include <cstring>

#include "transport/serial_device.h"

namespace serialdev {

namespace {
HANDLE Win32Handle(DeviceHandle handle) { return reinterpret_cast<HANDLE>(handle); }
}  // namespace

// The line configuration of every job: the four settings values, and fixed values for
// the rest (binary mode, DTR and RTS enabled, no flow control, XonLim 2048, XoffLim
// 512, XON 0x11, XOFF 0x13); every other field 0. Not file-local: the transport tests
// check it.
void DcbFromLineSettings(const LineSettings& line, DCB* dcb) {
  std::memset(dcb, 0, sizeof *dcb);
  dcb->DCBlength = 28;
  dcb->BaudRate = line.baudRate;
  dcb->ByteSize = line.dataBits;
  dcb->Parity = line.parityCode;
  dcb->StopBits = line.stopBitsCode;
  dcb->fBinary = 1;
  dcb->fDtrControl = DTR_CONTROL_ENABLE;
  dcb->fRtsControl = RTS_CONTROL_ENABLE;
  dcb->XonLim = 2048;
  dcb->XoffLim = 512;
  dcb->XonChar = 0x11;
  dcb->XoffChar = 0x13;
}

DeviceHandle OpenDevice(const char* name) {
  // Share mode 0: a second open of a held port fails with ERROR_ACCESS_DENIED.
  HANDLE h = CreateFileA(name, GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
  return reinterpret_cast<DeviceHandle>(h);
}

bool ApplyLineSettings(DeviceHandle device, const LineSettings& line) {
  HANDLE handle = Win32Handle(device);
  DCB dcb;
  DcbFromLineSettings(line, &dcb);
  DCB copy = dcb;  // SetCommState takes a non-const pointer
  if (SetCommState(handle, &copy)) return true;
  DWORD refusal = GetLastError();
  if (refusal != ERROR_INVALID_PARAMETER) return false;

  // A serial layer over a terminal that cannot represent parity or a character size
  // (Wine on a pseudo-terminal) can report "invalid parameter" for a request that
  // changes nothing the device holds: it drops those bits, finds the device as it
  // was, and takes that for a refusal. The port is opened for every job, so every job
  // after the first would fail. Passing once through 8 data bits without parity and
  // another stop-bit setting, and asking again, makes the request a change; a device
  // that really refuses a value refuses it again.
  DCB other = dcb;
  other.ByteSize = 8;
  other.Parity = NOPARITY;
  other.StopBits = dcb.StopBits == ONESTOPBIT ? TWOSTOPBITS : ONESTOPBIT;
  if (!SetCommState(handle, &other)) {
    SetLastError(refusal);
    return false;
  }
  copy = dcb;
  return SetCommState(handle, &copy) != 0;
}

bool ApplyTimeouts(DeviceHandle handle) {
  COMMTIMEOUTS timeouts;
  GetCommTimeouts(Win32Handle(handle), &timeouts);
  timeouts.ReadIntervalTimeout = 1000;
  timeouts.ReadTotalTimeoutMultiplier = 1000;
  timeouts.ReadTotalTimeoutConstant = 0;
  timeouts.WriteTotalTimeoutMultiplier = 0;
  timeouts.WriteTotalTimeoutConstant = 0;
  return SetCommTimeouts(Win32Handle(handle), &timeouts) != 0;
}

bool WriteDevice(DeviceHandle handle, const void* data, unsigned long length) {
  DWORD written = 0;
  return WriteFile(Win32Handle(handle), data, length, &written, nullptr) != 0;
}

bool CloseDevice(DeviceHandle handle) { return CloseHandle(Win32Handle(handle)) != 0; }

}  // namespace serialdev
