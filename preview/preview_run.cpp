#include "preview/preview_run.h"

#include <cstdio>

#include "preview/job_reader.h"
#include "preview/png_file.h"

PreviewRun::PreviewRun(const PreviewOptions& options, std::FILE* summary)
    : options_(options), summary_(summary) {}

void PreviewRun::Say(const std::string& line) {
  lines_.push_back(line);
  if (summary_) {
    std::fprintf(summary_, "%s\n", line.c_str());
    std::fflush(summary_);
  }
}

bool PreviewRun::OnLabel(LabelPicture& label) {
  if (labels_ >= options_.maxLabels) {
    if (!limitSaid_) Say("stopped after " + std::to_string(options_.maxLabels) + " labels (--max-labels)");
    limitSaid_ = true;
    return false;
  }
  ++labels_;
  char name[32];
  std::snprintf(name, sizeof name, "label-%03d.png", labels_);
  label.Paint(painter_, options_.width, options_.height);
  const std::string path = options_.outputDir + "/" + name;
  std::string error;
  if (!WritePngFile(label, path, &error)) {
    writeFailed_ = true;
    Say(label.SummaryLine(name) + "; NOT WRITTEN: " + error);
    return true;
  }
  files_.push_back(path);
  Say(label.SummaryLine(name));
  return true;
}

void PreviewRun::Job(const std::string& job) {
  ReadJob(job, options_.dpi, [this](LabelPicture& label) { return OnLabel(label); });
}

void PreviewRun::Log(const std::string& log) {
  ReadLog(log, options_.dpi, [this](LabelPicture& label) { return OnLabel(label); });
}

bool PreviewRun::Finish() {
  if (labels_ == 0) Say("no label found");
  return !writeFailed_;
}
