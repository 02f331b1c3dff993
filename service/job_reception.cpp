#include "service/job_reception.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <functional>
#include <new>

#include "platform/open_files.h"
#include "service/job_delivery.h"
#include "service/service_log.h"
#include "service/service_settings.h"
#include "service/socket_interrupt.h"
#include "transport/socket.h"
#include "transport/wire_frame.h"

namespace {

using std::chrono::milliseconds;

constexpr milliseconds kHandOffPoll(300);      // upper bound of one look at the slot
constexpr int kListenRetryMs = 5000;           // listening socket could not be made
constexpr int kAcceptPauseMs = 100;            // after "Eroare accept()"
constexpr std::chrono::seconds kStopWait(30);  // Stop: for requests to finish
constexpr std::uint32_t kFirstJobBuffer = JobReception::kFirstJobBuffer;
// A request thread that has delivered its job waits this long for another connection
// before it ends: a burst of jobs does not pay for a new thread each, and an idle
// service is soon back to its accept thread alone.
constexpr milliseconds kIdleThreadWait(2000);

std::uint32_t ThreadNumber(std::thread::id id) {
  std::uint32_t n = static_cast<std::uint32_t>(std::hash<std::thread::id>()(id));
  return n ? n : 1;
}

// Gives job exactly size bytes, keeping what it holds; false when memory runs out.
bool Resize(std::vector<char>* job, std::size_t size) {
  try {
    job->reserve(size);
    job->resize(size);
    return true;
  } catch (const std::bad_alloc&) {
    return false;
  }
}

// What is left for jobs beyond their first pieces once every place has its first
// piece kept for it.
std::size_t LargeJobLimitOf(const ReceptionOptions& options) {
  std::size_t firstPieces = static_cast<std::size_t>(options.maxRequests) * kFirstJobBuffer;
  return options.jobMemoryBytes > firstPieces ? options.jobMemoryBytes - firstPieces : 0;
}

}  // namespace

constexpr std::uint32_t JobReception::kFirstJobBuffer;
constexpr std::uint32_t JobReception::kLeastRate;

// One frame being received: its buffer, its deadline, and the room it holds.
struct JobReception::Frame {
  using Clock = std::chrono::steady_clock;
  Clock::time_point started;
  Clock::time_point deadline;
  bool timeoutLowered = false;  // the receive time-out was cut to the deadline
  bool late = false;            // the deadline passed
  std::uint32_t length = 0;     // as promised, once the length word is in
  std::uint32_t received = 0;
  std::size_t largeRoom = 0;    // taken from the room for large jobs
  std::vector<char> job;
};

JobReception::JobReception(const GenerationPolicy& policy, const ReceptionOptions& options,
                           const ServiceSettings& settings, ServiceLog& log,
                           JobDelivery& delivery)
    : policy_(policy),
      options_(options),
      settings_(settings),
      log_(log),
      delivery_(delivery),
      largeJobLimit_(LargeJobLimitOf(options)) {}

JobReception::~JobReception() { Stop(); }

void JobReception::SetAliveReport(void (*alive)(), long long intervalMs) {
  alive_ = intervalMs > 0 ? alive : nullptr;
  aliveInterval_ = milliseconds(intervalMs > 0 ? intervalMs : 0);
}

// Reports at most twice an interval, so that a busy accept loop costs no more than an
// idle one; the loop comes here at least every half interval, which keeps every gap
// within the interval.
void JobReception::ReportAliveIfDue() {
  if (!alive_) return;
  auto now = std::chrono::steady_clock::now();
  if (now - lastAlive_ < aliveInterval_ / 2) return;
  lastAlive_ = now;
  alive_();
}

bool JobReception::Start() {
  {
    std::lock_guard<std::mutex> lock(stateMutex_);
    if (started_) return false;  // a second accept thread could not listen anyway
    started_ = true;
  }
  // Every connection holds a descriptor until its request ends (idle ones until their
  // time-out); the default limit would leave room for only about a thousand.
  platform::RaiseOpenFileLimit();
  try {
    acceptThread_ = std::thread(&JobReception::AcceptThread, this);
  } catch (...) {
    log_.Write("Nu pot crea thread Accept");
    return false;
  }
  acceptThreadId_ = ThreadNumber(acceptThread_.get_id());
  return true;
}

