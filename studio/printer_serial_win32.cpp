#include "studio/printer_serial.h"

std::unique_ptr<SerialPrinter> SerialPrinter::Open(const std::string&, PrinterLog*, const PrinterProfile&,
                                                   std::string* error) {
  *error =
      "--printer-serial is not available on Windows (it makes a Linux pseudo-terminal); print to the network "
      "printer (--printer) instead, or use a virtual null-modem pair with a client of its own";
  return nullptr;
}
