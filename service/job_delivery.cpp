#include "service/job_delivery.h"

#include <chrono>
#include <cstdio>
#include <thread>

#include "platform/system_error.h"
#include "service/print_raw.h"
#include "service/service_settings.h"
#include "transport/serial_port.h"

namespace {

using std::chrono::milliseconds;

constexpr int kPortRetries = 5;                // busy serial port: retries ...
constexpr milliseconds kPortRetryPause(500);   // ... this far apart
// A request waiting for another request of this service to finish with the serial
// port gives up when that one has held it this long without letting go (a little
// more than the busy-port retries take).
constexpr milliseconds kPortTurnWait(3000);

}  // namespace

JobDelivery::JobDelivery(const ServiceSettings& settings, ServiceLog& log,
                         const JobCopyPlace& copyPlace)
    : settings_(settings), log_(log), copies_(log, copyPlace) {}

bool JobDelivery::Deliver(const char* job, std::size_t length) {
  if (settings_.printerName[0] == '\0') return DeliverToSerialPort(job, length);
  if (!PrintRaw(log_, settings_.printerName, job, static_cast<int>(length))) {
    log_.Write("Failed to send data to printer.");
  }
  copies_.Append(job, length);
  return true;
}

// Serial mode: open the port for exclusive use (retrying while it is busy), write the
// job copy, write the job, close. False, after its log line, when the port cannot be
// opened; the job is then dropped.
bool JobDelivery::DeliverToSerialPort(const char* job, std::size_t length) {
  const ServiceSettings& s = settings_;
  PortSerialv2 port;
  LineSettings line = MakeLineSettings(s.baudRate, s.dataBits, s.parityCode, s.stopBitsCode);

  bool opened = false;
  bool haveTurn = AcquirePort();
  if (haveTurn) {
    for (int retries = 0;; ++retries) {
      if (port.Open(s.portName, line)) {
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
    std::snprintf(line, sizeof line, "Nu pot deschide portul '%s'", s.portName);
    log_.Write(line);
    return false;
  }

  copies_.Append(job, length);
  port.Write(job, static_cast<unsigned long>(length));
  port.Close();
  ReleasePort();
  return true;
}

// Requests of this service take turns on the serial port, so that a burst of jobs
// does not turn into a race of exclusive opens in which the losers sleep and, after
// five retries, are dropped. Holders outside the process are still met by the
// busy-port retry.
bool JobDelivery::AcquirePort() {
  std::unique_lock<std::mutex> lock(portMutex_);
  while (portInUse_) {
    std::uint64_t seen = portReleases_;
    if (!portReleased_.wait_for(lock, kPortTurnWait,
                                [&] { return !portInUse_ || portReleases_ != seen; })) {
      return false;  // the holder has not let go for too long
    }
  }
  portInUse_ = true;
  return true;
}

void JobDelivery::ReleasePort() {
  {
    std::lock_guard<std::mutex> lock(portMutex_);
    portInUse_ = false;
    ++portReleases_;
  }
  portReleased_.notify_all();
}
