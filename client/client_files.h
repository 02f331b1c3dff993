// Where the client finds barcode.ini and writes its argument log.
//
// Built from the tree, and always on Windows, both lie in the program's own folder and a
// missing barcode.ini is written there with its default content. An installed Linux
// build (TERVANE_FHS=ON) reads /etc/tervane/barcode.ini, which the package installs and
// which the client's user can't write, and keeps the argument log in that user's state
// folder ($XDG_STATE_HOME/tervane, by default ~/.local/state/tervane).
#pragma once

#include <string>

struct ClientFiles {
  std::string settings;     // barcode.ini
  std::string argumentLog;  // _tervane_arg.log, written with DEBUGMODE=1
  // true: a missing barcode.ini gets the prompt and is written with the default
  // content; false: it is reported on standard error and nothing is written.
  bool createMissingSettings = true;
  // Makes the argument log's folder before the first entry (null: it is there).
  void (*prepareArgumentLog)(const std::string& path) = nullptr;
};

// The two files in directory, a missing barcode.ini created there.
ClientFiles ClientFilesIn(const char* directory);

// The files of the running program in the layout it was built for
// (client_files_beside.cpp or client_files_fhs.cpp).
ClientFiles ProgramClientFiles();
