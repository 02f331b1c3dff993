// Job reception: the start-up, the accept thread, the hand-off slot and the request
// threads that receive one wire frame per connection and deliver it to a printer queue
// or a serial port, serving one connection after another while they keep coming.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <functional>
#include <new>

#include "platform/open_files.h"
#include "platform/system_error.h"
#include "service/job_server.h"
#include "service/private_file.h"
#include "service/socket_interrupt.h"
#include "transport/serial_port.h"
#include "transport/socket.h"
#include "transport/wire_frame.h"

namespace {

using std::chrono::milliseconds;

constexpr milliseconds kHandOffPoll(300);      // upper bound of one look at the slot
constexpr int kListenRetryMs = 5000;           // listening socket could not be made
constexpr int kAcceptPauseMs = 100;            // after "Eroare accept()"
constexpr int kPortRetries = 5;                // busy serial port: retries ...
constexpr milliseconds kPortRetryPause(500);   // ... this far apart
// A request waiting for another request of this service to finish with the serial
// port gives up when that one has held it this long without letting go (a little
// more than the busy-port retries take).
constexpr milliseconds kPortTurnWait(3000);

constexpr std::chrono::seconds kStopWait(30);  // Stop: for requests to finish
constexpr std::uint32_t kFirstJobBuffer = 64 * 1024;  // a job buffer's first size
// A request thread that has delivered its job waits this long for another connection
// before it ends: a burst of jobs does not pay for a new thread each, and an idle
// service is soon back to its accept thread alone.
constexpr milliseconds kIdleThreadWait(2000);

const char kSeparator[] = "-------------------";
const char kJobCopyFile[] = "_barcodeOUT.log";

std::uint32_t ThreadNumber(std::thread::id id) {
  std::uint32_t n = static_cast<std::uint32_t>(std::hash<std::thread::id>()(id));
  return n ? n : 1;
}

}  // namespace

bool CJobServer::Start() {
  {
    std::lock_guard<std::mutex> lock(stateMutex);
    if (started) return false;  // a second accept thread could not listen anyway
    started = true;
  }
  // Every connection holds a descriptor until its request ends (idle ones until their
  // time-out); the default limit would leave room for only about a thousand.
  platform::RaiseOpenFileLimit();
  try {
    acceptThread = std::thread(&CJobServer::AcceptThread, this);
  } catch (...) {
    Log("Nu pot crea thread Accept");
    return false;
  }
  acceptThreadId = ThreadNumber(acceptThread.get_id());
  return ReadSettings();
}

void CJobServer::Stop() {
  {
    std::lock_guard<std::mutex> lock(stateMutex);
    stopping = true;
    // Requests still waiting for bytes give up now instead of at their time-out.
    for (CSocket* connection : openConnections) InterruptSocket(connection->handle);
  }
  stateChanged.notify_all();
  connectionWaiting.notify_all();

  if (acceptThread.joinable()) {
    // A connection of our own wakes an accept thread that is blocked in Accept.
    try {
      CSocket wake("127.0.0.1", listenPort);
    } catch (...) {
    }
    acceptThread.join();
  }
  delete listeningSocket;
  listeningSocket = nullptr;
  listening = false;

  // Requests still delivering a job get a while to finish it. A delivery that takes
  // longer (a large job on a slow serial line) is cut off when the process ends, as
  // the service has always done, instead of holding up the stop.
  std::unique_lock<std::mutex> lock(stateMutex);
  stateChanged.wait_for(lock, kStopWait,
                        [this] { return activeRequests == 0 && idleThreads == 0; });
}

bool CJobServer::StopRequested() {
  std::lock_guard<std::mutex> lock(stateMutex);
  return stopping;
}

void CJobServer::SleepUnlessStopped(int ms) {
  std::unique_lock<std::mutex> lock(stateMutex);
  stateChanged.wait_for(lock, milliseconds(ms), [this] { return stopping; });
}

void CJobServer::SetSettingsReady() {
  {
    std::lock_guard<std::mutex> lock(stateMutex);
    settingsReady = true;
  }
  stateChanged.notify_all();
}

