// Decimal numbers as the client reads them everywhere (settings values, the protocol
// field, series headers).
#pragma once

// Leading white space skipped, an optional sign, digits up to the first other character
// (none: 0); values beyond the 32-bit range saturate at its limits, as strtol does.
int ParseDecimal(const char* text);
