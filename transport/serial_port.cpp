// Portable part of PortSerialv2: the DCB filler, the fixed line configuration, the
// Open sequence with its Romanian error texts, and the parity and stop-bit keywords.
// The device calls themselves live in serial_port_win32.cpp / serial_port_posix.cpp.
#include "transport/serial_port.h"

#include <cstdio>
#include <cstring>

#include "platform/system_error.h"
#include "transport/serial_device.h"

void PortSerialv2::BuildDcb(DCB* dcb, int BaudRate, int ByteSize, int Parity, int StopBits,
                            int fBinary, int DCBlength, int fParity, int fOutxCtsFlow,
                            int fOutxDsrFlow, int fDtrControl, int fDsrSensitivity,
                            int fTXContinueOnXoff, int fOutX, int fInX, int fErrorChar, int fNull,
                            int fRtsControl, int fAbortOnError, int fDummy2, int wReserved,
                            int XonLim, int XoffLim, int XonChar, int XoffChar, int ErrorChar,
                            int EofChar, int EvtChar, int wReserved1) {
  // Flags take their low bits, byte fields the low byte, word fields the low word.
  dcb->DCBlength = static_cast<unsigned>(DCBlength);
  dcb->BaudRate = static_cast<unsigned>(BaudRate);
  dcb->fBinary = static_cast<unsigned>(fBinary) & 1u;
  dcb->fParity = static_cast<unsigned>(fParity) & 1u;
  dcb->fOutxCtsFlow = static_cast<unsigned>(fOutxCtsFlow) & 1u;
  dcb->fOutxDsrFlow = static_cast<unsigned>(fOutxDsrFlow) & 1u;
  dcb->fDtrControl = static_cast<unsigned>(fDtrControl) & 3u;
  dcb->fDsrSensitivity = static_cast<unsigned>(fDsrSensitivity) & 1u;
  dcb->fTXContinueOnXoff = static_cast<unsigned>(fTXContinueOnXoff) & 1u;
  dcb->fOutX = static_cast<unsigned>(fOutX) & 1u;
  dcb->fInX = static_cast<unsigned>(fInX) & 1u;
  dcb->fErrorChar = static_cast<unsigned>(fErrorChar) & 1u;
  dcb->fNull = static_cast<unsigned>(fNull) & 1u;
  dcb->fRtsControl = static_cast<unsigned>(fRtsControl) & 3u;
  dcb->fAbortOnError = static_cast<unsigned>(fAbortOnError) & 1u;
  dcb->fDummy2 = static_cast<unsigned>(fDummy2) & 0x1FFFFu;
  dcb->wReserved = static_cast<unsigned short>(wReserved);
  dcb->XonLim = static_cast<unsigned short>(XonLim);
  dcb->XoffLim = static_cast<unsigned short>(XoffLim);
  dcb->ByteSize = static_cast<unsigned char>(ByteSize);
  dcb->Parity = static_cast<unsigned char>(Parity);
  dcb->StopBits = static_cast<unsigned char>(StopBits);
  dcb->XonChar = static_cast<char>(static_cast<unsigned char>(XonChar));
  dcb->XoffChar = static_cast<char>(static_cast<unsigned char>(XoffChar));
  dcb->ErrorChar = static_cast<char>(static_cast<unsigned char>(ErrorChar));
  dcb->EofChar = static_cast<char>(static_cast<unsigned char>(EofChar));
  dcb->EvtChar = static_cast<char>(static_cast<unsigned char>(EvtChar));
  dcb->wReserved1 = static_cast<unsigned short>(wReserved1);
}

bool PortSerialv2::Open(const char* name, DCB* dcb) {
  // The caller keeps names within 11 characters; a longer one is cut here rather than
  // overrunning portName, and the device is still opened by its full name.
  std::snprintf(portName, sizeof portName, "%s", name ? name : "");
  if (!name) name = "";

  handle = serialdev::OpenDevice(name);
  if (handle == INVALID_HANDLE_VALUE) {
    std::snprintf(errorText, sizeof errorText, "Eroare : Port %s inaccesibil", name);
    return false;
  }

  // Only serial port names (capital "COM") get line settings and time-outs.
  if (std::strncmp(name, "COM", 3) != 0) return true;

  if (!serialdev::ApplyLineSettings(handle, dcb)) {
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
  handle = INVALID_HANDLE_VALUE;
  platform::SetLastSystemError(code);
}

bool PortSerialv2::Write(const void* data, unsigned long length) {
  return serialdev::WriteDevice(handle, data, length);
}

int PortSerialv2::Close() { return serialdev::CloseDevice(handle) ? 1 : 0; }

void BuildLineDcb(PortSerialv2& port, DCB* dcb, int baudRate, int dataBits, int parityCode,
                  int stopBitsCode) {
  port.BuildDcb(dcb, baudRate, dataBits, parityCode, stopBitsCode,
                /*fBinary*/ 1, /*DCBlength*/ 28, /*fParity*/ 0, /*fOutxCtsFlow*/ 0,
                /*fOutxDsrFlow*/ 0, /*fDtrControl*/ 1, /*fDsrSensitivity*/ 0,
                /*fTXContinueOnXoff*/ 0, /*fOutX*/ 0, /*fInX*/ 0, /*fErrorChar*/ 0, /*fNull*/ 0,
                /*fRtsControl*/ 1, /*fAbortOnError*/ 0, /*fDummy2*/ 0, /*wReserved*/ 0,
                /*XonLim*/ 2048, /*XoffLim*/ 512, /*XonChar*/ 0x11, /*XoffChar*/ 0x13,
                /*ErrorChar*/ 0, /*EofChar*/ 0, /*EvtChar*/ 0, /*wReserved1*/ 0);
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

void UpperCaseAscii(char* value) {
  for (char* p = value; *p; ++p) {
    if (*p >= 'a' && *p <= 'z') *p = static_cast<char>(*p - 'a' + 'A');
  }
}

template <std::size_t N>
bool CodeFromWord(const KeywordRow (&table)[N], char* value, int* code) {
  if (!value) return false;
  UpperCaseAscii(value);
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
