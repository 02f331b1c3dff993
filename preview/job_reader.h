// Reading label jobs: which dialect a job is written in, and splitting jobs and logs
// into labels. Each label goes to a callback as soon as its print command is read.
#pragma once

#include <functional>
#include <string>
#include <string_view>

#include "preview/label_picture.h"

// Called with each label; returns false to stop reading.
using LabelCallback = std::function<bool(LabelPicture&)>;

// 'B' when the job reads as dialect B (^L ... E), else 'E' for EPL2.
char DetectDialect(std::string_view job);

// Tells the dialect of a job fed line by line, as ReadJob tells it: the first label
// start (N: EPL2, ^L: dialect B), else the lines typical of each dialect. Lets a
// printer that reads a job as it arrives know which line ends a label.
class DialectWatch {
 public:
  void Add(std::string_view line);  // a line without its line end
  char Dialect() const;             // 'E' or 'B'

 private:
  char start_ = 0;
  int epl2_ = 0, dialectB_ = 0;
};

// Whether line (without its line end) is the print command that ends a label of
// dialect: P<n>... in EPL2, E in dialect B.
bool EndsLabel(char dialect, std::string_view line);
// Whether line (without its line end) starts a label: N in EPL2, ^L... in dialect B.
bool StartsLabel(std::string_view line);

// One label job (a file, standard input or a job the client rendered): every line
// counts, and lines the preview cannot draw are named in the summary. A capture that
// holds jobs of both dialects is read in runs of one dialect each.
void ReadJob(const std::string& job, int dpi, const LabelCallback& onLabel);

// A log that holds label jobs among other lines (the service's job copy, the client's
// argument log): only the labels are read, EPL2 from "N" to its "P" line and dialect B
// from "^L" to "E", each with the setting lines just before it.
void ReadLog(const std::string& log, int dpi, const LabelCallback& onLabel);
