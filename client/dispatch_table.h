// The dispatch table: protocol number (after folding) to layout, with the settings
// values that each layout receives. tervane and tervane-b differ only in the rows for
// protocols 10 and 100 (TERVANE_DIALECT_B selects the dialect B layouts).
#pragma once

#include "client/client_settings.h"
#include "client/label_job.h"

// Renders data through the layout of protocol into job. False when the protocol has
// no layout (the job is then left empty).
bool RenderLayout(int protocol, LabelJob& job, const char* data, ClientSettings& settings);
