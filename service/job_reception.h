// Job reception: the accept thread, the hand-off of each connection to a request
// thread, and the request threads that receive one wire frame per connection and hand
// the job to the delivery, serving one connection after another while they keep
// coming. What differs between the generations comes in with the policy.
#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "service/generation_policy.h"
#include "service/refusal_log.h"

class CSocket;
class JobDelivery;
class ServiceLog;
struct ServiceSettings;

struct ReceptionOptions {
  int port;              // TCP port to listen on
  int receiveTimeoutMs;  // a connection silent this long is given up with "Eroare Read()"
  // Connections handled at once. When all places are taken the accept thread waits
  // for one to come free, and further clients wait in the listen backlog.
  int maxRequests;
  // The bytes of all jobs in flight together (received, or being received, and not yet
  // delivered). Every request's first piece (up to kFirstJobBuffer) has a share kept
  // for it; a longer job takes the rest of its length from what remains, waiting for
  // room until its frame's deadline.
  std::size_t jobMemoryBytes;
  // Called when no request thread can be started while none runs, after the
  // connection in hand was served and the listening socket closed: the service cannot
  // go on, and ends so that clients are refused (and say so) and the service manager
  // starts it again.
  void (*cannotServe)();
};

class JobReception {
 public:
  // A job buffer's first size: what every request may hold without waiting for room.
  static constexpr std::uint32_t kFirstJobBuffer = 64 * 1024;
  // A frame may take, as a whole, twice the silence time-out and one second more for
  // every kLeastRate bytes it promises: a sender that trickles a byte now and then,
  // each within the silence time-out, cannot keep its place for ever.
  static constexpr std::uint32_t kLeastRate = 1024;

  // settings (allowFrom) are read once the start-up has read them (SettingsRead).
  JobReception(const GenerationPolicy& policy, const ReceptionOptions& options,
               const ServiceSettings& settings, ServiceLog& log, JobDelivery& delivery);
  // Stops the reception so that no thread outlives the object.
  ~JobReception();
  JobReception(const JobReception&) = delete;
  JobReception& operator=(const JobReception&) = delete;

  // Set before Start: while the accept loop runs it calls alive at least every
  // intervalMs (the service manager's watchdog), waiting for clients at most that long
  // at a time; 0 or less: never, and it waits for clients in Accept alone. It stops
  // calling when the accept thread has ended or hangs, so that the manager can tell.
  void SetAliveReport(void (*alive)(), long long intervalMs);

  // Starts the accept thread. False when it runs already, or (with the log line
  // "Nu pot crea thread Accept") when it cannot be started.
  bool Start();
  // Ends the accept thread (closing the listening socket), interrupts connections that
  // are still receiving and waits until every request thread has finished (at most
  // 30 s: a longer delivery is cut off when the process ends).
  void Stop();
  // The settings are read: connections waiting for them go on.
  void SettingsRead();

  // Handles one accepted connection to the end, as a request thread does: receives the
  // wire frame, delivers the job, closes the connection.
  void ServeConnection(std::unique_ptr<CSocket> connection);

  int Port() const { return options_.port; }
  bool IsListening() const { return listening_.load(); }
  std::uint32_t AcceptThreadId() const { return acceptThreadId_.load(); }
  // The connection waiting in the hand-off slot, and the listening socket (null when
  // there is none), for looking at only.
  const CSocket* HandOffSlot() const;
  const CSocket* ListeningSocket() const;

 private:
  void AcceptThread();
  bool CreateListeningSocket();
  bool Allowed(const CSocket& connection);
  bool HandOff(std::unique_ptr<CSocket> connection);
  bool PassOn(std::unique_ptr<CSocket> connection, bool* toIdleThread);
  void WaitForHandOff();
  void RequestThread();
  void AdoptConnection(CSocket* connection);  // the caller holds stateMutex_
  std::unique_ptr<CSocket> NextConnection();
  struct Frame;
  bool ReceiveAndDeliver(CSocket& connection);
  bool ReceiveFrame(CSocket& connection, Frame& frame);
  bool ReceiveJob(CSocket& connection, Frame& frame, const char* first, std::uint32_t arrived);
  int ReceiveWithin(CSocket& connection, char* buffer, int size, Frame& frame);
  void LogReceiveFailure(const Frame& frame);
  bool TakeLargeJobRoom(Frame& frame, std::size_t bytes);
  void GiveLargeJobRoom(std::size_t bytes);
  void WaitForPlace();
  bool ClientWaiting();
  void ReportAliveIfDue();
  bool WaitForARequestToEnd();
  void CannotServe(std::unique_ptr<CSocket> connection);
  void LogRefusals(const std::vector<std::string>& lines);
  void ForgetConnection(std::unique_ptr<CSocket> connection);  // closes it
  void LogIfAny(const char* line);
  void WaitSettingsRead();
  bool StopRequested();
  void SleepUnlessStopped(int milliseconds);

  const GenerationPolicy& policy_;
  const ReceptionOptions options_;
  const ServiceSettings& settings_;
  ServiceLog& log_;
  JobDelivery& delivery_;

  // Hand-off slot and its wake-up, settings-ready gate, stop request, request-thread
  // count, listening socket.
  mutable std::mutex stateMutex_;
  std::condition_variable stateChanged_;
  std::unique_ptr<CSocket> listeningSocket_;
  std::unique_ptr<CSocket> handOffSlot_;
  bool settingsRead_ = false;
  bool stopping_ = false;
  bool started_ = false;
  int activeRequests_ = 0;
  std::uint64_t requestsEnded_ = 0;
  bool acceptWaits_ = false;  // for a place, or for a request to end
  // Request threads that have finished a job wait a while for the next connection.
  // The accept thread gives one to them through this queue, never holding more than
  // there are threads waiting, and goes on at once; the hand-off slot is for a thread
  // just started, which no waiting thread ever takes from.
  int idleThreads_ = 0;
  std::deque<std::unique_ptr<CSocket>> idleHandOffs_;
  std::condition_variable connectionWaiting_;
  std::set<CSocket*> openConnections_;  // receiving, for a stop to interrupt
  RefusalLog refusals_;                 // the accept thread's, and Stop's after it

  // Room for jobs beyond their first pieces.
  std::mutex memoryMutex_;
  std::condition_variable memoryFreed_;
  const std::size_t largeJobLimit_;
  std::size_t largeJobBytes_ = 0;
  // The watchdog's report, and when the accept thread last made it (its own).
  void (*alive_)() = nullptr;
  std::chrono::milliseconds aliveInterval_{0};
  std::chrono::steady_clock::time_point lastAlive_;
  std::thread acceptThread_;
  std::atomic<std::uint32_t> acceptThreadId_{0};
  std::atomic<bool> listening_{false};
};
