// The client's entry: decodes the request on the command line, splits it into
// records and fields, renders each record through the dispatch table and hands the
// label job to a delivery. The program's main supplies the real delivery (TCP or
// serial port); the preview and the tests supply one that keeps the jobs in memory.
#pragma once

#include <cstddef>

#include "client/client_build.h"
#include "client/client_files.h"
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

// The real delivery: with a non-empty ADDRESS one wire frame over a new TCP connection
// to ADDRESS:NETPORT, otherwise one write to the serial port named by PORT.
class PrinterDelivery : public JobDelivery {
 public:
  bool Deliver(const ClientSettings& settings, const char* job, std::size_t length) override;
};

// A layout chooser in place of the build's dispatch table (tests pass their own):
// false when the protocol has no layout.
typedef bool (*LayoutRenderer)(int protocol, LabelJob& job, const char* data,
                               ClientSettings& settings);

// One whole run of build for argument (the command-line argument, still
// percent-encoded). programDirectory holds barcode.ini, read by the build's settings
// rules, and the argument log. settings holds the built-in defaults on entry; the
// loader fills it and the run may set its hex-text flag. Without render the layouts
// are the build's dispatch table. Returns the process exit code.
int RunClient(const ClientBuild& build, const char* argument, const char* programDirectory,
              ClientSettings& settings, JobDelivery& delivery, LayoutRenderer render = nullptr);

// The same run with the settings file and argument log that files name (the program's
// own layout: ProgramClientFiles).
int RunClient(const ClientBuild& build, const char* argument, const ClientFiles& files,
              ClientSettings& settings, JobDelivery& delivery, LayoutRenderer render = nullptr);

// Percent-decodes argument into out (at least strlen(argument) + 1 bytes) and
// terminates it. Only a "%" followed by a decimal digit starts an escape, so the
// escapes give bytes 0x00 to 0x9F; "%00" ends the text.
void PercentDecode(const char* argument, char* out);

// The protocol number of field 3: -1 when empty, else its decimal value (0 without
// digits), saturated at the 32-bit limits.
int ProtocolNumber(const char* field3);

// The directory of the running program (its path cut at the last path separator),
// or "" when the path has none.
void ProgramDirectory(char* out, std::size_t size);

// The argument inside a Windows command line: what follows the program name (quoted
// or not) and the blanks after it.
const char* CommandLineArgument(const char* commandLine);
