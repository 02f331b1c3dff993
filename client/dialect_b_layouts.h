// The dialect B layouts of protocols 10 and 100 in tervane-b; the label they stack and
// its command lines are in client/dialect_b_label.h.
#pragma once

#include "client/dialect_b_label.h"
#include "client/label_job.h"

// Protocol 10: one label per domain name with the same fields; every x is 10 - m, a
// barcode of height h moves the stack down by h + 5, a text line by the step of its font.
void DialectBFieldListLayout(LabelJob& job, const char* data, int m, int h, bool printDomainName);

// Protocol 100: one label per number of the run at fixed positions; m and h are accepted
// and not used, and numbers are not padded.
void DialectBNumberedSeriesLayout(LabelJob& job, const char* data, int m, int h);
