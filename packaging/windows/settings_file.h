// The settings files of an installation, written by the Windows installer from the
// properties an administrator gives msiexec: barcode.ini of the clients and the settings
// file of a print service (KOLDANE.INI, QUORVEL.INI).
//
// A file that is missing gets the default content first. Then each setting given
// replaces the value of its key where the key is (every line of it, so whichever line
// a program reads holds the new value), or is added: in barcode.ini at the end of its
// section (the section is added at the end of the file when there is none), in a
// service file at the end. All other lines, and their line ends, stay as they were, so
// an upgrade with new properties keeps what the laboratory tuned by hand.
#pragma once

#include <string>
#include <utility>
#include <vector>

namespace settingsfile {

enum class Kind { kClient, kService };

// A setting as the installer passes it: the property's key and value.
typedef std::vector<std::pair<std::string, std::string>> Settings;

// The content of a service settings file without properties: every serial key with
// the value the service takes when the key is missing (port com1, 9600 baud, 8 data
// bits, no parity, one stop bit), so the service runs as without a file but logs no
// complaint, and the administrator sees each key. As without a file, the line settings
// reach the port only once port names it in capitals or by number (port=1 for COM1).
extern const char kDefaultServiceSettings[];

// Checks every setting for kind (known key, a value the programs read as given) and
// applies the non-empty ones to text. Empty values mean "not given" and change nothing.
// In a service file a serial setting without printerName removes printerName, which
// would otherwise win over it. On a refused setting returns false with the reason in
// *error and leaves text unchanged.
bool Apply(Kind kind, const Settings& settings, std::string* text, std::string* error);

// A whole barcode.ini given to the installer (a file tuned on one PC for all): true
// when the client reads every line of it as written. Otherwise false with the first
// fault in *error: line ends of a line feed alone (the client ends lines at a carriage
// return only), a line over 300 characters (it and the rest are ignored), a line before
// the first section, a key the client does not know in its section (a typo is silently
// ignored), a value it would read otherwise (over 99 characters, or refused as a
// property's value would be), a suffix over 19 characters.
bool CheckClientFile(const std::string& text, std::string* error);

}  // namespace settingsfile
