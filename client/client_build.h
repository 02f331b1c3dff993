// The two builds of the label client, tervane and tervane-b, run the same code: they
// differ in data only, the dispatch table and the rules of the settings file.
#pragma once

#include "client/client_settings.h"
#include "client/dispatch_table.h"

struct ClientBuild {
  const char* program;           // "tervane" or "tervane-b"
  const DispatchTable* layouts;  // protocol number to layout
  SettingsRules settings;        // what barcode.ini holds
};

extern const ClientBuild kTervaneBuild;
extern const ClientBuild kTervaneBBuild;
