// What sets the two generations of the print service apart in job reception. The
// reception is given one of these and otherwise behaves the same for both.
#pragma once

#include "service/service_log.h"

enum class JobGeneration { kKoldane, kQuorvel };

struct GenerationPolicy {
  // Log lines of a request (null: none): when its thread has taken the connection;
  // after the job has been delivered and copied; after the connection is closed. The
  // last two only for a job handled to the end.
  const char* requestBegins;
  const char* jobDelivered;
  const char* requestEnds;
  // The accept line and the hand-off of the connection to its request thread.
  LineOrder acceptLine;
  JobCopyPlace jobCopy;
  // The file of undelivered jobs: a bare name, in the current folder beside the job
  // copy file; null: beside the service log, named after it (undelivered_jobs.h).
  const char* undeliveredFile;
  // The service's name: its event-log source.
  const char* serviceName;
};

const GenerationPolicy& PolicyOf(JobGeneration generation);
