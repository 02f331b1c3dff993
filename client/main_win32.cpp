// tervane on Windows: a program without a window. The argument is the command line
// after the program's own name and the blanks that follow it.
#include <windows.h>

#include "client/client_entry.h"

namespace {
// The client settings record exists, with its built-in defaults, before the entry runs.
ClientSettings settings;
}  // namespace

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
  const char* argument = CommandLineArgument(GetCommandLineA());
  char directory[1024];
  ProgramDirectory(directory, sizeof directory);
  PrinterDelivery delivery;
  return RunClient(argument, directory, settings, delivery);
}
