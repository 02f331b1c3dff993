// A request rendered by the client's own run, exactly as tervane or tervane-b renders
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
// ini: the text of the barcode.ini to render with ("": the built-in defaults). Touches
// no file; calls from several threads may run side by side.
RequestJobs RenderRequest(const ClientBuild& build, const std::string& argument, const std::string& ini);