void JobReception::Stop() {
  {
    std::lock_guard<std::mutex> lock(stateMutex_);
    stopping_ = true;
    // Requests still waiting for bytes give up now instead of at their time-out.
    for (CSocket* connection : openConnections_) InterruptSocket(connection->handle);
  }
  stateChanged_.notify_all();
  connectionWaiting_.notify_all();
  {
    std::lock_guard<std::mutex> lock(memoryMutex_);
  }
  memoryFreed_.notify_all();
  delivery_.Stop();

  if (acceptThread_.joinable()) {
    // A connection of our own wakes an accept thread that is blocked in Accept.
    try {
      CSocket wake("127.0.0.1", options_.port);
    } catch (...) {
    }
    acceptThread_.join();
  }
  // The counts of refusals not yet written.
  std::vector<std::string> lines;
  refusals_.Flush(&lines);
  LogRefusals(lines);
  std::unique_lock<std::mutex> lock(stateMutex_);
  listeningSocket_.reset();
  listening_ = false;

  // Requests still delivering a job get a while to finish it. A delivery that takes
  // longer (a large job on a slow serial line) is cut off when the process ends, as
  // the service has always done, instead of holding up the stop.
  stateChanged_.wait_for(lock, kStopWait,
                         [this] { return activeRequests_ == 0 && idleThreads_ == 0; });
}

const CSocket* JobReception::HandOffSlot() const {
  std::lock_guard<std::mutex> lock(stateMutex_);
  return handOffSlot_.get();
}

const CSocket* JobReception::ListeningSocket() const {
  std::lock_guard<std::mutex> lock(stateMutex_);
  return listeningSocket_.get();
}

bool JobReception::StopRequested() {
  std::lock_guard<std::mutex> lock(stateMutex_);
  return stopping_;
}

void JobReception::SleepUnlessStopped(int ms) {
  std::unique_lock<std::mutex> lock(stateMutex_);
  stateChanged_.wait_for(lock, milliseconds(ms), [this] { return stopping_; });
}

void JobReception::SettingsRead() {
  {
    std::lock_guard<std::mutex> lock(stateMutex_);
    settingsRead_ = true;
  }
  stateChanged_.notify_all();
}

// Connections accepted before the start-up has finished reading the settings wait
// here, so that none is delivered with half-read settings.
void JobReception::WaitSettingsRead() {
  std::unique_lock<std::mutex> lock(stateMutex_);
  stateChanged_.wait(lock, [this] { return settingsRead_ || stopping_; });
}

// The listening socket is tried until it can be made (port in use, network not yet
// up): each failure is logged with the socket layer's text and retried after 5 s.
bool JobReception::CreateListeningSocket() {
  while (!StopRequested()) {
    try {
      std::unique_ptr<CSocket> socket(new CSocket(options_.port));
      {
        std::lock_guard<std::mutex> lock(stateMutex_);
        listeningSocket_ = std::move(socket);
      }
      listening_ = true;
      return true;
    } catch (const CSocketException& e) {
      log_.Write(e.Text());
    } catch (...) {
      log_.Write("Nu pot crea socket-ul de ascultare");
    }
    ReportAliveIfDue();  // retrying is this thread's work while the port is taken
    SleepUnlessStopped(kListenRetryMs);
  }
  return false;
}

