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

// build: the client whose run is rendered (kTervaneBuild or kTervaneBBuild).
// argument: the command-line argument as the client receives it (still percent-encoded).
// iniPath: a barcode.ini to use, or "" for the client's built-in defaults. False with
// a reason when the settings could not be set up.
bool RenderRequest(const ClientBuild& build, const std::string& argument,
                   const std::string& iniPath, RequestJobs* result, std::string* error);
