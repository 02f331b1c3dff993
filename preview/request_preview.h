// A request rendered by the client's own entry, exactly as tervane or tervane-b renders
// it, with the label jobs kept in memory instead of sent.
#pragma once

#include <string>
#include <vector>

#include "client/client_build.h"

struct RequestJobs {
  std::vector<std::string> jobs;  // one label job per delivered record, in order
  int exitCode = 0;               // what the client's run returned
};

// The settings file a request is rendered with: its text (written byte for byte into
// the client's private folder), a path to copy, or neither (the built-in defaults).
struct IniSource {
  bool useText = false;
  std::string text;
  std::string path;  // "" and no text: the built-in defaults
};

// build: the client whose run is rendered (kTervaneBuild or kTervaneBBuild).
// argument: the command-line argument as the client receives it (still percent-encoded).
// False with a reason when the settings could not be set up. Runs the client in a
// private temporary folder: not for concurrent calls from several threads.
bool RenderRequest(const ClientBuild& build, const std::string& argument, const IniSource& ini,
                   RequestJobs* result, std::string* error);
