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

constexpr int kPortRetries = 5;               // a port another program holds: retries ...
constexpr milliseconds kPortRetryPause(500);  // ... this far apart

}  // namespace

JobDelivery::JobDelivery(const ServiceSettings& settings, ServiceLog& log,
                         const GenerationPolicy& policy, const std::string& undeliveredPath,
                         JobTally& tally, int serialStallMs)
    : settings_(settings),
      log_(log),
      serviceName_(policy.serviceName),
      copies_(log, policy.jobCopy),
      undelivered_(undeliveredPath),
      tally_(tally),
      serialStallMs_(serialStallMs) {}

bool JobDelivery::Deliver(const char* job, std::size_t length, std::uint32_t sender) {
  tally_.Received();
  if (settings_.printerName[0] == '\0') return DeliverToSerialPort(job, length, sender);
  bool printed = PrintRaw(log_, settings_.printerName, job, static_cast<int>(length)) != 0;
  if (!printed) log_.Write("Failed to send data to printer.");
  copies_.Append(job, length);
  if (printed) {
    tally_.Printed();
  } else {
    KeepUndelivered(job, length, sender, "Failed to send data to printer.");
  }
  return true;
}

void JobDelivery::KeepUndelivered(const char* job, std::size_t length, std::uint32_t sender,
                                  const char* reason) {
  undelivered_.Keep(job, length, sender, reason);
  std::string text = UndeliveredJobText(sender, length, reason);
  tally_.Undelivered(reason);
  if (report_) report_(serviceName_, text.c_str());
}

// Serial mode: wait for the turn, open the port for exclusive use (retrying while
// another program holds it), write the job copy, write the job, close.
bool JobDelivery::DeliverToSerialPort(const char* job, std::size_t length,
                                      std::uint32_t sender) {
  const ServiceSettings& s = settings_;
  char line[128];
  if (!AcquirePort()) {
    KeepUndelivered(job, length, sender, "Serviciul s-a oprit inainte de tiparire");
    return false;
  }
  PortSerialv2 port;
  LineSettings lineSettings =
      MakeLineSettings(s.baudRate, s.dataBits, s.parityCode, s.stopBitsCode);
  bool opened = false;
  for (int retries = 0;; ++retries) {
    if (port.Open(s.portName, lineSettings)) {
      opened = true;
      break;
    }
    // Only a port held by someone else is worth waiting for.
    bool busy = platform::LastErrorKind() == platform::ErrorKind::kBusy;
    if (!busy || retries >= kPortRetries) break;
    std::this_thread::sleep_for(kPortRetryPause);
  }
  if (!opened) {
    ReleasePort();
    std::snprintf(line, sizeof line, "Nu pot deschide portul '%s'", s.portName);
    log_.Write(line);
    KeepUndelivered(job, length, sender, line);
    return false;
  }

  copies_.Append(job, length);
  PortSerialv2::WriteOutcome outcome =
      port.WriteUnlessStalled(job, static_cast<unsigned long>(length), serialStallMs_);
  unsigned long code = platform::LastSystemError();
  port.Close();
  ReleasePort();
  switch (outcome) {
    case PortSerialv2::kWritten:
      tally_.Printed();
      break;
    case PortSerialv2::kWriteStalled:
      std::snprintf(line, sizeof line, "Portul '%s' nu a mai primit date %d s: lucrare netiparita",
                    s.portName, serialStallMs_ / 1000);
      log_.Write(line);
      KeepUndelivered(job, length, sender, line);
      break;
    case PortSerialv2::kWriteFailed:
      // The service log has no line for a failed write; the job is kept all the same.
      std::snprintf(line, sizeof line, "Scrierea pe portul '%s' a esuat (eroare %lu)", s.portName,
                    code);
      KeepUndelivered(job, length, sender, line);
      break;
  }
  return true;
}

// Requests of this service take turns at the serial port in the order they come, for
// as long as the one writing takes: a long series on a slow line holds the port for
// minutes, and a write that stops making progress ends at its stall time, so every
// turn comes. Holders outside the process are met by the busy-port retries.
bool JobDelivery::AcquirePort() {
  std::unique_lock<std::mutex> lock(portMutex_);
  std::uint64_t ticket = nextTicket_++;
  portTurn_.wait(lock, [&] { return stopping_ || nowServing_ == ticket; });
  // Stopping: requests still waiting give up; the one whose turn it is goes on.
  return nowServing_ == ticket;
}

void JobDelivery::ReleasePort() {
  {
    std::lock_guard<std::mutex> lock(portMutex_);
    ++nowServing_;
  }
  portTurn_.notify_all();
}

void JobDelivery::Stop() {
  {
    std::lock_guard<std::mutex> lock(portMutex_);
    stopping_ = true;
  }
  portTurn_.notify_all();
}
