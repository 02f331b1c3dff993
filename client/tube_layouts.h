// The three fixed tube layouts (EPL2): one barcode across the top, the same code as
// framed text, and a fixed number of text lines. m is the department's move-left value.
#pragma once

#include "client/label_job.h"

void BiochimieTubeLayout(LabelJob& job, const char* data, int m);    // protocols 0 and 3
void CoagulareTubeLayout(LabelJob& job, const char* data, int m);    // protocol 6
void HematologieTubeLayout(LabelJob& job, const char* data, int m);  // protocol 4
