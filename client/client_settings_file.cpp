#include "client/client_settings_file.h"

#include <cstdio>
#include <string>

#include "platform/ascii_text.h"

bool LoadClientSettings(const char* path, const SettingsRules& rules, ClientSettings* settings) {
  // The whole file, without asking for its size first: a file that cannot be read
  // counts as one that cannot be opened.
  std::string text;
  if (!ascii::ReadWholeFile(path, &text)) return false;
  ParseClientSettings(text, rules, settings);
  return true;
}

void WriteDefaultClientSettings(const char* path) {
  // A file that opens for reading but could not be read (a disk error) still holds
  // the laboratory's settings: it is never replaced by the defaults.
  if (std::FILE* existing = std::fopen(path, "rb")) {
    std::fclose(existing);
    return;
  }
  std::FILE* file = std::fopen(path, "wb");
  if (!file) return;
  // Binary mode: the text holds its own CR LF line ends on every system.
  std::fputs(kDefaultClientSettings, file);
  std::fclose(file);
}
