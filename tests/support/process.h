// Runs a program as the system runs the label client: one argument, standard input
// from the null device (or a pipe that stays open), standard output and standard
// error captured.
#pragma once

#include <string>
#include <vector>

namespace testsupport {

struct ProcessResult {
  bool started = false;
  bool timedOut = false;      // killed after the time limit
  unsigned long exitCode = 0;  // as the system reports it (-1 is 255 on Linux)
  std::string out;
  std::string err;
};

// What the child's standard input is: the null device (a read gives end of file at
// once), or a pipe whose writing end this process holds open until the child has ended
// (a read waits, as a requesting program that keeps its end open makes it wait).
enum class ChildInput { kNullDevice, kOpenPipe };

// Starts program with argument (on Windows the text after the quoted program path on
// the command line, passed as it is; elsewhere argv[1], left out when empty). extraEnv
// holds "NAME=value" entries added to the environment of the child. A child still
// running after timeoutSeconds is killed (timedOut).
ProcessResult RunProgram(const std::string& program, const std::string& argument,
                         const std::vector<std::string>& extraEnv = {}, int timeoutSeconds = 60,
                         ChildInput input = ChildInput::kNullDevice);

// The exit code that a program's return value of -1 shows as on this system.
unsigned long FailureExitCode();

// Runs command with the Unix shell (/bin/sh -c). Natively it waits for the shell and
// returns its exit code == 0; under Wine it returns once the shell has started, so the
// caller waits for a file that the command writes.
bool RunUnixShell(const std::string& command);

// The null device's name ("/dev/null" or "NUL").
const char* NullDevice();

// File name suffix of programs on this system ("" or ".exe").
const char* ProgramSuffix();

// A path of the build tree usable by the tests' own file functions (a Unix path gets a
// drive letter under Wine).
std::string NativePath(const std::string& path);

}  // namespace testsupport
