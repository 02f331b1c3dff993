// One run of the preview: labels from jobs and logs become label-NNN.png files in the
// output folder (or PNG bytes in memory), each with one summary line, and, when asked,
// the checks of each label.
#pragma once

#include <cstdio>
#include <string>
#include <vector>

#include "preview/label_check.h"
#include "preview/label_picture.h"
#include "preview/text_painter.h"

struct PreviewOptions {
  int dpi = 203;
  int width = 0;   // --width in dots, 0 = not given
  int height = 0;  // --height in dots
  std::string outputDir = ".";
  int maxLabels = 1000;  // files written per run at most
  bool writeFiles = true;      // false: each label's PNG is kept in Rendered() instead
  bool check = false;          // run the label checks (CheckLabel) on every label
  bool printWarnings = false;  // with check: one line per warning after the summary line
};

class PreviewRun {
 public:
  // summary: where the summary lines go (standard output), or nullptr.
  PreviewRun(const PreviewOptions& options, std::FILE* summary);

  bool Ready() const { return painter_.Ready(); }
  const std::string& Error() const { return painter_.Error(); }

  void Job(const std::string& job);  // one label job, EPL2 or dialect B
  void Log(const std::string& log);  // a log holding label jobs

  // Writes the closing line when no label was found; true when every file was written.
  bool Finish();

  int Labels() const { return labels_; }
  const std::vector<std::string>& SummaryLines() const { return lines_; }
  const std::vector<std::string>& Files() const { return files_; }
  // Each label with its summary, and its PNG bytes (without writeFiles) and checks
  // (with check); empty when files are written unchecked.
  const std::vector<RenderedLabel>& Rendered() const { return rendered_; }
  int Warnings() const { return warnings_; }

 private:
  bool OnLabel(LabelPicture& label);
  void Say(const std::string& line);

  PreviewOptions options_;
  std::FILE* summary_;
  TextPainter painter_;
  int labels_ = 0;
  bool writeFailed_ = false;
  bool limitSaid_ = false;
  std::vector<std::string> lines_;
  std::vector<std::string> files_;
  std::vector<RenderedLabel> rendered_;
  int warnings_ = 0;
};