// Connections accepted before the start-up has finished reading the settings wait
// here, so that none is delivered with half-read settings.
void CJobServer::WaitSettingsReady() {
  std::unique_lock<std::mutex> lock(stateMutex);
  stateChanged.wait(lock, [this] { return settingsReady || stopping; });
}

// The listening socket is tried until it can be made (port in use, network not yet
// up): each failure is logged with the socket layer's text and retried after 5 s.
bool CJobServer::CreateListeningSocket() {
  while (!StopRequested()) {
    try {
      listeningSocket = new CSocket(listenPort);
      listening = true;
      return true;
    } catch (const CSocketException& e) {
      Log(e.Text());
    } catch (...) {
      Log("Nu pot crea socket-ul de ascultare");
    }
    SleepUnlessStopped(kListenRetryMs);
  }
  return false;
}

void CJobServer::AcceptThread() {
  if (!CreateListeningSocket()) return;
  while (!StopRequested()) {
    try {
      CSocket* connection = listeningSocket->Accept();
      if (StopRequested()) {
        delete connection;
        break;
      }
      if (!connection) {
        Log("Eroare accept()");
        // A lasting failure (no descriptors left) must not fill the disk at full speed.
        SleepUnlessStopped(kAcceptPauseMs);
        continue;
      }
      WaitSettingsReady();  // allowFrom is part of the settings
      if (!allowList.Allows(static_cast<std::uint32_t>(connection->peerAddress))) {
        char refused[64];
        AllowList::FormatAddress(static_cast<std::uint32_t>(connection->peerAddress), refused);
        char line[96];
        std::snprintf(line, sizeof line, "Conexiune refuzata de la %s", refused);
        Log(line);
        delete connection;  // closed at once; nothing is read from it
        continue;
      }
      // Koldane's request thread writes nothing to the log on its way to delivering a
      // job, so the accept line is written while that thread wakes; holding the log
      // until then keeps the line before any the request writes. quorvel's request
      // thread writes "IN THREAD" first thing: there the line goes first.
      std::unique_lock<std::mutex> logTurn(logMutex, std::defer_lock);
      if (generation == JobGeneration::kKoldane) {
        logTurn.lock();
      } else {
        Log("Conexiune acceptata");
      }
      bool toIdleThread;
      {
        std::lock_guard<std::mutex> lock(stateMutex);
        ++activeRequests;
        toIdleThread = static_cast<std::size_t>(idleThreads) > idleHandOffs.size();
        if (toIdleThread) {
          idleHandOffs.push_back(connection);
        } else {
          handOffSlot.store(connection);
        }
      }
      bool threadStarted = true;
      if (toIdleThread) {
        connectionWaiting.notify_one();
      } else {
        try {
          std::thread(&CJobServer::RequestThread, this).detach();
        } catch (...) {
          threadStarted = false;
        }
      }
      if (logTurn.owns_lock()) {
        AppendLogLine("Conexiune acceptata");
        logTurn.unlock();
      }
      if (!threadStarted) {
        Log("Nu pot crea thread Process Request");
        CSocket* back;
        {
          std::lock_guard<std::mutex> lock(stateMutex);
          back = handOffSlot.exchange(nullptr);
          --activeRequests;
        }
        stateChanged.notify_all();
        delete back;
        return;  // no further jobs until the service is restarted
      }
      if (!toIdleThread) WaitForHandOff();
    } catch (...) {
      // Whatever went wrong in this pass, the next one starts afresh.
    }
  }
}

// The accept thread goes on as soon as the request thread has taken the connection;
// one look lasts at most 300 ms. With the plain poll it looks only every 300 ms.
void CJobServer::WaitForHandOff() {
  if (plainHandOff) {
    while (handOffSlot.load() != nullptr) std::this_thread::sleep_for(kHandOffPoll);
    return;
  }
  std::unique_lock<std::mutex> lock(stateMutex);
  while (handOffSlot.load() != nullptr) stateChanged.wait_for(lock, kHandOffPoll);
}

