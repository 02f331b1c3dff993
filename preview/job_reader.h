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

// One label job (a file, standard input or a job the client rendered): every line
// counts, and lines the preview cannot draw are named in the summary. A capture that
// holds jobs of both dialects is read in runs of one dialect each.
void ReadJob(const std::string& job, int dpi, const LabelCallback& onLabel);

// A log that holds label jobs among other lines (the service's job copy, the client's
// argument log): only the labels are read, EPL2 from "N" to its "P" line and dialect B
// from "^L" to "E", each with the setting lines just before it.
void ReadLog(const std::string& log, int dpi, const LabelCallback& onLabel);
