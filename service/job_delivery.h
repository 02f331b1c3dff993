// Delivering one received job: to the printer queue when a printer name is set,
// otherwise to the serial port, with the job copy of the generation.
#pragma once

#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <mutex>

#include "service/service_log.h"

struct ServiceSettings;

class JobDelivery {
 public:
  // settings are read only, once the start-up has read them.
  JobDelivery(const ServiceSettings& settings, ServiceLog& log, const JobCopyPlace& copyPlace);
  JobDelivery(const JobDelivery&) = delete;
  JobDelivery& operator=(const JobDelivery&) = delete;

  // Printer mode: prints (a failure gets the line "Failed to send data to printer.")
  // and writes the job copy whatever the result. Serial mode: opens the port (retrying
  // while it is busy), writes the job copy, then the job. False, after its log line,
  // only when the serial port cannot be opened: the job is then dropped, without copy.
  bool Deliver(const char* job, std::size_t length);

 private:
  bool DeliverToSerialPort(const char* job, std::size_t length);
  bool AcquirePort();
  void ReleasePort();

  const ServiceSettings& settings_;
  ServiceLog& log_;
  JobCopyWriter copies_;

  // Turn-taking on the serial port among this service's own request threads.
  std::mutex portMutex_;
  std::condition_variable portReleased_;
  bool portInUse_ = false;
  std::uint64_t portReleases_ = 0;
};
