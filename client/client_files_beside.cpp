// The layout of a program run from the tree, and of the Windows programs: barcode.ini
// and the argument log beside the program.
#include "client/client_entry.h"
#include "client/client_files.h"

ClientFiles ProgramClientFiles() {
  char directory[1024];
  ProgramDirectory(directory, sizeof directory);
  return ClientFilesIn(directory);
}
