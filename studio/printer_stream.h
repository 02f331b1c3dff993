// The virtual printer's reading of a byte stream, apart from any connection: bytes go
// in as they arrive, and out come each label's job as soon as its print command line is
// complete (P<n> in EPL2, E in dialect B, the dialect told as the preview tells it), the
// answers to status queries (^ee, UQ), and notes about text that is dropped.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

#include "preview/job_reader.h"

struct PrinterEvent {
  enum Kind {
    kLabel,       // text: a label's job, from the byte after the last label to its print command line
    kReply,       // text: bytes to send back to the sender
    kDropped,     // text: why a label's text was dropped (too long without a print command)
    kIncomplete,  // text: what was left when the stream ended without a print command
  };
  Kind kind;
  std::string text;
};

// The configuration the virtual printer reports (UQ) and renders with.
struct PrinterProfile {
  int dpi = 203;
  int headDots = 832;  // the printhead width, in dots
};

// The answer to UQ: the virtual printer's configuration, one CR LF line each.
std::string ConfigurationReport(const PrinterProfile& profile);

class PrinterStream {
 public:
  // maxLabelBytes: a label's text at most; more without a print command is dropped.
  PrinterStream(const PrinterProfile& profile, std::size_t maxLabelBytes)
      : profile_(profile), maxLabelBytes_(maxLabelBytes) {}

  // Reads bytes; appends what they complete to events.
  void Feed(std::string_view bytes, std::vector<PrinterEvent>* events);
  // The stream ended: a last line without its line end is read, and text without a print
  // command comes out as kIncomplete (when it holds more than blank lines).
  void Finish(std::vector<PrinterEvent>* events);
  // The bytes held for the label and line being received: never much more than the limit.
  std::size_t HeldBytes() const { return label_.size() + partial_.size(); }

 private:
  void Line(std::string_view line, std::vector<PrinterEvent>* events);
  void Reset();

  PrinterProfile profile_;
  std::size_t maxLabelBytes_;
  std::string label_;    // complete lines of the label being received, with their line ends
  std::string partial_;  // the line being received (while dropping: its first bytes only)
  std::size_t partialBytes_ = 0;  // the whole length of the line being received
  DialectWatch dialect_;
  bool dropping_ = false;  // the label grew past the limit: read on to its end, keeping nothing
};
