// barcode.ini on disk: the programs read it (client_entry.cpp) and write the default
// file on their first run; the installers' settings writer starts from that same file.
#pragma once

#include "client/client_settings.h"

// Reads barcode.ini at path by rules into settings (ParseClientSettings). False when the
// file cannot be opened or read (a folder of that name, too): settings are untouched.
bool LoadClientSettings(const char* path, const SettingsRules& rules, ClientSettings* settings);

// Writes kDefaultClientSettings to path where no file of that name opens for reading.
void WriteDefaultClientSettings(const char* path);
