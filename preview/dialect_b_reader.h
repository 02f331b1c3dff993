// Dialect B label jobs: "^L" opens a label and "E" prints it; text words A<font>
// (fonts A to I), barcode words B<type> (Q Code 128, A Code 39, U Interleaved 2 of 5),
// lines (Lo, Le) and boxes (R); ^C (copies), ^P (count), ^Q (length) and ^W (width)
// are settings, other ^ and ~ commands are accepted without drawing.
#pragma once

#include <string_view>

#include "preview/job_reader.h"

void ReadDialectB(std::string_view job, int dpi, const LabelCallback& onLabel);
