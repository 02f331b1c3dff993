// Windows device calls of PortSerialv2.
#include <windows.h>

#include "transport/serial_device.h"

namespace serialdev {

HANDLE OpenDevice(const char* name) {
  // Share mode 0: a second open of a held port fails with ERROR_ACCESS_DENIED.
  return CreateFileA(name, GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
}

bool ApplyLineSettings(HANDLE handle, const DCB* dcb) {
  DCB copy = *dcb;  // SetCommState takes a non-const pointer
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
  DCB other = *dcb;
  other.ByteSize = 8;
  other.Parity = NOPARITY;
  other.StopBits = dcb->StopBits == ONESTOPBIT ? TWOSTOPBITS : ONESTOPBIT;
  if (!SetCommState(handle, &other)) {
    SetLastError(refusal);
    return false;
  }
  copy = *dcb;
  return SetCommState(handle, &copy) != 0;
}

bool ApplyTimeouts(HANDLE handle) {
  COMMTIMEOUTS timeouts;
  GetCommTimeouts(handle, &timeouts);
  timeouts.ReadIntervalTimeout = 1000;
  timeouts.ReadTotalTimeoutMultiplier = 1000;
  timeouts.ReadTotalTimeoutConstant = 0;
  timeouts.WriteTotalTimeoutMultiplier = 0;
  timeouts.WriteTotalTimeoutConstant = 0;
  return SetCommTimeouts(handle, &timeouts) != 0;
}

bool WriteDevice(HANDLE handle, const void* data, unsigned long length) {
  DWORD written = 0;
  return WriteFile(handle, data, length, &written, nullptr) != 0;
}

bool CloseDevice(HANDLE handle) { return CloseHandle(handle) != 0; }

}  // namespace serialdev
