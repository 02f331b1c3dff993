// Rendering into memory for callers that show the pictures themselves (the studio): the
// same PreviewRun and RenderRequest as tervane-preview, with the PNG files kept as bytes.
#include "preview/label_check.h"
#include "preview/preview_run.h"

namespace {

PreviewOptions MemoryOptions(const RenderSettings& settings) {
  PreviewOptions options;
  options.dpi = settings.dpi == 300 ? 300 : 203;
  options.width = settings.stockWidth > 0 ? settings.stockWidth : 0;
  options.height = settings.stockLength > 0 ? settings.stockLength : 0;
  options.maxLabels = settings.maxLabels > 0 ? settings.maxLabels : 1;
  options.writeFiles = false;
  options.check = true;
  return options;
}

// exitLine: printed after the labels and before the closing line, as tervane-preview
// does for a request whose client run failed ("" for none).
bool RenderJobs(const std::vector<std::string>& jobs, const RenderSettings& settings, const std::string& exitLine,
                RenderOutcome* outcome, std::string* error) {
  PreviewRun run(MemoryOptions(settings), nullptr);
  if (!run.Ready()) {
    *error = run.Error();
    return false;
  }
  for (const std::string& job : jobs) run.Job(job);
  const std::size_t beforeFinish = run.SummaryLines().size();
  const bool encoded = run.Finish();
  const std::vector<std::string>& lines = run.SummaryLines();
  outcome->lines.assign(lines.begin(), lines.begin() + static_cast<long>(beforeFinish));
  if (!exitLine.empty()) outcome->lines.push_back(exitLine);
  outcome->lines.insert(outcome->lines.end(), lines.begin() + static_cast<long>(beforeFinish), lines.end());
  outcome->labels = run.Rendered();
  if (!encoded) *error = "a picture could not be encoded";
  return encoded;
}

}  // namespace

bool RenderJobToMemory(const std::string& job, const RenderSettings& settings, RenderOutcome* outcome,
                       std::string* error) {
  *outcome = RenderOutcome();
  outcome->jobs.push_back(job);
  return RenderJobs(outcome->jobs, settings, "", outcome, error);
}

bool RenderRequestToMemory(const ClientBuild& build, const std::string& argument, const std::string& ini,
                           const RenderSettings& settings, RenderOutcome* outcome, std::string* error) {
  *outcome = RenderOutcome();
  const RequestJobs rendered = RenderRequest(build, argument, ini);
  outcome->jobs = rendered.jobs;
  outcome->clientExitCode = rendered.exitCode;
  const std::string exitLine = rendered.exitCode == 0 ? std::string()
                               : std::string(build.program) + " would end with exit code " +
                                     std::to_string(rendered.exitCode) + " (a record without a layout)";
  return RenderJobs(outcome->jobs, settings, exitLine, outcome, error);
}
