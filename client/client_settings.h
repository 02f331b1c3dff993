// The client settings record (everything read from barcode.ini plus the run-wide
// hex-text flag) and the reader of barcode.ini's text. The two clients read the text by
// different rules: tervane-b knows no MAXTEXTLEN key and no [suffix] section. Where the
// text comes from (a file beside the program, a page, a test) is the caller's business:
// client_settings_file.h reads it from disk.
#pragma once

#include <deque>
#include <string>

#include "client/decimal.h"

// One line of the [suffix] section. The entries are chained in file order from
// suffixFirst; the settings record owns them (in suffixEntries) and releases them.
struct SuffixEntry {
  char key[300];   // upper-cased text before "="
  char value[20];  // text after "=", at most 19 characters
  SuffixEntry* next;
};

struct ClientSettings {
  ClientSettings() = default;
  ClientSettings(const ClientSettings&) = delete;
  ClientSettings& operator=(const ClientSettings&) = delete;

  char portName[12] = "COM1";
  int baudRate = 9600;
  int dataBits = 8;
  int parityCode = 0;
  int stopBitsCode = 0;
  int biochimieMoveLeft = 0;
  int coagulareMoveLeft = 0;
  int hematologieMoveLeft = 0;
  char address[100] = "";
  int netPort = 0;
  int barcodeFontSize = 80;
  bool debugMode = false;
  bool printDomainName = false;
  bool hexText = false;  // set by the entry for protocol numbers above 9900
  char pageCode = '0';
  int maxTextLen = 0;
  SuffixEntry* suffixFirst = nullptr;
  SuffixEntry* suffixLast = nullptr;
  std::deque<SuffixEntry> suffixEntries;  // a deque: entries never move as it grows
};

// What one client build reads from barcode.ini beyond the keys common to both.
struct SettingsRules {
  bool maxTextLen;     // the MAXTEXTLEN key of [sizing]
  bool suffixSection;  // the [suffix] section; without it "[suffix]" is no header and
                       // the lines under it belong to the section before
};

constexpr SettingsRules kTervaneSettingsRules = {true, true};
constexpr SettingsRules kTervaneBSettingsRules = {false, false};

// Reads the text of a barcode.ini by rules into settings: only the keys present change,
// so settings keeps its built-in defaults (or earlier values) for the others. Lines end
// at CR, LF or CR LF; text after a zero byte is not read.
void ParseClientSettings(const std::string& text, const SettingsRules& rules, ClientSettings* settings);

// The barcode.ini that a client writes on its first run, where it finds none (with
// carriage return and line feed line ends on every system).
extern const char kDefaultClientSettings[];

// The suffix of the first entry whose key equals name exactly, or "" when none.
const char* FindSuffix(const ClientSettings& settings, const char* name);
