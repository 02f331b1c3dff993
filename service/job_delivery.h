// Delivering one received job: to the printer queue when a printer name is set,
// otherwise to the serial port, with the job copy of the generation. A job that cannot
// be delivered is kept in the file of undelivered jobs (undelivered_jobs.h), counted,
// and reported to the program (the event log).
#pragma once

#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <mutex>
#include <string>

#include "service/generation_policy.h"
#include "service/job_tally.h"
#include "service/service_log.h"
#include "service/undelivered_jobs.h"

struct ServiceSettings;

// Called once for each undelivered job with the service's name and a one-line text
// (undelivered_jobs.h, UndeliveredJobText).
using UndeliveredReport = void (*)(const char* serviceName, const char* text);

class JobDelivery {
 public:
  // settings are read only, once the start-up has read them. serialStallMs: how long
  // a serial write may go without the line taking a byte.
  JobDelivery(const ServiceSettings& settings, ServiceLog& log, const GenerationPolicy& policy,
              const std::string& undeliveredPath, JobTally& tally, int serialStallMs);
  JobDelivery(const JobDelivery&) = delete;
  JobDelivery& operator=(const JobDelivery&) = delete;

  void SetUndeliveredReport(UndeliveredReport report) { report_ = report; }

  // Printer mode: prints (a failure gets the line "Failed to send data to printer.")
  // and writes the job copy whatever the result. Serial mode: waits for this service's
  // earlier jobs to finish with the port, opens it (retrying while another program
  // holds it), writes the job copy, then the job. A job not delivered is kept as
  // undelivered. False, after its log line, only when the serial port cannot be
  // opened (no job copy then).
  bool Deliver(const char* job, std::size_t length, std::uint32_t sender);

  // Requests still waiting for their turn at the serial port give up: their jobs are
  // kept as undelivered.
  void Stop();

  const char* UndeliveredPath() const { return undelivered_.Path(); }

 private:
  bool DeliverToSerialPort(const char* job, std::size_t length, std::uint32_t sender);
  void KeepUndelivered(const char* job, std::size_t length, std::uint32_t sender,
                       const char* reason);
  bool AcquirePort();
  void ReleasePort();

  const ServiceSettings& settings_;
  ServiceLog& log_;
  const char* serviceName_;
  JobCopyWriter copies_;
  UndeliveredJobs undelivered_;
  JobTally& tally_;
  const int serialStallMs_;
  UndeliveredReport report_ = nullptr;

  // Turns at the serial port among this service's own requests, in arrival order.
  std::mutex portMutex_;
  std::condition_variable portTurn_;
  std::uint64_t nextTicket_ = 0;
  std::uint64_t nowServing_ = 0;
  bool stopping_ = false;
};
