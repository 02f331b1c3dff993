// The dialect B layouts of protocols 10 and 100 in tervane-b. Dialect B is line-oriented
// like EPL2, but its data stands without quotes, a label opens with "^L" and ends with
// "E", and the command letter and font form one command word (AB, BQ, ...).
#pragma once

#include "client/label_job.h"

// Protocol 10: one label per domain name with the same fields; every x is 10 - m, a
// barcode of height h moves the stack down by h + 5, a text line by the step of its font.
void DialectBFieldListLayout(LabelJob& job, const char* data, int m, int h, bool printDomainName);

// Protocol 100: one label per number of the run at fixed positions; m and h are accepted
// and not used, and numbers are not padded.
void DialectBNumberedSeriesLayout(LabelJob& job, const char* data, int m, int h);

// Dots a text line in font moves the stack down, by the font's first character.
int DialectBTextStep(const char* font);
