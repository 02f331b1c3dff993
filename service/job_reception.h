// Job reception: the accept thread, the hand-off of each connection to a request
// thread, and the request threads that receive one wire frame per connection and hand
// the job to the delivery, serving one connection after another while they keep
// coming. What differs between the generations comes in with the policy.
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <set>
#include <thread>
#include <vector>

#include "service/generation_policy.h"

class CSocket;
class JobDelivery;
class ServiceLog;
struct ServiceSettings;

struct ReceptionOptions {
  int port;              // TCP port to listen on
  int receiveTimeoutMs;  // a connection silent this long is given up with "Eroare Read()"
};

class JobReception {
 public:
  // settings (allowFrom) are read once the start-up has read them (SettingsRead).
  JobReception(const GenerationPolicy& policy, const ReceptionOptions& options,
               const ServiceSettings& settings, ServiceLog& log, JobDelivery& delivery);
  // Stops the reception so that no thread outlives the object.
  ~JobReception();
  JobReception(const JobReception&) = delete;
  JobReception& operator=(const JobReception&) = delete;

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
  bool ReceiveAndDeliver(CSocket& connection);
  bool ReceiveFrame(CSocket& connection, std::vector<char>* job);
  bool ReceiveJob(CSocket& connection, const char* first, std::uint32_t arrived,
                  std::uint32_t length, std::vector<char>* job);
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
  // Request threads that have finished a job wait a while for the next connection.
  // The accept thread gives one to them through this queue, never holding more than
  // there are threads waiting, and goes on at once; the hand-off slot is for a thread
  // just started, which no waiting thread ever takes from.
  int idleThreads_ = 0;
  std::deque<std::unique_ptr<CSocket>> idleHandOffs_;
  std::condition_variable connectionWaiting_;
  std::set<CSocket*> openConnections_;  // receiving, for a stop to interrupt
  std::thread acceptThread_;
  std::atomic<std::uint32_t> acceptThreadId_{0};
  std::atomic<bool> listening_{false};
};
