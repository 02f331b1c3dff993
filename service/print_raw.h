// Raw printer output: one job written unchanged to a printer queue as one document
// "My Document" of the raw data type (the Windows spooler, or CUPS on Linux).
#pragma once

class ServiceLog;

// Writes length bytes of data to the queue printerName; 1 when the whole job was
// written and the document closed, 0 otherwise. A failing step writes its line.
int PrintRaw(ServiceLog& log, const char* printerName, const char* data, int length);

// One log line "%s Error [%d]:: %s\n": step name, code and the system's text for it,
// wrapped at 40 columns.
void LogSpoolerError(ServiceLog& log, unsigned long code, const char* step);
