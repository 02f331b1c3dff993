// tervane and tervane-b on Windows: a program without a window. The argument is the
// command line after the program's own name and the blanks that follow it. The
// program's build (ProgramBuild) comes from its own source, linked beside this one.
#include <windows.h>

#include "client/client_entry.h"
#include "client/program_build.h"

namespace {
// The client settings record exists, with its built-in defaults, before the entry runs.
ClientSettings settings;
}  // namespace

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
  const char* argument = CommandLineArgument(GetCommandLineA());
  PrinterDelivery delivery;
  return RunClientProgram(ProgramBuild(), argument, ProgramClientFiles(), settings, delivery);
}
