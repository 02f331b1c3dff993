#include <windows.h>

#include <cstring>

#include "tests/support/process.h"
#include "tests/support/support.h"

namespace testsupport {

namespace {

HANDLE OpenInheritable(const std::string& path, DWORD access, DWORD disposition) {
  SECURITY_ATTRIBUTES sa{};
  sa.nLength = sizeof sa;
  sa.bInheritHandle = TRUE;
  return CreateFileA(path.c_str(), access, FILE_SHARE_READ | FILE_SHARE_WRITE, &sa, disposition,
                     FILE_ATTRIBUTE_NORMAL, nullptr);
}

// The current environment block with extra entries appended.
std::vector<char> EnvironmentWith(const std::vector<std::string>& extraEnv) {
  std::vector<char> block;
  char* env = GetEnvironmentStringsA();
  for (const char* p = env; *p; p += std::strlen(p) + 1) {
    // Extra entries replace inherited ones of the same name.
    bool replaced = false;
    for (const std::string& x : extraEnv) {
      std::size_t eq = x.find('=');
      if (_strnicmp(x.c_str(), p, eq + 1) == 0) replaced = true;
    }
    if (!replaced) block.insert(block.end(), p, p + std::strlen(p) + 1);
  }
  FreeEnvironmentStringsA(env);
  for (const std::string& e : extraEnv) block.insert(block.end(), e.c_str(), e.c_str() + e.size() + 1);
  block.push_back('\0');
  return block;
}

}  // namespace

ProcessResult RunProgram(const std::string& program, const std::string& argument,
                         const std::vector<std::string>& extraEnv, int timeoutSeconds,
                         ChildInput input) {
  ProcessResult result;
  TempDir capture;
  const std::string outPath = capture.File("stdout");
  const std::string errPath = capture.File("stderr");
  HANDLE in = INVALID_HANDLE_VALUE;
  HANDLE pipeWriter = nullptr;  // held until the child has ended
  if (input == ChildInput::kOpenPipe) {
    SECURITY_ATTRIBUTES sa{};
    sa.nLength = sizeof sa;
    sa.bInheritHandle = TRUE;
    if (!CreatePipe(&in, &pipeWriter, &sa, 0)) return result;
    SetHandleInformation(pipeWriter, HANDLE_FLAG_INHERIT, 0);
  } else {
    in = OpenInheritable("NUL", GENERIC_READ, OPEN_EXISTING);
  }
  HANDLE out = OpenInheritable(outPath, GENERIC_WRITE, CREATE_ALWAYS);
  HANDLE err = OpenInheritable(errPath, GENERIC_WRITE, CREATE_ALWAYS);

  STARTUPINFOA si{};
  si.cb = sizeof si;
  si.dwFlags = STARTF_USESTDHANDLES;
  si.hStdInput = in;
  si.hStdOutput = out;
  si.hStdError = err;
  PROCESS_INFORMATION pi{};
  // The program receives the command line as it is: the argument follows the quoted
  // program path after one blank, unquoted.
  std::string commandLine = "\"" + program + "\"";
  if (!argument.empty()) commandLine += " " + argument;
  std::vector<char> line(commandLine.begin(), commandLine.end());
  line.push_back('\0');
  std::vector<char> env = EnvironmentWith(extraEnv);
  BOOL ok = CreateProcessA(program.c_str(), line.data(), nullptr, nullptr, TRUE, 0, env.data(),
                           nullptr, &si, &pi);
  CloseHandle(in);
  CloseHandle(out);
  CloseHandle(err);
  if (!ok) {
    if (pipeWriter) CloseHandle(pipeWriter);
    return result;
  }
  result.started = true;
  if (WaitForSingleObject(pi.hProcess, static_cast<DWORD>(timeoutSeconds) * 1000) != WAIT_OBJECT_0) {
    TerminateProcess(pi.hProcess, 1);
    WaitForSingleObject(pi.hProcess, INFINITE);
    result.timedOut = true;
  }
  if (pipeWriter) CloseHandle(pipeWriter);
  DWORD code = 0;
  GetExitCodeProcess(pi.hProcess, &code);
  result.exitCode = code;
  CloseHandle(pi.hThread);
  CloseHandle(pi.hProcess);
  result.out = ReadFile(outPath);
  result.err = ReadFile(errPath);
  return result;
}

bool RunUnixShell(const std::string& command) {
  // Wine starts a Unix program named by its Unix path.
  std::string commandLine = "/bin/sh -c \"" + command + "\"";
  std::vector<char> line(commandLine.begin(), commandLine.end());
  line.push_back('\0');
  STARTUPINFOA si{};
  si.cb = sizeof si;
  PROCESS_INFORMATION pi{};
  if (!CreateProcessA(nullptr, line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi))
    return false;
  WaitForSingleObject(pi.hProcess, 30000);
  CloseHandle(pi.hThread);
  CloseHandle(pi.hProcess);
  return true;
}

const char* NullDevice() { return "NUL"; }

unsigned long FailureExitCode() { return 4294967295ul; }

const char* ProgramSuffix() { return ".exe"; }

std::string NativePath(const std::string& path) {
  // Under Wine a Unix path of the build tree is reached through drive Z:.
  if (!path.empty() && path[0] == '/') return "Z:" + path;
  return path;
}

}  // namespace testsupport
