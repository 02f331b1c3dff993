// PortSerialv2: the one device writer of the system. Opens a device by its Windows
// name, configures it as a serial line when the name begins with "COM", writes one
// label job and closes it. Built into all four programs.
#pragma once

#include <cstdint>
#include <string>

#include "transport/line_settings.h"

// The system's handle of an open device (a Win32 file handle, a POSIX descriptor),
// held as an integer wide enough for either.
typedef std::intptr_t DeviceHandle;
// No device: INVALID_HANDLE_VALUE on Windows, no descriptor on POSIX systems.
constexpr DeviceHandle kInvalidDevice = -1;

class PortSerialv2 {
 public:
  PortSerialv2() {}
  virtual ~PortSerialv2() {}

  // Opens name for exclusive use (on Windows by WindowsDeviceName, so that COM10 and
  // above open too); for names beginning with "COM" applies the line
  // settings with the fixed rest of the line configuration and the fixed time-outs. On
  // false, errorText says why, handle is kInvalidDevice (a device that opened but could
  // not be configured has been closed again) and the system's last error is that of
  // the failing step (of the busy kind when the port is held).
  //
  // On POSIX systems the name resolves as Wine's dosdevices do: a link named after the
  // lower-cased port name in the folder $TERVANE_DEVICE_DIR (default
  // /etc/tervane/devices), e.g. com5 -> /dev/ttyUSB0; without a link, COMn (any case)
  // opens /dev/ttyS<n-1> and any other name is opened as a path.
  bool Open(const char* name, const LineSettings& line);
  // One synchronous write of length bytes (on POSIX partial writes of the blocking
  // device are continued until every byte is out).
  bool Write(const void* data, unsigned long length);

  // The print services' write: it goes on for as long as the device keeps taking
  // bytes, and gives up once it has taken none for stallMs (a line that has stopped
  // taking bytes: the printer is off or its cable is out), so that the jobs waiting
  // for the port are not held up for ever. On Windows only serial lines ("COM"
  // names) are watched; other devices are written as Write does.
  enum WriteOutcome { kWritten, kWriteFailed, kWriteStalled };
  WriteOutcome WriteUnlessStalled(const void* data, unsigned long length, int stallMs);
  // Returns nonzero on success. Does not reset handle.
  int Close();

  char errorText[200];
  char portName[12];
  DeviceHandle handle;

 private:
  void CloseAfterFailure(unsigned long code);
};

// The name Windows opens a port by: COMn with n of 10 or more (no leading zero) as
// \\.\COMn, since only COM1 to COM9 are known as bare device names; every other name
// unchanged. The port is still configured as the serial line it is.
std::string WindowsDeviceName(const char* name);

// Parity and stop-bit keywords shared by every settings reader. Each upper-cases value
// in place (ASCII a-z only) and, when it matches a word of the table, stores the code
// and returns true; otherwise leaves *code unchanged and returns false.
bool ParityCodeFromWord(char* value, int* code);
bool StopBitsCodeFromWord(char* value, int* code);
