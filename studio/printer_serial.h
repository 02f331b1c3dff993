// The virtual printer's serial side: a pseudo-terminal in raw mode whose slave is reached
// through a link NAME (as a printer's cable is reached through its port name). One
// implementation per system: printer_serial_posix.cpp, printer_serial_win32.cpp (not
// available there).
#pragma once

#include <memory>
#include <string>

#include "studio/printer_log.h"
#include "studio/printer_stream.h"

class SerialPrinter {
 public:
  virtual ~SerialPrinter() = default;  // stops reading and removes the link

  // Makes the pseudo-terminal and the link linkName to it (a link already there is
  // refused) and reads it on a thread of its own, labels logged with linkName as their
  // sender. Null with a reason.
  static std::unique_ptr<SerialPrinter> Open(const std::string& linkName, PrinterLog* log,
                                             const PrinterProfile& profile, std::string* error);
  // The device the link points to ("/dev/pts/7").
  virtual std::string Device() const = 0;
};