// Only this thread sets the listening socket, so it uses it without the lock.
void JobReception::AcceptThread() {
  if (!CreateListeningSocket()) return;
  while (!StopRequested()) {
    try {
      WaitForPlace();
      if (StopRequested()) break;
      if (!ClientWaiting()) continue;
      std::unique_ptr<CSocket> connection(listeningSocket_->Accept());
      if (StopRequested()) break;
      if (!connection) {
        log_.Write("Eroare accept()");
        // A lasting failure (no descriptors left) must not fill the disk at full speed.
        SleepUnlessStopped(kAcceptPauseMs);
        continue;
      }
      WaitSettingsRead();  // allowFrom is part of the settings
      if (!Allowed(*connection)) continue;  // closed at once; nothing is read from it
      if (!HandOff(std::move(connection))) return;  // no further jobs until a restart
    } catch (...) {
      // Whatever went wrong in this pass, the next one starts afresh.
    }
  }
}

// A refused connection is logged at most once a minute per address (refusal_log.h).
bool JobReception::Allowed(const CSocket& connection) {
  std::uint32_t address = static_cast<std::uint32_t>(connection.peerAddress);
  std::vector<std::string> lines;
  bool allowed = settings_.allowList.Allows(address);
  if (allowed) {
    if (settings_.allowList.Active()) refusals_.Expire(RefusalLog::Clock::now(), &lines);
  } else {
    refusals_.Refused(address, RefusalLog::Clock::now(), &lines);
  }
  LogRefusals(lines);
  return allowed;
}

void JobReception::LogRefusals(const std::vector<std::string>& lines) {
  for (const std::string& line : lines) log_.Write(line.c_str());
}

// The accept thread takes a connection only when a place is free for it. Requests
// end by their own time-outs, so a wait for a place is work, not a hang: it goes on
// reporting to the watchdog.
void JobReception::WaitForPlace() {
  std::unique_lock<std::mutex> lock(stateMutex_);
  if (activeRequests_ < options_.maxRequests) return;
  acceptWaits_ = true;
  auto placeFree = [this] { return stopping_ || activeRequests_ < options_.maxRequests; };
  if (alive_) {
    while (!stateChanged_.wait_for(lock, aliveInterval_ / 2, placeFree)) ReportAliveIfDue();
  } else {
    stateChanged_.wait(lock, placeFree);
  }
  acceptWaits_ = false;
}

// Watched by the service manager, the accept thread reports and then waits for a
// client at most half an interval, so that an idle service goes on reporting; true
// when Accept may be called (a client is there, or the wait failed and Accept says
// so). Unwatched, Accept alone waits.
bool JobReception::ClientWaiting() {
  if (!alive_) return true;
  ReportAliveIfDue();
  int waitMs = static_cast<int>(std::max<long long>(1, (aliveInterval_ / 2).count()));
  return listeningSocket_->WaitForClient(waitMs) != 0;
}

// Hands the connection on with the accept line, in the generation's order, and waits
// until a new request thread has taken it. False, after its log line and with the
// connection closed, when no request thread can be started.
bool JobReception::HandOff(std::unique_ptr<CSocket> connection) {
  bool toIdleThread = false;
  bool passed = log_.WriteAround("Conexiune acceptata", policy_.acceptLine, [&] {
    return PassOn(std::move(connection), &toIdleThread);
  });
  while (!passed) {
    log_.Write("Nu pot crea thread Process Request");
    std::unique_ptr<CSocket> back;
    {
      std::lock_guard<std::mutex> lock(stateMutex_);
      back = std::move(handOffSlot_);
      --activeRequests_;
    }
    // Threads end as requests end: once one has, a new thread may be possible again.
    if (!WaitForARequestToEnd()) {
      if (StopRequested()) {
        if (back) back->Close();  // the service is stopping: nothing more is received
        return false;
      }
      CannotServe(std::move(back));
      return false;
    }
    passed = PassOn(std::move(back), &toIdleThread);
  }
  if (!toIdleThread) WaitForHandOff();
  return true;
}

// Waits until a running request has ended; false at once when none runs (or the
// service stops).
bool JobReception::WaitForARequestToEnd() {
  std::unique_lock<std::mutex> lock(stateMutex_);
  if (activeRequests_ == 0 || stopping_) return false;
  std::uint64_t ended = requestsEnded_;
  acceptWaits_ = true;
  stateChanged_.wait(lock, [&] { return stopping_ || requestsEnded_ != ended; });
  acceptWaits_ = false;
  return !stopping_;
}

