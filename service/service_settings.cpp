#include "service/service_settings.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "platform/ascii_text.h"
#include "service/ini_loader.h"
#include "service/service_log.h"
#include "transport/serial_port.h"

namespace {

// One reading of the settings: the loader's values, one at a time, into value.
class SettingsReading {
 public:
  SettingsReading(const INILoader& loader, ServiceLog& log) : loader_(loader), log_(log) {}

  // The value of key into value(), with the cut line when it is longer than 259.
  bool Get(const char* key) {
    bool cut = false;
    bool found = loader_.GetValue(value_, key, sizeof value_, &cut);
    if (found && cut) LogCut(key, sizeof value_ - 1);
    return found;
  }
  char* value() { return value_; }

  // Values longer than what receives them are cut to fit, with one line naming the key.
  void LogCut(const char* key, std::size_t kept) {
    char line[160];
    std::snprintf(line, sizeof line, "Valoare prea lunga pentru '%s', pastrez %d caractere", key,
                  static_cast<int>(kept));
    log_.Write(line);
  }
  void CopyInto(char* field, std::size_t fieldSize, const char* value, const char* key) {
    if (ascii::CopyCut(field, fieldSize, value, std::strlen(value))) LogCut(key, fieldSize - 1);
  }

 private:
  const INILoader& loader_;
  ServiceLog& log_;
  char value_[INILoader::kReadBufferSize];
};

void LogRefusedEntry(void* log, const char* entry) {
  char refused[128];
  std::snprintf(refused, sizeof refused, "allowFrom: intrare invalida ignorata '%s'", entry);
  static_cast<ServiceLog*>(log)->Write(refused);
}

// allowFrom (both modes): entries that are not addresses or ranges are logged and left out.
void ReadAllowList(const INILoader& loader, ServiceLog& log, AllowList& allowList) {
  char allowFrom[INILoader::kValueSize];
  allowList.Clear();
  if (loader.GetValue(allowFrom, "allowFrom", sizeof allowFrom)) {
    allowList.Parse(allowFrom, LogRefusedEntry, &log);
  }
}

void ReadSerialSettings(SettingsReading& read, ServiceLog& log, ServiceSettings& s) {
  if (read.Get("port")) {
    // A leading number n names COMn (the value as written follows "COM"); anything
    // else is the port name itself.
    char name[INILoader::kReadBufferSize + 3];
    if (std::atoi(read.value()) != 0) {
      std::snprintf(name, sizeof name, "COM%s", read.value());
    } else {
      std::snprintf(name, sizeof name, "%s", read.value());
    }
    read.CopyInto(s.portName, sizeof s.portName, name, "port");
  } else {
    std::snprintf(s.portName, sizeof s.portName, "%s", "com1");
    log.Write("Port serial invalid\nImplicit com1");
  }

  if (read.Get("baudrate")) {
    s.baudRate = std::atoi(read.value());
  } else {
    s.baudRate = 9600;
    log.Write("BaudRate invalid\nImplicit 9600");
  }

  s.dataBits = read.Get("databits") ? std::atoi(read.value()) : 8;

  if (read.Get("parity")) {
    ParityCodeFromWord(read.value(), &s.parityCode);
  } else {
    s.parityCode = 0;
    log.Write("Parity invalid\nImplicit prNone");
  }

  if (read.Get("stopbits")) {
    StopBitsCodeFromWord(read.value(), &s.stopBitsCode);
  } else {
    s.stopBitsCode = 0;
    log.Write("Stopbits invalid\nImplicit ONESTOPBIT");
  }
}

}  // namespace

bool ReadSettings(const char* path, INILoader& loader, ServiceLog& log,
                  ServiceSettings& settings) {
  if (!loader.Load(path)) {
    // The log names no file; standard error (the journal, under systemd) says which
    // file could not be read and the system's reason.
    int code = errno;
    log.Write("Nu gasesc setarile initiale");
    if (path) {
      std::fprintf(stderr, "cannot read the settings file %s (%s): the defaults apply\n", path,
                   std::strerror(code));
      std::fflush(stderr);
    }
  }
  ReadAllowList(loader, log, settings.allowList);

  SettingsReading read(loader, log);
  if (read.Get("printerName")) {
    read.CopyInto(settings.printerName, sizeof settings.printerName, read.value(), "printerName");
    log.Write(settings.printerName);
  } else {
    ReadSerialSettings(read, log, settings);
  }
  return true;
}
