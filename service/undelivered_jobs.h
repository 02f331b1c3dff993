// The file of undelivered jobs: every label job that was received whole but could not
// be delivered (the serial port could not be opened, the line stopped taking bytes,
// the printer queue refused it) is appended to it, so that no accepted label vanishes
// without a trace. Nothing is ever printed from it by the service: a label that comes
// out late, beside another patient's tubes, is a risk, and reprinting is a person's
// decision.
//
// Each entry is a header line, in the form of a log line, then the job's bytes as they
// came, so that one entry can be cut out and sent to a printer again:
//
//   <CR LF>2026-12-10 9:41:7 - Eticheta netiparita de la 10.1.2.3, 131 octeti: <reason><CR LF>
//   <the 131 bytes of the job>
//
// (line ends as the service log stores them: CR LF on Windows, LF elsewhere). The file
// holds patient data and is created like the job copy, for its owner only.
#pragma once

#include <cstddef>
#include <cstdint>
#include <mutex>
#include <string>

class UndeliveredJobs {
 public:
  explicit UndeliveredJobs(std::string path) : path_(std::move(path)) {}
  UndeliveredJobs(const UndeliveredJobs&) = delete;
  UndeliveredJobs& operator=(const UndeliveredJobs&) = delete;

  // Appends one entry; false when the file cannot be written.
  bool Keep(const char* job, std::size_t length, std::uint32_t sender, const char* reason);

  const char* Path() const { return path_.c_str(); }

 private:
  const std::string path_;
  std::mutex mutex_;  // entries never interleave
};

// The header's message without time: "Eticheta netiparita de la a.b.c.d, N octeti:
// reason" (what the event log and the status line say about the job too).
std::string UndeliveredJobText(std::uint32_t sender, std::size_t length, const char* reason);

// Where a service that keeps its job copies inside its log keeps undelivered jobs:
// beside the log, its name with ".UNDELIVERED.LOG" for the final ".LOG" (any case), or
// with ".UNDELIVERED.LOG" added when the name has no ".LOG".
std::string UndeliveredPathBesideLog(const char* logPath);
