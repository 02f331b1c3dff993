// One sender's stream to the virtual printer (a TCP connection, or the serial line):
// reads the bytes as they arrive, renders each label as soon as it is complete into the
// printer log, and gives back what the printer answers.
#pragma once

#include <string>
#include <string_view>

#include "studio/printer_log.h"
#include "studio/printer_stream.h"

class PrinterSession {
 public:
  PrinterSession(PrinterLog* log, const PrinterProfile& profile, std::string sender);

  // Bytes received; returns the bytes to answer ("" for none).
  std::string Receive(std::string_view bytes);
  // The stream ended (the sender closed): text left without a print command is logged.
  void End();

 private:
  std::string Handle(std::vector<PrinterEvent>& events);
  void Log(const std::string& job, const std::string& note);

  PrinterLog* log_;
  PrinterProfile profile_;
  std::string sender_;
  PrinterStream stream_;
};
