// A print service running inside the test process, with real TCP clients.
//
// The service's settings file and log derive from its executable path; the tests give
// each service a path of its own in a fresh folder (on Windows a name ending in ".exe",
// as a real service has), so every test has its own settings file and log.
#pragma once

#include <chrono>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "service/job_server.h"
#include "tests/support/support.h"

namespace servicetest {

// Settings file text from lines, each ended by CR LF.
std::string SettingsText(const std::vector<std::string>& lines);

// The messages of a service log, in order, without their time stamps; line breaks that
// text mode stored as CR LF come back as "\n". Quorvel's job copies stay inside the
// message of the separator line that precedes them.
std::vector<std::string> LogMessages(const std::string& log);

// How often text occurs in haystack.
int Count(const std::string& haystack, const std::string& text);

// Polls until done() holds or timeoutMs passes; returns done().
bool WaitUntil(const std::function<bool()>& done, int timeoutMs = 15000);

class TestService {
 public:
  // Writes settings (when given) beside the service's executable path, then starts it
  // on a free loopback port and waits until it listens.
  TestService(JobGeneration generation, const std::string* settings,
              JobServerOptions options = JobServerOptions(), bool start = true);
  ~TestService();

  CJobServer& Server() { return *server_; }
  int Port() const { return port_; }
  const testsupport::TempDir& Dir() const { return dir_; }

  std::string Log() const;
  std::vector<std::string> Messages() const { return LogMessages(Log()); }
  // Waits until the log holds text at least count times.
  bool WaitForLog(const std::string& text, int count = 1, int timeoutMs = 15000) const;

  // Koldane's job copy, in the current directory (the test's folder).
  std::string JobCopy() const;
  // The file of undelivered jobs, each entry's header line without its time stamp:
  // "|Eticheta netiparita de la 127.0.0.1, 5 octeti: reason\njob bytes|..." (empty when
  // there is no file).
  std::string UndeliveredEntries() const;

 private:
  testsupport::TempDir dir_;
  std::string previousDirectory_;
  int port_;
  std::unique_ptr<CJobServer> server_;
};

// One client: connects, sends the wire frame of job, closes. False when it cannot.
bool SendJob(int port, const std::string& job);
// A frame with any length word, followed by body (possibly shorter or longer).
bool SendRaw(int port, const std::string& bytes);

}  // namespace servicetest
