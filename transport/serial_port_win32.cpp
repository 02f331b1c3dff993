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
