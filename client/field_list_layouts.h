// The EPL2 field-list layouts: the sender describes the label field by field, and each
// field becomes a text line or a barcode stacked from the top of the label downwards.
// m is BIOCHIMIEMOVELEFT (every x is 90 - m), h is BARCODEFONTSIZE (barcode height; a
// barcode moves the stack down by h + 30, a text line by 20).
#pragma once

#include "client/label_job.h"

void FieldListLayout(LabelJob& job, const char* data, int m, int h);  // protocol 1
void GroupedFieldListLayout(LabelJob& job, const char* data, int m, int h,
                            bool printDomainName);  // protocol 11
