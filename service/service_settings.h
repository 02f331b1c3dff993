// The settings a print service runs with, and ReadSettings, which fills them from the
// service settings file once at start-up.
#pragma once

#include "service/allow_list.h"

class INILoader;
class ServiceLog;

struct ServiceSettings {
  char portName[10] = {};      // serial mode: the device (at most 9 characters)
  char printerName[102] = {};  // printer queue; empty selects serial mode
  int baudRate = 0;
  int dataBits = 0;
  int parityCode = 0;
  int stopBitsCode = 0;
  AllowList allowList;  // allowFrom: who may print (everyone without the key)
};

// Loads the file at path into loader and fills settings from it: with printerName
// only the printer name (and allowFrom), otherwise the serial line settings, each
// missing one with its default and log line. Values longer than their fields are cut
// with a line naming the key. Returns true.
bool ReadSettings(const char* path, INILoader& loader, ServiceLog& log,
                  ServiceSettings& settings);
