#include "tests/service_frame/child_process.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <chrono>
#include <cstring>
#include <thread>

#include "tests/support/support.h"

extern char** environ;

namespace servicetest {

namespace {

using Clock = std::chrono::steady_clock;

int MillisecondsSince(Clock::time_point start) {
  return static_cast<int>(
      std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count());
}

}  // namespace

ChildProcess::~ChildProcess() {
  if (pid_ > 0) {
    kill(pid_, SIGKILL);
    int status;
    waitpid(pid_, &status, 0);
  }
  if (outFd_ >= 0) close(outFd_);
}

bool ChildProcess::Start(const std::string& program, const std::vector<std::string>& args,
                         const std::vector<std::string>& env, const std::string& cwd) {
  // The environment: the test's own, with env's entries replacing or removing names.
  std::vector<std::string> entries;
  for (char** e = environ; *e; ++e) {
    std::string entry = *e;
    std::string name = entry.substr(0, entry.find('='));
    bool replaced = false;
    for (const std::string& change : env)
      if (change.substr(0, change.find('=')) == name) replaced = true;
    if (!replaced) entries.push_back(entry);
  }
  for (const std::string& change : env)
    if (change.back() != '=') entries.push_back(change);

  std::vector<char*> envp;
  for (std::string& e : entries) envp.push_back(&e[0]);
  envp.push_back(nullptr);
  std::vector<std::string> argStrings;
  argStrings.push_back(program);
  argStrings.insert(argStrings.end(), args.begin(), args.end());
  std::vector<char*> argv;
  for (std::string& a : argStrings) argv.push_back(&a[0]);
  argv.push_back(nullptr);

  int fds[2];
  if (pipe2(fds, O_CLOEXEC) != 0) return false;
  pid_t pid = fork();
  if (pid < 0) {
    close(fds[0]);
    close(fds[1]);
    return false;
  }
  if (pid == 0) {
    dup2(fds[1], 1);
    // The child starts with no signals blocked, as a service manager starts it.
    sigset_t none;
    sigemptyset(&none);
    sigprocmask(SIG_SETMASK, &none, nullptr);
    if (!cwd.empty() && chdir(cwd.c_str()) != 0) _exit(126);
    execve(program.c_str(), argv.data(), envp.data());
    _exit(127);
  }
  close(fds[1]);
  pid_ = pid;
  outFd_ = fds[0];
  fcntl(outFd_, F_SETFL, fcntl(outFd_, F_GETFL) | O_NONBLOCK);
  return true;
}

void ChildProcess::Signal(int signal) {
  if (pid_ > 0) kill(pid_, signal);
}

void ChildProcess::Drain() {
  if (outFd_ < 0) return;
  char buffer[4096];
  for (;;) {
    ssize_t n = read(outFd_, buffer, sizeof buffer);
    if (n > 0) {
      output_.append(buffer, static_cast<std::size_t>(n));
      continue;
    }
    if (n < 0 && errno == EINTR) continue;
    break;
  }
}

bool ChildProcess::Wait(int timeoutMs, int* exitCode) {
  if (pid_ <= 0) return false;
  Clock::time_point start = Clock::now();
  for (;;) {
    Drain();
    int status;
    pid_t r = waitpid(pid_, &status, WNOHANG);
    if (r == pid_) {
      pid_ = -1;
      Drain();
      *exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
      return true;
    }
    if (MillisecondsSince(start) >= timeoutMs) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
}

std::string ChildProcess::Output() {
  Drain();
  return output_;
}

std::string RunProgram(const std::string& program, const std::vector<std::string>& args,
                       const std::vector<std::string>& env, int* exitCode, int timeoutMs) {
  ChildProcess child;
  *exitCode = -1;
  if (!child.Start(program, args, env)) return "";
  if (!child.Wait(timeoutMs, exitCode)) *exitCode = -1;
  return child.Output();
}

DatagramSink::DatagramSink(const std::string& path) : path_(path) {
  fd_ = socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC, 0);
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  std::strncpy(address.sun_path, path.c_str(), sizeof address.sun_path - 1);
  unlink(path.c_str());
  if (bind(fd_, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
    close(fd_);
    fd_ = -1;
  }
}

DatagramSink::~DatagramSink() {
  if (fd_ >= 0) close(fd_);
  unlink(path_.c_str());
}

std::string DatagramSink::Receive(int timeoutMs) {
  if (fd_ < 0) return "";
  pollfd p = {fd_, POLLIN, 0};
  if (poll(&p, 1, timeoutMs) <= 0) return "";
  char buffer[4096];
  ssize_t n = recv(fd_, buffer, sizeof buffer, 0);
  return n > 0 ? std::string(buffer, static_cast<std::size_t>(n)) : std::string();
}

std::vector<std::string> DatagramSink::ReceiveUntil(const std::string& text, int timeoutMs) {
  std::vector<std::string> received;
  Clock::time_point start = Clock::now();
  for (;;) {
    int left = timeoutMs - MillisecondsSince(start);
    if (left <= 0) return {};
    std::string d = Receive(left);
    if (d.empty()) return {};
    received.push_back(d);
    if (d.find(text) != std::string::npos) return received;
  }
}

int FreeTcpPort() {
  int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  a.sin_port = 0;
  bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a);
  socklen_t len = sizeof a;
  getsockname(fd, reinterpret_cast<sockaddr*>(&a), &len);
  close(fd);
  return ntohs(a.sin_port);
}

bool SendLabel(int port, const std::string& job, int timeoutMs) {
  Clock::time_point start = Clock::now();
  for (;;) {
    int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    a.sin_port = htons(static_cast<unsigned short>(port));
    if (connect(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0) {
      std::string frame(4, '\0');
      std::uint32_t n = static_cast<std::uint32_t>(job.size());
      for (int i = 0; i < 4; ++i) frame[i] = static_cast<char>((n >> (8 * i)) & 0xff);
      frame += job;
      bool ok = send(fd, frame.data(), frame.size(), MSG_NOSIGNAL) ==
                static_cast<ssize_t>(frame.size());
      close(fd);
      return ok;
    }
    close(fd);
    if (MillisecondsSince(start) >= timeoutMs) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
}

std::string WaitForFileContaining(const std::string& path, const std::string& text,
                                  int timeoutMs) {
  Clock::time_point start = Clock::now();
  for (;;) {
    std::string content = testsupport::ReadFile(path);
    if (content.find(text) != std::string::npos || MillisecondsSince(start) >= timeoutMs)
      return content;
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
}

}  // namespace servicetest
