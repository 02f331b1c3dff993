// PortSerialv2: the one device writer of the system. Opens a device by its Windows
// name, configures it as a serial line when the name begins with "COM", writes one
// label job and closes it. Built into all four programs.
#pragma once

#include "transport/device_types.h"  // DCB and HANDLE (the real ones on Windows)

class PortSerialv2 {
 public:
  PortSerialv2() {}
  virtual ~PortSerialv2() {}

  // Fills every field of dcb from the argument of the same name (see the .cpp).
  void BuildDcb(DCB* dcb, int BaudRate, int ByteSize, int Parity, int StopBits, int fBinary,
                int DCBlength, int fParity, int fOutxCtsFlow, int fOutxDsrFlow, int fDtrControl,
                int fDsrSensitivity, int fTXContinueOnXoff, int fOutX, int fInX, int fErrorChar,
                int fNull, int fRtsControl, int fAbortOnError, int fDummy2, int wReserved,
                int XonLim, int XoffLim, int XonChar, int XoffChar, int ErrorChar, int EofChar,
                int EvtChar, int wReserved1);

  // Opens name for exclusive use; for names beginning with "COM" applies dcb and the
  // fixed time-outs. On false, errorText says why, handle is INVALID_HANDLE_VALUE (a
  // device that opened but could not be configured has been closed again) and the
  // system's last error is that of the failing step (5 when the port is held).
  //
  // On POSIX systems the name resolves as Wine's dosdevices do: a link named after the
  // lower-cased port name in the folder $TERVANE_DEVICE_DIR (default
  // /etc/tervane/devices), e.g. com5 -> /dev/ttyUSB0; without a link, COMn (any case)
  // opens /dev/ttyS<n-1> and any other name is opened as a path.
  bool Open(const char* name, DCB* dcb);
  // One synchronous write of length bytes (on POSIX partial writes of the blocking
  // device are continued until every byte is out).
  bool Write(const void* data, unsigned long length);
  // Returns nonzero on success. Does not reset handle.
  int Close();

  char errorText[200];
  char portName[12];
  HANDLE handle;

 private:
  void CloseAfterFailure(unsigned long code);
};

// The fixed line configuration every owner uses: BuildDcb with the given baud rate,
// data bits, parity code and stop-bit code and the fixed values (binary, DTR and RTS
// enabled, no flow control, XonLim 2048, XoffLim 512, XON 0x11, XOFF 0x13).
void BuildLineDcb(PortSerialv2& port, DCB* dcb, int baudRate, int dataBits, int parityCode,
                  int stopBitsCode);

// Parity and stop-bit keywords shared by every settings reader. Each upper-cases value
// in place (ASCII a-z only) and, when it matches a word of the table, stores the code
// and returns true; otherwise leaves *code unchanged and returns false.
bool ParityCodeFromWord(char* value, int* code);
bool StopBitsCodeFromWord(char* value, int* code);