// No request thread can be started although none runs: the connection in hand is
// served on this thread, so that its job is not lost, then the listening socket is
// closed so that clients are refused instead of sending jobs nobody reads, and the
// service ends with an error for the service manager to start it again.
void JobReception::CannotServe(std::unique_ptr<CSocket> connection) {
  {
    std::lock_guard<std::mutex> lock(stateMutex_);
    ++activeRequests_;
    AdoptConnection(connection.get());
  }
  WaitSettingsRead();
  ServeConnection(std::move(connection));
  {
    std::lock_guard<std::mutex> lock(stateMutex_);
    --activeRequests_;
    if (listeningSocket_) listeningSocket_->Close();
  }
  listening_ = false;
  log_.Write("Nu pot crea thread-uri: serviciul se opreste");
  if (options_.cannotServe) options_.cannotServe();
}

// Gives the connection to a request thread waiting for one, or to a new one through
// the hand-off slot. False when the new thread cannot be started.
bool JobReception::PassOn(std::unique_ptr<CSocket> connection, bool* toIdleThread) {
  {
    std::lock_guard<std::mutex> lock(stateMutex_);
    ++activeRequests_;
    *toIdleThread = static_cast<std::size_t>(idleThreads_) > idleHandOffs_.size();
    if (*toIdleThread) {
      idleHandOffs_.push_back(std::move(connection));
    } else {
      handOffSlot_ = std::move(connection);
    }
  }
  if (*toIdleThread) {
    connectionWaiting_.notify_one();
    return true;
  }
  try {
    std::thread(&JobReception::RequestThread, this).detach();
  } catch (...) {
    return false;
  }
  return true;
}

// The accept thread goes on as soon as the request thread has taken the connection;
// one look lasts at most 300 ms.
void JobReception::WaitForHandOff() {
  std::unique_lock<std::mutex> lock(stateMutex_);
  while (handOffSlot_) stateChanged_.wait_for(lock, kHandOffPoll);
}

void JobReception::RequestThread() {
  std::unique_ptr<CSocket> connection;
  {
    // Taking the connection out of the slot is the first thing the thread does.
    std::lock_guard<std::mutex> lock(stateMutex_);
    connection = std::move(handOffSlot_);
    if (connection) AdoptConnection(connection.get());
  }
  stateChanged_.notify_all();
  if (!connection) {
    // Nothing was handed over; the request the accept thread counted ends here.
    std::lock_guard<std::mutex> lock(stateMutex_);
    --activeRequests_;
    ++requestsEnded_;
    stateChanged_.notify_all();
    return;
  }

  while (connection) {
    WaitSettingsRead();
    ServeConnection(std::move(connection));
    connection = NextConnection();
  }
}

// Counts the connection as open, so that a stop can interrupt it; one taken while
// the service is stopping is interrupted at once.
void JobReception::AdoptConnection(CSocket* connection) {
  openConnections_.insert(connection);
  if (stopping_) InterruptSocket(connection->handle);
}

// Ends the request just served and waits for the accept thread to hand over the next
// connection; null when none came in time or the service is stopping.
std::unique_ptr<CSocket> JobReception::NextConnection() {
  std::unique_lock<std::mutex> lock(stateMutex_);
  --activeRequests_;
  ++requestsEnded_;
  ++idleThreads_;
  // Only a stop, or an accept thread waiting for a place, waits for these counts; a
  // wake-up nobody waits for costs a system call per job.
  if (stopping_ || acceptWaits_) stateChanged_.notify_all();
  connectionWaiting_.wait_for(lock, kIdleThreadWait,
                              [this] { return stopping_ || !idleHandOffs_.empty(); });
  --idleThreads_;
  std::unique_ptr<CSocket> connection;
  // A queued connection is taken even while stopping: it is already counted, and
  // only a waiting thread can end it.
  if (!idleHandOffs_.empty()) {
    connection = std::move(idleHandOffs_.front());
    idleHandOffs_.pop_front();
    AdoptConnection(connection.get());
  }
  bool stopWaits = stopping_;
  lock.unlock();
  if (stopWaits) stateChanged_.notify_all();
  return connection;
}

