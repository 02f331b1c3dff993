// The programs' side of a client run: what lies around RunClient (client_run.h) in
// tervane and tervane-b. The entry reads barcode.ini (with the first-run prompt and
// default file, or the report of the installed layout), keeps the argument log in a
// file and delivers to the printer.
#pragma once

#include <cstddef>

#include "client/client_build.h"
#include "client/client_files.h"
#include "client/client_run.h"
#include "client/client_settings.h"

// The real delivery: with a non-empty ADDRESS one wire frame over a new TCP connection
// to ADDRESS:NETPORT, otherwise one write to the serial port named by PORT.
class PrinterDelivery : public JobDelivery {
 public:
  bool Deliver(const ClientSettings& settings, const char* job, std::size_t length) override;
};

// One whole run of the program build for argument (the command-line argument, still
// percent-encoded), with the settings file and argument log that files name (the
// program's own layout: ProgramClientFiles). An empty argument touches no file. Else
// barcode.ini is read by the build's settings rules into settings, which hold the
// built-in defaults on entry; where it cannot be read the run goes on with those, after
// the first-run prompt and the default file, or the report (files.createMissingSettings).
// render: as for RunClient. Returns the process exit code.
int RunClientProgram(const ClientBuild& build, const char* argument, const ClientFiles& files,
                     ClientSettings& settings, JobDelivery& delivery, LayoutRenderer render = nullptr);

// The directory of the running program (its path cut at the last path separator),
// or "" when the path has none.
void ProgramDirectory(char* out, std::size_t size);

// The argument inside a Windows command line: what follows the program name (quoted
// or not) and the blanks after it.
const char* CommandLineArgument(const char* commandLine);