void CJobServer::RequestThread() {
  CSocket* connection;
  {
    // Taking the connection out of the slot is the first thing the thread does.
    std::lock_guard<std::mutex> lock(stateMutex);
    connection = handOffSlot.exchange(nullptr);
    if (connection) AdoptConnection(connection);
  }
  stateChanged.notify_all();
  if (!connection) {
    // Nothing was handed over; the request the accept thread counted ends here.
    std::lock_guard<std::mutex> lock(stateMutex);
    --activeRequests;
    stateChanged.notify_all();
    return;
  }

  while (connection) {
    WaitSettingsReady();
    ServeConnection(connection);
    connection = NextConnection();
  }
}

// Counts the connection as open, so that a stop can interrupt it; one taken while
// the service is stopping is interrupted at once.
void CJobServer::AdoptConnection(CSocket* connection) {
  openConnections.insert(connection);
  if (stopping) InterruptSocket(connection->handle);
}

// Ends the request just served and waits for the accept thread to hand over the next
// connection; null when none came in time or the service is stopping.
CSocket* CJobServer::NextConnection() {
  std::unique_lock<std::mutex> lock(stateMutex);
  --activeRequests;
  ++idleThreads;
  // Only a stop waits for these counts; a wake-up nobody waits for costs a system
  // call per job.
  if (stopping) stateChanged.notify_all();
  connectionWaiting.wait_for(lock, kIdleThreadWait,
                             [this] { return stopping || !idleHandOffs.empty(); });
  --idleThreads;
  CSocket* connection = nullptr;
  // A queued connection is taken even while stopping: it is already counted, and
  // only a waiting thread can end it.
  if (!idleHandOffs.empty()) {
    connection = idleHandOffs.front();
    idleHandOffs.pop_front();
    AdoptConnection(connection);
  }
  bool stopWaits = stopping;
  lock.unlock();
  if (stopWaits) stateChanged.notify_all();
  return connection;
}

void CJobServer::ForgetConnection(CSocket* connection) {
  {
    std::lock_guard<std::mutex> lock(stateMutex);
    openConnections.erase(connection);
  }
  connection->Close();
  delete connection;
}

// Receives the job of length bytes, of which the first arrived bytes are already in
// first. The buffer grows with the bytes that actually come, so a length word alone
// (a client that then stalls or vanishes) does not hold up to 16 MiB of memory. The
// job, zero-terminated, in a buffer the caller deletes; null after the log line
// ("Eroare Read()" when the peer closes first, a receive fails or the receive time-out
// passes with nothing new; the memory line when the buffer cannot grow).
char* CJobServer::ReceiveJob(CSocket* connection, const char* first, std::uint32_t arrived,
                             std::uint32_t length) {
  // What arrived with the length word always fits the first buffer.
  std::uint32_t capacity = std::min(length, kFirstJobBuffer);
  char* job = new (std::nothrow) char[capacity + 1];
  if (!job) {
    Log("Eroare: Nu pot aloca memorie");
    return nullptr;
  }
  std::memcpy(job, first, arrived);
  std::uint32_t received = arrived;
  while (received < length) {
    if (received == capacity) {
      std::uint32_t larger = capacity > length / 2 ? length : capacity * 2;
      char* grown = new (std::nothrow) char[larger + 1];
      if (!grown) {
        Log("Eroare: Nu pot aloca memorie");
        delete[] job;
        return nullptr;
      }
      std::memcpy(grown, job, received);
      delete[] job;
      job = grown;
      capacity = larger;
    }
    int n = connection->Receive(job + received, static_cast<int>(capacity - received), false);
    if (n <= 0) {
      Log("Eroare Read()");
      delete[] job;
      return nullptr;
    }
    received += static_cast<std::uint32_t>(n);
  }
  job[length] = '\0';
  return job;
}

