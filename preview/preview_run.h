// One run of the preview: labels from jobs and logs become label-NNN.png files in the
// output folder, each with one summary line.
#pragma once

#include <cstdio>
#include <string>
#include <vector>

#include "preview/label_picture.h"
#include "preview/text_painter.h"

struct PreviewOptions {
  int dpi = 203;
  int width = 0;   // --width in dots, 0 = not given
  int height = 0;  // --height in dots
  std::string outputDir = ".";
  int maxLabels = 1000;  // files written per run at most
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
};
