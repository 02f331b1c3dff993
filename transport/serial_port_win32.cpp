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
  HANDLE h = CreateFileA(WindowsDeviceName(name).c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
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

PortSerialv2::WriteOutcome WriteDeviceUnlessStalled(DeviceHandle device, const void* data,
                                                    unsigned long length, int stallMs,
                                                    bool serialLine) {
  if (!serialLine) {
    return WriteDevice(device, data, length) ? PortSerialv2::kWritten : PortSerialv2::kWriteFailed;
  }
  // A serial line gets a write time-out for the time of this write: a WriteFile that
  // times out reports how many bytes went out, and the job is written on in pieces,
  // so that a line that still takes bytes is never given up, while one that has
  // stopped is noticed within the stall time and one piece. The fixed time-outs are
  // put back afterwards.
  HANDLE handle = Win32Handle(device);
  COMMTIMEOUTS fixed;
  if (!GetCommTimeouts(handle, &fixed)) return PortSerialv2::kWriteFailed;
  COMMTIMEOUTS watched = fixed;
  watched.WriteTotalTimeoutMultiplier = 0;
  watched.WriteTotalTimeoutConstant = static_cast<DWORD>(stallMs);
  if (!SetCommTimeouts(handle, &watched)) return PortSerialv2::kWriteFailed;

  const DWORD kPiece = 1024;  // about a second of a 9600-baud line
  const char* p = static_cast<const char*>(data);
  unsigned long left = length;
  PortSerialv2::WriteOutcome outcome = PortSerialv2::kWritten;
  while (left > 0) {
    DWORD piece = left < kPiece ? static_cast<DWORD>(left) : kPiece;
    DWORD written = 0;
    if (!WriteFile(handle, p, piece, &written, nullptr)) {
      outcome = PortSerialv2::kWriteFailed;
      break;
    }
    if (written == 0) {
      // What the line has not taken is dropped, so that it does not come out later,
      // before the next job.
      PurgeComm(handle, PURGE_TXABORT | PURGE_TXCLEAR);
      SetLastError(ERROR_TIMEOUT);
      outcome = PortSerialv2::kWriteStalled;
      break;
    }
    p += written;
    left -= written;
  }
  DWORD code = GetLastError();
  SetCommTimeouts(handle, &fixed);
  SetLastError(code);
  return outcome;
}

bool CloseDevice(DeviceHandle handle) { return CloseHandle(Win32Handle(handle)) != 0; }

}  // namespace serialdev
