#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstring>
#include <thread>

#include "tests/support/process.h"
#include "tests/support/support.h"

extern char** environ;

namespace testsupport {

ProcessResult RunProgram(const std::string& program, const std::string& argument,
                         const std::vector<std::string>& extraEnv, int timeoutSeconds,
                         ChildInput input) {
  ProcessResult result;
  TempDir capture;
  const std::string outPath = capture.File("stdout");
  const std::string errPath = capture.File("stderr");

  // Both ends close on exec; the child gets the reading end as its descriptor 0.
  int pipeEnds[2] = {-1, -1};
  if (input == ChildInput::kOpenPipe && pipe2(pipeEnds, O_CLOEXEC) != 0) return result;

  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  if (input == ChildInput::kOpenPipe) {
    posix_spawn_file_actions_adddup2(&actions, pipeEnds[0], 0);
  } else {
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
  }
  posix_spawn_file_actions_addopen(&actions, 1, outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
  posix_spawn_file_actions_addopen(&actions, 2, errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);

  std::vector<char*> argv;
  argv.push_back(const_cast<char*>(program.c_str()));
  if (!argument.empty()) argv.push_back(const_cast<char*>(argument.c_str()));
  argv.push_back(nullptr);

  // Extra entries replace inherited ones of the same name.
  std::vector<char*> envp;
  for (const std::string& e : extraEnv) envp.push_back(const_cast<char*>(e.c_str()));
  for (char** e = environ; *e; ++e) {
    bool replaced = false;
    for (const std::string& x : extraEnv) {
      std::size_t eq = x.find('=');
      if (std::strncmp(x.c_str(), *e, eq + 1) == 0) replaced = true;
    }
    if (!replaced) envp.push_back(*e);
  }
  envp.push_back(nullptr);

  pid_t pid;
  int rc = posix_spawn(&pid, program.c_str(), &actions, nullptr, argv.data(), envp.data());
  posix_spawn_file_actions_destroy(&actions);
  if (pipeEnds[0] >= 0) close(pipeEnds[0]);
  if (rc != 0) {
    if (pipeEnds[1] >= 0) close(pipeEnds[1]);
    return result;
  }
  result.started = true;

  auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(timeoutSeconds);
  int status = 0;
  for (;;) {
    pid_t done = waitpid(pid, &status, WNOHANG);
    if (done == pid) break;
    if (std::chrono::steady_clock::now() > deadline) {
      kill(pid, SIGKILL);
      waitpid(pid, &status, 0);
      result.timedOut = true;
      break;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
  }
  if (pipeEnds[1] >= 0) close(pipeEnds[1]);
  if (WIFEXITED(status)) result.exitCode = static_cast<unsigned long>(WEXITSTATUS(status));
  else if (WIFSIGNALED(status)) result.exitCode = 128ul + static_cast<unsigned long>(WTERMSIG(status));
  result.out = ReadFile(outPath);
  result.err = ReadFile(errPath);
  return result;
}

bool RunUnixShell(const std::string& command) {
  const char* argv[] = {"sh", "-c", command.c_str(), nullptr};
  pid_t pid;
  if (posix_spawn(&pid, "/bin/sh", nullptr, nullptr, const_cast<char**>(argv), environ) != 0) return false;
  int status = 0;
  waitpid(pid, &status, 0);
  return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

const char* NullDevice() { return "/dev/null"; }

unsigned long FailureExitCode() { return 255; }

const char* ProgramSuffix() { return ""; }

std::string NativePath(const std::string& path) { return path; }

}  // namespace testsupport
