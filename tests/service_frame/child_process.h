// Test helpers for the Linux service tests: a program run as a child process with its
// own environment and folder, a unix datagram socket that collects what a service
// sends to it (sd_notify, syslog), and a label sent as one wire frame over TCP.
#pragma once

#include <sys/types.h>

#include <string>
#include <vector>

namespace servicetest {

class ChildProcess {
 public:
  ChildProcess() {}
  ~ChildProcess();  // kills a child that still runs
  ChildProcess(const ChildProcess&) = delete;
  ChildProcess& operator=(const ChildProcess&) = delete;

  // Starts program with args (argv[1]...), the test's environment plus env ("NAME=value",
  // or "NAME=" to remove NAME) and the working folder cwd ("" keeps the test's). Its
  // standard output is collected; standard error is the test's.
  bool Start(const std::string& program, const std::vector<std::string>& args,
             const std::vector<std::string>& env = {}, const std::string& cwd = "");
  void Signal(int signal);
  // Waits up to timeoutMs for the end; true with the exit code (128 + signal when it
  // was killed) when it ended.
  bool Wait(int timeoutMs, int* exitCode);
  // Everything the child wrote to standard output so far (complete once it ended).
  std::string Output();
  pid_t Pid() const { return pid_; }

 private:
  void Drain();
  pid_t pid_ = -1;
  int outFd_ = -1;
  std::string output_;
};

// Runs a program to its end (at most timeoutMs) and returns its standard output;
// *exitCode gets the exit code, -1 when it did not end in time.
std::string RunProgram(const std::string& program, const std::vector<std::string>& args,
                       const std::vector<std::string>& env, int* exitCode,
                       int timeoutMs = 30000);

class DatagramSink {
 public:
  explicit DatagramSink(const std::string& path);
  ~DatagramSink();
  DatagramSink(const DatagramSink&) = delete;
  DatagramSink& operator=(const DatagramSink&) = delete;

  const std::string& Path() const { return path_; }
  // The next datagram, or "" when none came within timeoutMs.
  std::string Receive(int timeoutMs);
  // Datagrams until one contains text (that one included); empty when it did not come.
  std::vector<std::string> ReceiveUntil(const std::string& text, int timeoutMs);

 private:
  std::string path_;
  int fd_ = -1;
};

// A free TCP port on 127.0.0.1 at the time of the call.
int FreeTcpPort();

// Connects to 127.0.0.1:port (retrying for up to timeoutMs while nobody listens) and
// sends the job as one wire frame: its length in 4 little-endian bytes, then the bytes.
bool SendLabel(int port, const std::string& job, int timeoutMs = 10000);

// Waits until the file's content contains text; returns the content then, or what it
// held when timeoutMs had passed.
std::string WaitForFileContaining(const std::string& path, const std::string& text,
                                  int timeoutMs);

}  // namespace servicetest
