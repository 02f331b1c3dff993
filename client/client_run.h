// One run of the client over a request: decodes the command-line argument, splits it
// into records and fields, renders each record through the dispatch table and hands
// each label job to a delivery. A run touches no file and no shared state: it works on
// the settings and the sinks it is given, so several runs may go on side by side (the
// studio's renders). The programs read barcode.ini and keep the argument log in a file
// around it (client_entry.h).
#pragma once

#include <cstddef>
#include <string>
#include <vector>

#include "client/client_build.h"
#include "client/client_settings.h"
#include "client/label_job.h"

// Exit codes of a run.
constexpr int kExitOk = 0;
constexpr int kExitFailure = -1;

class JobDelivery {
 public:
  virtual ~JobDelivery();
  // Delivers one label job (length bytes, no terminator). On failure shows its own
  // message box and returns false; the run then ends with kExitFailure.
  virtual bool Deliver(const ClientSettings& settings, const char* job, std::size_t length) = 0;
};

// Keeps every label job in memory instead of sending it (the preview, the studio, the
// tests).
class MemoryDelivery : public JobDelivery {
 public:
  bool Deliver(const ClientSettings& settings, const char* job, std::size_t length) override;
  std::vector<std::string> jobs;  // one per delivered job, in order
};

// The argument log that a run keeps with DEBUGMODE=1: the decoded request, each record
// as it is read, each label job and what went wrong, in that order.
class ArgumentLog {
 public:
  virtual ~ArgumentLog();
  // One line; the sink ends it (a text file with its system's line end).
  virtual void Line(const char* text) = 0;
  // One label job, byte for byte.
  virtual void Job(const char* job, std::size_t length) = 0;
};

// A layout chooser in place of the build's dispatch table (tests pass their own):
// false when the protocol has no layout.
typedef bool (*LayoutRenderer)(int protocol, LabelJob& job, const char* data,
                               ClientSettings& settings);

// One whole run of build for argument (the command-line argument, still
// percent-encoded) with settings, as read from barcode.ini; the run may set their
// hex-text flag. log (nullptr: none) gets the argument log when settings ask for it.
// Without render the layouts are the build's dispatch table. Returns the process exit
// code.
int RunClient(const ClientBuild& build, const char* argument, ClientSettings& settings,
              JobDelivery& delivery, ArgumentLog* log, LayoutRenderer render = nullptr);

// Percent-decodes argument into out (at least strlen(argument) + 1 bytes) and
// terminates it. Only a "%" followed by a decimal digit starts an escape, so the
// escapes give bytes 0x00 to 0x9F; "%00" ends the text.
void PercentDecode(const char* argument, char* out);

// The protocol number of field 3: -1 when empty, else its decimal value (0 without
// digits), saturated at the 32-bit limits.
int ProtocolNumber(const char* field3);
