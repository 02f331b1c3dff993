// Service state: construction (paths and options), the start-up and the settings.
#include "service/job_server.h"

#include <cstdio>
#include <cstdlib>
#include <string>

#include "platform/program_path.h"
#include "service/print_raw.h"
#include "transport/socket.h"

namespace {

int PositiveEnv(const char* name, int fallback) {
  const char* text = std::getenv(name);
  if (!text || !*text) return fallback;
  int value = std::atoi(text);
  return value > 0 ? value : fallback;
}

ServicePaths PathsOf(const char* executablePath) {
  ServicePaths paths = {};
  if (executablePath) {
    std::snprintf(paths.executable, sizeof paths.executable, "%s", executablePath);
  } else {
    platform::ExecutablePath(paths.executable, sizeof paths.executable);
  }
  DeriveServicePaths(paths.executable, paths.settings, paths.log, ServicePaths::kSize);
  return paths;
}

// A service that cannot start request threads although none runs ends with an error:
// clients are refused, and the service manager starts it again.
void EndWithError() { std::_Exit(1); }

ReceptionOptions ReceptionOptionsOf(const JobServerOptions& options) {
  ReceptionOptions resolved;
  resolved.maxRequests =
      options.maxRequests > 0 ? options.maxRequests : CJobServer::kDefaultMaxRequests;
  resolved.jobMemoryBytes =
      options.jobMemoryBytes > 0 ? options.jobMemoryBytes : CJobServer::kDefaultJobMemoryBytes;
  resolved.cannotServe = EndWithError;
  resolved.port = options.port > 0 ? options.port
                                   : PositiveEnv("TERVANE_SERVICE_PORT", CJobServer::kDefaultPort);
  resolved.receiveTimeoutMs =
      options.receiveTimeoutMs > 0
          ? options.receiveTimeoutMs
          : PositiveEnv("TERVANE_RECEIVE_TIMEOUT_MS", CJobServer::kDefaultReceiveTimeoutMs);
  return resolved;
}

int SerialStallMsOf(const JobServerOptions& options) {
  return options.serialStallMs > 0
             ? options.serialStallMs
             : PositiveEnv("TERVANE_SERIAL_STALL_MS", CJobServer::kDefaultSerialStallMs);
}

std::string UndeliveredPathOf(const GenerationPolicy& policy, const char* logPath) {
  return policy.undeliveredFile ? policy.undeliveredFile : UndeliveredPathBesideLog(logPath);
}

}  // namespace

CJobServer::CJobServer(JobGeneration generation) : CJobServer(generation, JobServerOptions()) {}

CJobServer::CJobServer(JobGeneration generation, const JobServerOptions& options)
    : generation_(generation),
      paths_(PathsOf(options.executablePath)),
      log_(paths_.log),
      delivery_(settings_, log_, PolicyOf(generation),
                UndeliveredPathOf(PolicyOf(generation), paths_.log), tally_,
                SerialStallMsOf(options)),
      reception_(PolicyOf(generation), ReceptionOptionsOf(options), settings_, log_, delivery_) {}

CJobServer::~CJobServer() { Stop(); }

void CJobServer::SetReports(const ServiceReports& reports) {
  reports_ = reports;
  delivery_.SetUndeliveredReport(reports.undeliveredJob);
  if (reports.aliveIntervalMs && reports.alive) {
    reception_.SetAliveReport(reports.alive, reports.aliveIntervalMs());
  }
}

bool CJobServer::Start() {
  if (!reception_.Start()) return false;
  bool read = ReadSettings();
  tally_.StartReporting(reports_.statusLine);
  return read;
}

void CJobServer::Stop() {
  reception_.Stop();
  tally_.StopReporting();
}

bool CJobServer::ReadSettings() {
  bool read = ::ReadSettings(paths_.settings, iniLoader_, log_, settings_);
  // Who may print is stated at every start, after the settings' own lines, so that a
  // key that was mistyped, or lost behind an over-long line, shows as "every address"
  // instead of leaving the service silently open.
  std::string policy = "allowFrom: " + settings_.allowList.Describe();
  log_.Write(policy.c_str());
  reception_.SettingsRead();
  return read;
}

int CJobServer::PrintRaw(const char* printerName, const char* data, int length) {
  return ::PrintRaw(log_, printerName, data, length);
}

void CJobServer::LogSpoolerError(unsigned long code, const char* step) {
  ::LogSpoolerError(log_, code, step);
}

void CJobServer::ServeConnection(std::unique_ptr<CSocket> connection) {
  reception_.ServeConnection(std::move(connection));
}
