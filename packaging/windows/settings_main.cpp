// tervane-settings: writes one settings file of an installation. The Windows installer
// runs it (from its own tables, it is not installed) with the properties of msiexec;
// the packaging build runs it to make the default files of the zip.
//
//   tervane-settings client FILE [KEY=value ...]    barcode.ini: ADDRESS NETPORT port
//                                                   baudrate databits parity stopbits
//                                                   BiochimieMoveLeft CoagulareMoveLeft
//                                                   HematologieMoveLeft BARCODEFONTSIZE
//                                                   PRINTDOMAINNAME PAGECODE MAXTEXTLEN
//                                                   DEBUGMODE, and SETTINGSFILE=PATH: a
//                                                   whole barcode.ini, checked, copied
//                                                   byte for byte, the other keys then
//                                                   applied to it
//   tervane-settings service FILE [KEY=value ...]   a service file: printerName port
//                                                   baudrate databits parity stopbits
//                                                   allowFrom
//
// Keys are matched ignoring case; an empty value leaves its key alone. A missing file
// is created with the default content. Exit code 0 when the file holds the settings,
// 1 with a message on standard error when a setting is refused or the file cannot be
// read or written (the file is then unchanged), 2 for a wrong command line.
#include <cstdio>
#include <cstring>
#include <string>

#include "client/client_settings_file.h"
#include "packaging/windows/settings_file.h"
#include "platform/ascii_text.h"

namespace {

int Usage() {
  std::fputs("usage: tervane-settings client|service FILE [KEY=value ...]\n", stderr);
  return 2;
}

int Fail(const char* file, const std::string& what) {
  std::fprintf(stderr, "tervane-settings: %s: %s\n", file, what.c_str());
  return 1;
}

bool Exists(const char* path) {
  std::FILE* file = std::fopen(path, "rb");
  if (!file) return false;
  std::fclose(file);
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 3) return Usage();
  settingsfile::Kind kind;
  if (std::strcmp(argv[1], "client") == 0) {
    kind = settingsfile::Kind::kClient;
  } else if (std::strcmp(argv[1], "service") == 0) {
    kind = settingsfile::Kind::kService;
  } else {
    return Usage();
  }
  const char* path = argv[2];
  settingsfile::Settings settings;
  std::string source;  // SETTINGSFILE: the file to install in place of FILE's content
  for (int i = 3; i < argc; ++i) {
    const char* eq = std::strchr(argv[i], '=');
    if (!eq || eq == argv[i]) return Usage();
    std::string key(argv[i], static_cast<std::size_t>(eq - argv[i]));
    if (kind == settingsfile::Kind::kClient && ascii::SameText(key, std::string("SETTINGSFILE"))) {
      source = eq + 1;
      continue;
    }
    settings.emplace_back(key, std::string(eq + 1));
  }

  // Every setting is checked before a file is touched.
  std::string text;
  std::string error;
  if (!settingsfile::Apply(kind, settings, &text, &error)) return Fail(path, error);
  text.clear();
  if (!source.empty()) {
    if (!ascii::ReadWholeFile(source.c_str(), &text)) return Fail(source.c_str(), "cannot be read");
    if (!settingsfile::CheckClientFile(text, &error)) return Fail(source.c_str(), error);
  } else if (Exists(path)) {
    if (!ascii::ReadWholeFile(path, &text)) return Fail(path, "cannot be read");
  } else if (kind == settingsfile::Kind::kClient) {
    // The very file the clients write when they find none.
    WriteDefaultClientSettings(path);
    if (!ascii::ReadWholeFile(path, &text)) return Fail(path, "cannot be created");
  } else {
    text = settingsfile::kDefaultServiceSettings;
  }
  std::string before = text;
  settingsfile::Apply(kind, settings, &text, &error);
  if (text == before && source.empty() && Exists(path)) return 0;

  std::FILE* file = std::fopen(path, "wb");
  if (!file) return Fail(path, "cannot be written");
  bool written = std::fwrite(text.data(), 1, text.size(), file) == text.size();
  if (std::fclose(file) != 0) written = false;
  if (!written) return Fail(path, "could not be written completely");
  return 0;
}
