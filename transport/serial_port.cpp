// Portable part of PortSerialv2: the Open sequence with its Romanian error texts, and
// the parity and stop-bit keywords.
// The device calls themselves live in serial_port_win32.cpp / serial_port_posix.cpp.
#include "transport/serial_port.h"

#include <cstdio>
#include <cstring>

#include "platform/ascii_text.h"
#include "platform/system_error.h"
#include "transport/serial_device.h"

bool PortSerialv2::Open(const char* name, const LineSettings& line) {
  // The caller keeps names within 11 characters; a longer one is cut here rather than
  // overrunning portName, and the device is still opened by its full name.
  std::snprintf(portName, sizeof portName, "%s", name ? name : "");
  if (!name) name = "";

  handle = serialdev::OpenDevice(name);
  if (handle == kInvalidDevice) {
    std::snprintf(errorText, sizeof errorText, "Eroare : Port %s inaccesibil", name);
    return false;
  }

  // Only serial port names (capital "COM") get line settings and time-outs.
  if (std::strncmp(name, "COM", 3) != 0) return true;

  if (!serialdev::ApplyLineSettings(handle, line)) {
    unsigned long code = platform::LastSystemError();
    std::snprintf(errorText, sizeof errorText,
                  "Eroare %d la la setare parametrii specificati in DCB", static_cast<int>(code));
    CloseAfterFailure(code);
    return false;
  }
  if (!serialdev::ApplyTimeouts(handle)) {
    unsigned long code = platform::LastSystemError();
    std::snprintf(errorText, sizeof errorText, "%s", "Eroare la setare TimeOut");
    CloseAfterFailure(code);
    return false;
  }
  return true;
}

// A device that opened but could not be configured is released at once; otherwise the
// process would hold the port and every later open of it would fail as busy. The
// error code of the failing step stays the thread's last system error.
void PortSerialv2::CloseAfterFailure(unsigned long code) {
  serialdev::CloseDevice(handle);
  handle = kInvalidDevice;
  platform::SetLastSystemError(code);
}

bool PortSerialv2::Write(const void* data, unsigned long length) {
  return serialdev::WriteDevice(handle, data, length);
}

PortSerialv2::WriteOutcome PortSerialv2::WriteUnlessStalled(const void* data,
                                                            unsigned long length, int stallMs) {
  bool serialLine = std::strncmp(portName, "COM", 3) == 0;
  return serialdev::WriteDeviceUnlessStalled(handle, data, length, stallMs, serialLine);
}

int PortSerialv2::Close() { return serialdev::CloseDevice(handle) ? 1 : 0; }

std::string WindowsDeviceName(const char* name) {
  std::string port = name ? name : "";
  if (port.compare(0, 3, "COM") != 0 || port.size() < 5 || port[3] == '0') return port;
  for (std::size_t i = 3; i < port.size(); ++i) {
    if (port[i] < '0' || port[i] > '9') return port;
  }
  return "\\\\.\\" + port;
}

namespace {

struct KeywordRow {
  const char* word;
  int code;
};

// Rows in the order they are compared; each word belongs to one row.
const KeywordRow kParityWords[] = {
    {"PRNONE", 0},  {"NONE", 0},  {"NOPARITY", 0},    {"PREVEN", 2},  {"EVEN", 2},
    {"EVENPARITY", 2}, {"PRODD", 1}, {"ODD", 1},      {"ODDPARITY", 1}, {"PRMARK", 3},
    {"MARK", 3},    {"MARKPARITY", 3}, {"PRSPACE", 4}, {"SPACE", 4},   {"SPACEPARITY", 4},
};

const KeywordRow kStopBitWords[] = {
    {"SBONESTOPBIT", 0},   {"ONESTOPBIT", 0},   {"1", 0},
    {"SBONE5STOPBITS", 1}, {"ONE5STOPBITS", 1}, {"1.5", 1},
    {"SBTWOSTOPBITS", 2},  {"TWOSTOPBITS", 2},  {"2", 2},
};

template <std::size_t N>
bool CodeFromWord(const KeywordRow (&table)[N], char* value, int* code) {
  if (!value) return false;
  ascii::UpperCase(value);
  for (const KeywordRow& row : table) {
    if (std::strcmp(value, row.word) == 0) {
      *code = row.code;
      return true;
    }
  }
  return false;
}

}  // namespace

bool ParityCodeFromWord(char* value, int* code) { return CodeFromWord(kParityWords, value, code); }

bool StopBitsCodeFromWord(char* value, int* code) {
  return CodeFromWord(kStopBitWords, value, code);
}