void CJobServer::ServeConnection(CSocket* connection) {
  if (!connection) return;
  const bool quorvel = generation == JobGeneration::kQuorvel;
  if (quorvel) Log("IN THREAD");
  connection->SetReceiveTimeout(receiveTimeoutMs);

  // The length word and, for a label of ordinary size, the whole job arrive together:
  // the first receive takes whatever is there, up to this first piece, so that most
  // jobs need no second one. Bytes beyond the frame are never used.
  char first[1024];
  static_assert(sizeof first <= kFirstJobBuffer, "the first piece fits the job buffer");
  std::uint32_t have = 0;
  while (have < wire::kLengthSize) {
    int n = connection->Receive(first + have, static_cast<int>(sizeof first - have), false);
    if (n <= 0) {
      Log("Eroare Read()");
      ForgetConnection(connection);
      return;
    }
    have += static_cast<std::uint32_t>(n);
  }
  std::uint32_t length = wire::DecodeLength(reinterpret_cast<unsigned char*>(first));
  // Lengths beyond the largest label job are refused without trying to allocate them.
  if (length > wire::kMaxJobLength) {
    Log("Eroare: Nu pot aloca memorie");
    ForgetConnection(connection);
    return;
  }
  std::uint32_t arrived = std::min<std::uint32_t>(have - wire::kLengthSize, length);
  char* job = ReceiveJob(connection, first + wire::kLengthSize, arrived, length);
  if (!job) {
    ForgetConnection(connection);
    return;
  }
  // The job is text: printer, serial port and job copy get the bytes before the
  // first zero byte. An empty job prints nothing and is not an error.
  std::size_t textLength = std::strlen(job);

  if (textLength > 0) {
    if (printerName[0] != '\0') {
      if (!PrintRaw(printerName, job, static_cast<int>(textLength))) {
        Log("Failed to send data to printer.");
      }
      WriteJobCopy(job, textLength);
    } else if (!DeliverToSerialPort(job, textLength)) {
      delete[] job;
      ForgetConnection(connection);
      return;
    }
    if (quorvel) Log(kSeparator);
  }

  delete[] job;
  ForgetConnection(connection);
  if (quorvel) Log("OUT THREAD");
}

// Serial mode: open the port for exclusive use (retrying while it is busy), write the
// job copy, write the job, close. False, after its log line, when the port cannot be
// opened; the job is then dropped.
bool CJobServer::DeliverToSerialPort(const char* job, std::size_t length) {
  PortSerialv2 port;
  LineSettings line = MakeLineSettings(baudRate, dataBits, parityCode, stopBitsCode);

  bool opened = false;
  bool haveTurn = AcquirePort();
  if (haveTurn) {
    for (int retries = 0;; ++retries) {
      if (port.Open(portName, line)) {
        opened = true;
        break;
      }
      // Only a port held by someone else is worth waiting for.
      bool busy = platform::LastErrorKind() == platform::ErrorKind::kBusy;
      if (!busy || retries >= kPortRetries) break;
      std::this_thread::sleep_for(kPortRetryPause);
    }
  }
  if (!opened) {
    if (haveTurn) ReleasePort();
    char line[64];
    std::snprintf(line, sizeof line, "Nu pot deschide portul '%s'", portName);
    Log(line);
    return false;
  }

  WriteJobCopy(job, length);
  port.Write(job, static_cast<unsigned long>(length));
  port.Close();
  ReleasePort();
  return true;
}

// Requests of this service take turns on the serial port, so that a burst of jobs
// does not turn into a race of exclusive opens in which the losers sleep and, after
// five retries, are dropped. Holders outside the process are still met by the
// busy-port retry.
bool CJobServer::AcquirePort() {
  std::unique_lock<std::mutex> lock(portMutex);
  while (portInUse) {
    std::uint64_t seen = portReleases;
    if (!portReleased.wait_for(lock, kPortTurnWait,
                               [&] { return !portInUse || portReleases != seen; })) {
      return false;  // the holder has not let go for too long
    }
  }
  portInUse = true;
  return true;
}

void CJobServer::ReleasePort() {
  {
    std::lock_guard<std::mutex> lock(portMutex);
    portInUse = false;
    ++portReleases;
  }
  portReleased.notify_all();
}

// Koldane appends the job to "_barcodeOUT.log" in the current directory; quorvel to
// its service log, after a separator line. The copy follows its separator directly:
// no other line can come between them.
void CJobServer::WriteJobCopy(const char* job, std::size_t length) {
  if (generation == JobGeneration::kQuorvel) {
    std::lock_guard<std::mutex> lock(logMutex);
    AppendLogLine("-------------------\n", job, length);
  } else {
    std::lock_guard<std::mutex> lock(copyMutex);
    AppendToPrivateFile(kJobCopyFile, nullptr, 0, job, length);
  }
}
