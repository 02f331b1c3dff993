// tervane and tervane-b on Linux: a console program whose argument is argv[1];
// message boxes are lines on standard error. The program's build (ProgramBuild) comes
// from its own source, linked beside this one.
#include <csignal>

#include "client/client_entry.h"
#include "client/program_build.h"

namespace {
// The client settings record exists, with its built-in defaults, before the entry runs.
ClientSettings settings;
}  // namespace

int main(int argc, char** argv) {
  // A print service that closes the connection early must make send() fail, not end
  // the process.
  std::signal(SIGPIPE, SIG_IGN);
  const char* argument = argc > 1 ? argv[1] : "";
  PrinterDelivery delivery;
  return RunClientProgram(ProgramBuild(), argument, ProgramClientFiles(), settings, delivery);
}
