// Service state: construction (paths and options), the settings reading and the log.
#include "service/job_server.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "platform/local_time.h"
#include "platform/program_path.h"
#include "service/private_file.h"
#include "service/service_paths.h"
#include "transport/serial_port.h"

namespace {

int PositiveEnv(const char* name, int fallback) {
  const char* text = std::getenv(name);
  if (!text || !*text) return fallback;
  int value = std::atoi(text);
  return value > 0 ? value : fallback;
}

}  // namespace

CJobServer::CJobServer(JobGeneration generation) : CJobServer(generation, JobServerOptions()) {}

CJobServer::CJobServer(JobGeneration gen, const JobServerOptions& options)
    : acceptThreadId(0),
      portName(),
      printerName(),
      baudRate(0),
      dataBits(0),
      parityCode(0),
      stopBitsCode(0),
      listeningSocket(nullptr),
      handOffSlot(nullptr),
      generation(gen),
      listenPort(kDefaultPort),
      receiveTimeoutMs(kDefaultReceiveTimeoutMs),
      plainHandOff(false),
      settingsReady(false),
      stopping(false),
      activeRequests(0),
      idleThreads(0),
      started(false),
      listening(false),
      portInUse(false),
      portReleases(0) {
  logPath[0] = '\0';
  settingsPath[0] = '\0';
  executablePath[0] = '\0';

  if (options.executablePath) {
    std::snprintf(executablePath, sizeof executablePath, "%s", options.executablePath);
  } else {
    platform::ExecutablePath(executablePath, sizeof executablePath);
  }
  DeriveServicePaths(executablePath, settingsPath, logPath, kPathSize);

  listenPort = options.port > 0 ? options.port : PositiveEnv("TERVANE_SERVICE_PORT", kDefaultPort);
  receiveTimeoutMs = options.receiveTimeoutMs > 0
                         ? options.receiveTimeoutMs
                         : PositiveEnv("TERVANE_RECEIVE_TIMEOUT_MS", kDefaultReceiveTimeoutMs);
  if (options.plainHandOff >= 0) {
    plainHandOff = options.plainHandOff != 0;
  } else {
    const char* plain = std::getenv("TERVANE_PLAIN_HANDOFF");
    plainHandOff = plain && std::strcmp(plain, "1") == 0;
  }
}

CJobServer::~CJobServer() { Stop(); }

void CJobServer::Log(const char* message) {
  std::lock_guard<std::mutex> lock(logMutex);
  AppendLogLine(message);
}

// The line "\n%d-%d-%d %d:%d:%d - message", stored as text (on Windows every "\n" as
// CR LF), then bytes as they are, in one append.
void CJobServer::AppendLogLine(const char* message, const char* bytes, std::size_t byteLength) {
  platform::LocalTime t = platform::CurrentLocalTime();
  if (!message) message = "";
  auto format = [&](char* line, std::size_t size) {
    return std::snprintf(line, size, "\n%d-%d-%d %d:%d:%d - %s", t.year, t.month, t.day,
                         t.hour, t.minute, t.second, message);
  };
  char line[512];
  int length = format(line, sizeof line);
  if (length < 0) return;
  if (static_cast<std::size_t>(length) < sizeof line) {
    AppendToPrivateFile(logPath, line, static_cast<std::size_t>(length), bytes, byteLength);
    return;
  }
  std::vector<char> longLine(static_cast<std::size_t>(length) + 1);
  format(longLine.data(), longLine.size());
  AppendToPrivateFile(logPath, longLine.data(), static_cast<std::size_t>(length), bytes,
                      byteLength);
}

namespace {

// Copies value into a field of fieldSize bytes; says whether it had to be cut.
bool CopyIntoField(char* field, std::size_t fieldSize, const char* value) {
  std::size_t length = std::strlen(value);
  bool cut = length > fieldSize - 1;
  if (cut) length = fieldSize - 1;
  std::memcpy(field, value, length);
  field[length] = '\0';
  return cut;
}

}  // namespace

bool CJobServer::ReadSettings() {
  char value[INILoader::kReadBufferSize];
  char line[160];
  bool cut = false;

  // Values longer than what receives them are cut to fit, with one line naming the key.
  auto logCut = [&](const char* key, std::size_t kept) {
    std::snprintf(line, sizeof line, "Valoare prea lunga pentru '%s', pastrez %d caractere", key,
                  static_cast<int>(kept));
    Log(line);
  };
  auto get = [&](const char* key) {
    bool found = iniLoader.GetValue(value, key, sizeof value, &cut);
    if (found && cut) logCut(key, sizeof value - 1);
    return found;
  };

  if (!iniLoader.Load(settingsPath)) Log("Nu gasesc setarile initiale");

  // allowFrom (both modes): entries that are not addresses or ranges are logged and left out.
  char allowFrom[INILoader::kValueSize];
  allowList.Clear();
  if (iniLoader.GetValue(allowFrom, "allowFrom", sizeof allowFrom)) {
    allowList.Parse(allowFrom, [](void* server, const char* entry) {
      char refused[128];
      std::snprintf(refused, sizeof refused, "allowFrom: intrare invalida ignorata '%s'", entry);
      static_cast<CJobServer*>(server)->Log(refused);
    }, this);
  }

  if (get("printerName")) {
    if (CopyIntoField(printerName, sizeof printerName, value)) {
      logCut("printerName", sizeof printerName - 1);
    }
    Log(printerName);
    SetSettingsReady();
    return true;
  }

  if (get("port")) {
    // A leading number n names COMn (the value as written follows "COM"); anything
    // else is the port name itself.
    char name[INILoader::kReadBufferSize + 3];
    if (std::atoi(value) != 0) {
      std::snprintf(name, sizeof name, "COM%s", value);
    } else {
      std::snprintf(name, sizeof name, "%s", value);
    }
    if (CopyIntoField(portName, sizeof portName, name)) logCut("port", sizeof portName - 1);
  } else {
    std::snprintf(portName, sizeof portName, "%s", "com1");
    Log("Port serial invalid\nImplicit com1");
  }

  if (get("baudrate")) {
    baudRate = std::atoi(value);
  } else {
    baudRate = 9600;
    Log("BaudRate invalid\nImplicit 9600");
  }

  dataBits = get("databits") ? std::atoi(value) : 8;

  if (get("parity")) {
    ParityCodeFromWord(value, &parityCode);
  } else {
    parityCode = 0;
    Log("Parity invalid\nImplicit prNone");
  }

  if (get("stopbits")) {
    StopBitsCodeFromWord(value, &stopBitsCode);
  } else {
    stopBitsCode = 0;
    Log("Stopbits invalid\nImplicit ONESTOPBIT");
  }

  SetSettingsReady();
  return true;
}
