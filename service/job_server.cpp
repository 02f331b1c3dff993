// Service state: construction (paths and options), the start-up and the settings.
#include "service/job_server.h"

#include <cstdio>
#include <cstdlib>

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

ReceptionOptions ReceptionOptionsOf(const JobServerOptions& options) {
  ReceptionOptions resolved;
  resolved.port = options.port > 0 ? options.port
                                   : PositiveEnv("TERVANE_SERVICE_PORT", CJobServer::kDefaultPort);
  resolved.receiveTimeoutMs =
      options.receiveTimeoutMs > 0
          ? options.receiveTimeoutMs
          : PositiveEnv("TERVANE_RECEIVE_TIMEOUT_MS", CJobServer::kDefaultReceiveTimeoutMs);
  return resolved;
}

}  // namespace

CJobServer::CJobServer(JobGeneration generation) : CJobServer(generation, JobServerOptions()) {}

CJobServer::CJobServer(JobGeneration generation, const JobServerOptions& options)
    : generation_(generation),
      paths_(PathsOf(options.executablePath)),
      log_(paths_.log),
      delivery_(settings_, log_, PolicyOf(generation).jobCopy),
      reception_(PolicyOf(generation), ReceptionOptionsOf(options), settings_, log_, delivery_) {}

CJobServer::~CJobServer() { Stop(); }

bool CJobServer::Start() {
  if (!reception_.Start()) return false;
  return ReadSettings();
}

bool CJobServer::ReadSettings() {
  bool read = ::ReadSettings(paths_.settings, iniLoader_, log_, settings_);
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