void JobReception::ForgetConnection(std::unique_ptr<CSocket> connection) {
  {
    std::lock_guard<std::mutex> lock(stateMutex_);
    openConnections_.erase(connection.get());
  }
  connection->Close();
}

void JobReception::LogIfAny(const char* line) {
  if (line) log_.Write(line);
}

void JobReception::ServeConnection(std::unique_ptr<CSocket> connection) {
  if (!connection) return;
  LogIfAny(policy_.requestBegins);
  bool handled = ReceiveAndDeliver(*connection);
  ForgetConnection(std::move(connection));  // nothing is sent to the client before
  if (handled) LogIfAny(policy_.requestEnds);
}

// False, after its log line, when the frame cannot be received or the job cannot be
// delivered; the job buffer is freed (and its room given back) before the connection
// is closed.
bool JobReception::ReceiveAndDeliver(CSocket& connection) {
  connection.SetReceiveTimeout(options_.receiveTimeoutMs);
  Frame frame;
  frame.started = Frame::Clock::now();
  frame.deadline = frame.started + milliseconds(2LL * options_.receiveTimeoutMs);
  // The room a large job took is given back once it has been delivered or given up.
  struct RoomBack {
    JobReception* reception;
    Frame& frame;
    ~RoomBack() { reception->GiveLargeJobRoom(frame.largeRoom); }
  } roomBack{this, frame};
  if (!ReceiveFrame(connection, frame)) return false;
  // The job is text: printer, serial port and job copy get the bytes before the
  // first zero byte. An empty job prints nothing and is not an error.
  std::size_t textLength = std::strlen(frame.job.data());
  if (textLength == 0) return true;
  std::uint32_t sender = static_cast<std::uint32_t>(connection.peerAddress);
  if (!delivery_.Deliver(frame.job.data(), textLength, sender)) return false;
  LogIfAny(policy_.jobDelivered);
  return true;
}

// One receive, within the frame's deadline: the receive time-out is cut to what is left
// of it once that is less than the silence time-out.
int JobReception::ReceiveWithin(CSocket& connection, char* buffer, int size, Frame& frame) {
  auto left = std::chrono::duration_cast<milliseconds>(frame.deadline - Frame::Clock::now());
  if (left.count() <= 0) {
    frame.late = true;
    return -1;
  }
  if (left.count() < options_.receiveTimeoutMs) {
    connection.SetReceiveTimeout(static_cast<int>(left.count()));
    frame.timeoutLowered = true;
  }
  int n = connection.Receive(buffer, size, false);
  // The system's receive time-out may end a tick before the deadline it was cut to.
  constexpr milliseconds kTimerSlack(100);
  if (n < 0 && frame.timeoutLowered && Frame::Clock::now() + kTimerSlack >= frame.deadline) {
    frame.late = true;
  }
  return n;
}

void JobReception::LogReceiveFailure(const Frame& frame) {
  if (!frame.late) {
    log_.Write("Eroare Read()");
    return;
  }
  auto took = std::chrono::duration_cast<std::chrono::seconds>(frame.deadline - frame.started);
  char line[160];
  std::snprintf(line, sizeof line,
                "Eroare Read(): lucrarea nu a sosit intreaga in %lld s (%lu din %lu octeti)",
                static_cast<long long>(took.count()), static_cast<unsigned long>(frame.received),
                static_cast<unsigned long>(frame.length));
  log_.Write(line);
}

