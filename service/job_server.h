// The service state of a print service: its paths, its settings (INILoader and
// ReadSettings), its log, the job reception (Start: accept thread, hand-off slot,
// request threads) and raw printer output (PrintRaw). Koldane keeps one object for the
// life of the process; quorvel keeps one inside its service object.
//
// Environment variables read by the constructor (for tests, benchmarks and machines
// where the defaults do not fit):
//   TERVANE_SERVICE_PORT        TCP port the job reception listens on (default 104).
//   TERVANE_RECEIVE_TIMEOUT_MS  how long a connection may stay silent before its request
//                               is given up with "Eroare Read()" (default 60000).
//   TERVANE_PLAIN_HANDOFF       1: the accept thread looks at the hand-off slot only
//                               every 300 ms instead of being woken when the request
//                               thread has taken the connection (for comparisons).
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <mutex>
#include <set>
#include <thread>

#include "service/allow_list.h"

class CSocket;

enum class JobGeneration { kKoldane, kQuorvel };

// The entries of the service settings file: lines key=value, ended by CR, LF or CR LF.
class INILoader {
 public:
  static constexpr std::size_t kKeySize = 255;     // at most 254 characters
  static constexpr std::size_t kValueSize = 1025;  // at most 1024 characters
  static constexpr std::size_t kMaxLine = 1024;    // longer lines end the reading

  INILoader() : head(nullptr) {}
  virtual ~INILoader();
  INILoader(const INILoader&) = delete;
  INILoader& operator=(const INILoader&) = delete;

  // True when the file was found and read (also when an over-long line stopped the
  // reading); false when it is missing or cannot be opened. Replaces earlier entries.
  bool Load(const char* path);

  // Empties out, then copies the value of the first entry whose key matches (ASCII
  // letters compared without case) and returns true. The value is cut to outSize - 1
  // characters; *cut (when given) says whether that happened.
  bool GetValue(char* out, const char* key, std::size_t outSize = kReadBufferSize,
                bool* cut = nullptr) const;

  // The buffer size ReadSettings reads values into.
  static constexpr std::size_t kReadBufferSize = 260;

 private:
  struct Entry {
    char key[kKeySize];
    char value[kValueSize];
    Entry* next;
  };
  void Clear();
  void AddLine(const char* line, std::size_t length, Entry**& tail);

  Entry* head;
};

// Settings for tests, benchmarks and the foreground run; every field has a default
// taken from the environment (see the top of this file).
struct JobServerOptions {
  const char* executablePath = nullptr;  // null: the running program's own path
  int port = 0;                          // 0: TERVANE_SERVICE_PORT, else 104
  int receiveTimeoutMs = 0;              // 0: TERVANE_RECEIVE_TIMEOUT_MS, else 60000
  int plainHandOff = -1;                 // -1: TERVANE_PLAIN_HANDOFF; 0 or 1 to choose
};

class CJobServer {
 public:
  static constexpr int kDefaultPort = 104;
  static constexpr int kDefaultReceiveTimeoutMs = 60000;
  static constexpr std::size_t kPathSize = 1024;

  explicit CJobServer(JobGeneration generation);
  CJobServer(JobGeneration generation, const JobServerOptions& options);
  // Stops the reception (as Stop) so that no thread outlives the object.
  virtual ~CJobServer();
  CJobServer(const CJobServer&) = delete;
  CJobServer& operator=(const CJobServer&) = delete;

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
  void Log(const char* message);
  // Writes the job as one raw document to a printer queue; 1 on success, 0 otherwise.
  int PrintRaw(const char* printerName, const char* data, int length);
  // One log line "%s Error [%d]:: %s\n": step name, code and the system's text for it.
  void LogSpoolerError(unsigned long code, const char* step);

  // Handles one accepted connection to the end, as a request thread does: receives the
  // wire frame, delivers the job, writes the job copy, closes and deletes connection.
  void ServeConnection(CSocket* connection);

  JobGeneration Generation() const { return generation; }
  int ListeningPort() const { return listenPort; }
  // True once the accept thread has its listening socket.
  bool IsListening() const { return listening.load(); }

  // Service state.
  char logPath[kPathSize];
  char settingsPath[kPathSize];
  char executablePath[kPathSize];
  std::uint32_t acceptThreadId;
  INILoader iniLoader;
  char portName[10];
  char printerName[102];
  int baudRate;
  int dataBits;
  int parityCode;
  int stopBitsCode;
  AllowList allowList;  // allowFrom: who may print (everyone without the key)
  CSocket* listeningSocket;
  std::atomic<CSocket*> handOffSlot;

 private:
  void AcceptThread();
  void RequestThread();
  void AdoptConnection(CSocket* connection);  // the caller holds stateMutex
  CSocket* NextConnection();
  bool CreateListeningSocket();
  void WaitForHandOff();
  char* ReceiveJob(CSocket* connection, const char* first, std::uint32_t arrived,
                   std::uint32_t length);
  bool DeliverToSerialPort(const char* job, std::size_t length);
  bool AcquirePort();
  void ReleasePort();
  void WriteJobCopy(const char* job, std::size_t length);
  // The caller holds logMutex. bytes (a job copy) follow the line directly.
  void AppendLogLine(const char* message, const char* bytes = nullptr, std::size_t byteLength = 0);
  void SetSettingsReady();
  void WaitSettingsReady();
  bool StopRequested();
  void SleepUnlessStopped(int milliseconds);
  void ForgetConnection(CSocket* connection);  // closes and deletes it

  const JobGeneration generation;
  int listenPort;
  int receiveTimeoutMs;
  bool plainHandOff;

  // Service log and job copy file appends: one writer at a time in each, so that lines
  // and job copies of concurrent requests never overwrite or split one another.
  // quorvel's job copies go into the log, under logMutex.
  std::mutex logMutex;
  std::mutex copyMutex;

  // Hand-off slot wake-up, settings-ready gate, stop request, request-thread count.
  std::mutex stateMutex;
  std::condition_variable stateChanged;
  bool settingsReady;
  bool stopping;
  int activeRequests;
  // Request threads that have finished a job wait a while for the next connection.
  // The accept thread gives one to them through this queue, never holding more than
  // there are threads waiting, and goes on at once; the hand-off slot is for a thread
  // just started, which no waiting thread ever takes from.
  int idleThreads;
  std::deque<CSocket*> idleHandOffs;
  std::condition_variable connectionWaiting;
  std::set<CSocket*> openConnections;
  std::thread acceptThread;
  bool started;
  std::atomic<bool> listening;

  // Turn-taking on the serial port among this service's own request threads.
  std::mutex portMutex;
  std::condition_variable portReleased;
  bool portInUse;
  std::uint64_t portReleases;
};
