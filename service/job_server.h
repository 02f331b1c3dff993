// CJobServer, the service state of a print service: its paths, its settings (INILoader
// and ReadSettings), its log, the job reception (Start: accept thread, hand-off slot,
// request threads), the delivery and raw printer output (PrintRaw). Koldane keeps one
// object for the life of the process; quorvel keeps one inside its service object.
// Each part has a header of its own (ini_loader.h, service_settings.h, service_log.h,
// job_reception.h, job_delivery.h, print_raw.h); generation_policy.h says what sets
// the generations apart.
//
// Environment variables read by the constructor (for tests, benchmarks and machines
// where the defaults do not fit):
//   TERVANE_SERVICE_PORT        TCP port the job reception listens on (default 104).
//   TERVANE_RECEIVE_TIMEOUT_MS  how long a connection may stay silent before its request
//                               is given up with "Eroare Read()" (default 60000).
//   TERVANE_SERIAL_STALL_MS     how long a serial write may go without the line taking a
//                               byte before the job is given up as undelivered
//                               (default 60000).
#pragma once

#include <cstdint>
#include <memory>

#include "service/generation_policy.h"
#include "service/ini_loader.h"
#include "service/job_delivery.h"
#include "service/job_tally.h"
#include "service/job_reception.h"
#include "service/service_log.h"
#include "service/service_paths.h"
#include "service/service_settings.h"

class CSocket;

// Settings for tests, benchmarks and the foreground run; every field has a default
// taken from the environment (see the top of this file).
struct JobServerOptions {
  const char* executablePath = nullptr;  // null: the running program's own path
  int port = 0;                          // 0: TERVANE_SERVICE_PORT, else 104
  int receiveTimeoutMs = 0;              // 0: TERVANE_RECEIVE_TIMEOUT_MS, else 60000
  int serialStallMs = 0;                 // 0: TERVANE_SERIAL_STALL_MS, else 60000
  int maxRequests = 0;                   // 0: 512
  std::size_t jobMemoryBytes = 0;        // 0: 256 MiB
};

// What a service reports beyond its log, to the system it runs on (set by the program;
// null: nothing).
struct ServiceReports {
  JobTally::Sink statusLine = nullptr;         // jobs received, printed, undelivered
  UndeliveredReport undeliveredJob = nullptr;  // each undelivered job (the event log)
  // The service manager's watchdog: how often the accept loop must say it is alive
  // (milliseconds, 0: nobody watches), and how it says so.
  long long (*aliveIntervalMs)() = nullptr;
  void (*alive)() = nullptr;
};

class CJobServer {
 public:
  static constexpr int kDefaultPort = 104;
  static constexpr int kDefaultReceiveTimeoutMs = 60000;
  static constexpr int kDefaultSerialStallMs = 60000;
  static constexpr int kDefaultMaxRequests = 512;
  static constexpr std::size_t kDefaultJobMemoryBytes = 256u * 1024 * 1024;
  static constexpr std::size_t kPathSize = ServicePaths::kSize;

  explicit CJobServer(JobGeneration generation);
  CJobServer(JobGeneration generation, const JobServerOptions& options);
  // Stops the reception (as Stop) so that no thread outlives the object.
  virtual ~CJobServer();
  CJobServer(const CJobServer&) = delete;
  CJobServer& operator=(const CJobServer&) = delete;

  // Set before Start.
  void SetReports(const ServiceReports& reports);

  // Starts the accept thread, then reads the settings. False (with the log line
  // "Nu pot crea thread Accept") when the thread cannot be started. Call once.
  bool Start();
  // Ends the accept thread (closing the listening socket), interrupts connections that
  // are still receiving and waits until every request thread has finished (at most
  // 30 s: a longer delivery is cut off when the process ends). Used by the tests and
  // by the Linux foreground run; the Windows services end with the process.
  void Stop();

  // Reads the settings file into the printer name or the serial line settings.
  bool ReadSettings();
  // Appends one line "\n%d-%d-%d %d:%d:%d - message" to the service log.
  void Log(const char* message) { log_.Write(message); }
  // Writes the job as one raw document to a printer queue; 1 on success, 0 otherwise.
  int PrintRaw(const char* printerName, const char* data, int length);
  // One log line "%s Error [%d]:: %s\n": step name, code and the system's text for it.
  void LogSpoolerError(unsigned long code, const char* step);

  // Handles one accepted connection to the end, as a request thread does: receives the
  // wire frame, delivers the job, writes the job copy, closes the connection.
  void ServeConnection(std::unique_ptr<CSocket> connection);

  JobGeneration Generation() const { return generation_; }
  int ListeningPort() const { return reception_.Port(); }
  // True once the accept thread has its listening socket.
  bool IsListening() const { return reception_.IsListening(); }

  // The service state, for looking at.
  const char* ExecutablePath() const { return paths_.executable; }
  const char* SettingsPath() const { return paths_.settings; }
  const char* LogPath() const { return paths_.log; }
  std::uint32_t AcceptThreadId() const { return reception_.AcceptThreadId(); }
  const INILoader& Loader() const { return iniLoader_; }
  const ServiceSettings& Settings() const { return settings_; }
  const CSocket* ListeningSocket() const { return reception_.ListeningSocket(); }
  const CSocket* HandOffSlot() const { return reception_.HandOffSlot(); }
  const char* UndeliveredPath() const { return delivery_.UndeliveredPath(); }
  const JobTally& Tally() const { return tally_; }

 private:
  const JobGeneration generation_;
  const ServicePaths paths_;
  INILoader iniLoader_;
  ServiceSettings settings_;  // written by ReadSettings only, before any request reads it
  ServiceLog log_;
  JobTally tally_;
  ServiceReports reports_;
  JobDelivery delivery_;
  JobReception reception_;  // last: its threads end before the parts they use go
};