// The wire frame's job, zero-terminated, into frame.job; false after the log line.
bool JobReception::ReceiveFrame(CSocket& connection, Frame& frame) {
  // The length word and, for a label of ordinary size, the whole job arrive together:
  // the first receive takes whatever is there, up to this first piece, so that most
  // jobs need no second one. Bytes beyond the frame are never used.
  char first[1024];
  static_assert(sizeof first <= kFirstJobBuffer, "the first piece fits the job buffer");
  std::uint32_t have = 0;
  while (have < wire::kLengthSize) {
    int n = ReceiveWithin(connection, first + have, static_cast<int>(sizeof first - have), frame);
    if (n <= 0) {
      LogReceiveFailure(frame);
      return false;
    }
    have += static_cast<std::uint32_t>(n);
  }
  std::uint32_t length = wire::DecodeLength(reinterpret_cast<unsigned char*>(first));
  // Lengths beyond the largest label job are refused without trying to allocate them.
  if (length > wire::kMaxJobLength) {
    log_.Write("Eroare: Nu pot aloca memorie");
    return false;
  }
  frame.length = length;
  frame.deadline += std::chrono::seconds(length / kLeastRate);
  std::uint32_t arrived = std::min<std::uint32_t>(have - wire::kLengthSize, length);
  return ReceiveJob(connection, frame, first + wire::kLengthSize, arrived);
}

// Receives the job of frame.length bytes, of which the first arrived bytes are already
// in first. The buffer grows with the bytes that actually come, so a length word alone
// (a client that then stalls or vanishes) does not hold up to 16 MiB of memory; a job
// longer than the first buffer takes room for the rest of its length before it grows
// past it. False after the log line: "Eroare Read()" when the peer closes first, a
// receive fails or the receive time-out passes with nothing new, the deadline line when
// the frame's time is up (waiting for bytes or for room), the memory line when the
// buffer cannot grow.
bool JobReception::ReceiveJob(CSocket& connection, Frame& frame, const char* first,
                              std::uint32_t arrived) {
  const std::uint32_t length = frame.length;
  std::vector<char>* job = &frame.job;
  // What arrived with the length word always fits the first buffer.
  std::uint32_t capacity = std::min(length, kFirstJobBuffer);
  if (!Resize(job, capacity + 1)) {
    log_.Write("Eroare: Nu pot aloca memorie");
    return false;
  }
  std::memcpy(job->data(), first, arrived);
  frame.received = arrived;
  while (frame.received < length) {
    if (frame.received == capacity) {
      if (capacity == kFirstJobBuffer && !TakeLargeJobRoom(frame, length - capacity)) {
        LogReceiveFailure(frame);
        return false;
      }
      std::uint32_t larger = capacity > length / 2 ? length : capacity * 2;
      if (!Resize(job, larger + 1)) {
        log_.Write("Eroare: Nu pot aloca memorie");
        return false;
      }
      capacity = larger;
    }
    int n = ReceiveWithin(connection, job->data() + frame.received,
                          static_cast<int>(capacity - frame.received), frame);
    if (n <= 0) {
      LogReceiveFailure(frame);
      return false;
    }
    frame.received += static_cast<std::uint32_t>(n);
  }
  (*job)[length] = '\0';
  return true;
}

// Takes bytes of room for a large job, waiting until there is room, the frame's
// deadline passes (frame.late) or the service stops.
bool JobReception::TakeLargeJobRoom(Frame& frame, std::size_t bytes) {
  std::unique_lock<std::mutex> lock(memoryMutex_);
  bool room = memoryFreed_.wait_until(lock, frame.deadline, [&] {
    return largeJobBytes_ + bytes <= largeJobLimit_ || StopRequested();
  });
  if (!room || largeJobBytes_ + bytes > largeJobLimit_) {
    frame.late = !StopRequested();
    return false;
  }
  largeJobBytes_ += bytes;
  frame.largeRoom = bytes;
  return true;
}

void JobReception::GiveLargeJobRoom(std::size_t bytes) {
  if (bytes == 0) return;
  {
    std::lock_guard<std::mutex> lock(memoryMutex_);
    largeJobBytes_ -= bytes;
  }
  memoryFreed_.notify_all();
}
