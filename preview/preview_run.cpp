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
  const bool keep = !options_.writeFiles || options_.check;
  RenderedLabel rendered;
  if (keep) {
    rendered.number = labels_;
    rendered.fileName = name;
    rendered.width = label.Width();
    rendered.height = label.Height();
  }
  std::string error;
  bool written = true;
  if (options_.writeFiles) {
    const std::string path = options_.outputDir + "/" + name;
    written = WritePngFile(label, path, &error);
    if (written) files_.push_back(path);
  } else {
    written = EncodePng(label, &rendered.png, &error);
  }
  if (!written) writeFailed_ = true;
  const std::string summary = label.SummaryLine(name) + (written ? "" : "; NOT WRITTEN: " + error);
  Say(summary);
  if (!keep) return true;
  rendered.summary = summary;
  rendered.dpi = label.Dpi();
  rendered.stock = {label.JobWidth() > 0 ? label.JobWidth() : options_.width,
                    label.JobHeight() > 0 ? label.JobHeight() : options_.height};
  if (options_.check) {
    const StockSize stock{options_.width, options_.height};
    rendered.warnings = CheckLabel(label, labels_, stock, &rendered.barcodes);
    warnings_ += static_cast<int>(rendered.warnings.size());
    if (options_.printWarnings) {
      for (const LabelWarning& warning : rendered.warnings) Say(WarningLine(name, warning));
    }
  }
  rendered_.push_back(std::move(rendered));
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
