#include "preview/request_preview.h"

#include <utility>

#include "client/client_run.h"

RequestJobs RenderRequest(const ClientBuild& build, const std::string& argument, const std::string& ini) {
  ClientSettings settings;
  ParseClientSettings(ini, build.settings, &settings);
  MemoryDelivery delivery;
  RequestJobs result;
  // No argument log: DEBUGMODE=1 in the settings changes nothing the preview shows.
  result.exitCode = RunClient(build, argument.c_str(), settings, delivery, nullptr);
  result.jobs = std::move(delivery.jobs);
  return result;
}
