// EPL2 label jobs: N starts a label (clears the image), P prints it; text (A),
// barcodes (B), lines (LO, LW, LE), boxes (X) and graphics (GW) are drawn; q, Q, R and
// I set the label width, length, reference point and code page.
#pragma once

#include <string_view>

#include "preview/job_reader.h"

void ReadEpl2(std::string_view job, int dpi, const LabelCallback& onLabel);
