// Shell() under Wine: Windows has no POSIX shell, so the commands the tests write (one
// program, words quoted as Quote() does, an optional "cd DIR &&" before it, "< FILE"
// and "2>/dev/null") are taken apart here and the program started directly. A Windows
// program of the build tree gets its ".exe"; its standard output is read as a POSIX
// shell's pipe gives it, with the C runtime's CR LF line ends back to LF. zbarimg is the
// system's Linux program: Wine starts it natively, but hands it no pipe and reports no
// exit code, so it runs in /bin/sh with Unix paths for its file arguments, writes its
// output to a file, and the status is 0 once that file is there.
#include <windows.h>

#include <cstdio>
#include <string>
#include <vector>

#include "tests/preview/preview_fixtures.h"
#include "tests/support/process.h"
#include "tests/support/support.h"

namespace previewtest {

namespace {

struct Word {
  std::string text;
  bool quoted = false;  // some of it was quoted: never an operator
};

// Splits a command as a POSIX shell does for the forms above: blanks separate words,
// '...' keeps everything, a backslash outside quotes keeps the next character.
std::vector<Word> Words(const std::string& command) {
  std::vector<Word> words;
  Word word;
  bool inWord = false;
  for (std::size_t i = 0; i < command.size(); ++i) {
    const char c = command[i];
    if (c == '\'') {
      const std::size_t close = command.find('\'', i + 1);
      word.text += command.substr(i + 1, close - i - 1);
      word.quoted = inWord = true;
      i = close == std::string::npos ? command.size() : close;
    } else if (c == '\\' && i + 1 < command.size()) {
      word.text += command[++i];
      word.quoted = inWord = true;
    } else if (c == ' ' || c == '\t' || c == '\n') {
      if (inWord) words.push_back(word);
      word = Word();
      inWord = false;
    } else {
      word.text += c;
      inWord = true;
    }
  }
  if (inWord) words.push_back(word);
  return words;
}

// One argument on a Windows command line, as the C runtime splits it again.
std::string QuoteArgument(const std::string& arg) {
  if (!arg.empty() && arg.find_first_of(" \t\n\"") == std::string::npos) return arg;
  std::string out = "\"";
  std::size_t backslashes = 0;
  for (const char c : arg) {
    if (c == '\\') {
      ++backslashes;
      continue;
    }
    out.append(c == '"' ? backslashes * 2 + 1 : backslashes, '\\');
    backslashes = 0;
    out += c;
  }
  out.append(backslashes * 2, '\\');
  return out + "\"";
}

// Wine's own translation of a Windows path to the Unix one.
std::string UnixPath(const std::string& path) {
  using ToUnix = char*(CDECL*)(const wchar_t*);
  static const ToUnix toUnix =
      reinterpret_cast<ToUnix>(reinterpret_cast<void*>(GetProcAddress(GetModuleHandleA("kernel32.dll"), "wine_get_unix_file_name")));
  if (!toUnix || path.size() < 3 || path[1] != ':') return path;
  std::wstring wide(path.begin(), path.end());
  char* unix = toUnix(wide.c_str());
  if (!unix) return path;
  std::string out(unix);
  HeapFree(GetProcessHeap(), 0, unix);
  return out;
}

HANDLE OpenForReading(const std::string& path) {
  SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
  return CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, &inherit, OPEN_EXISTING, 0, nullptr);
}

// Runs zbarimg through the Unix shell; its standard output, or "" (status -1) when it
// wrote none within 60 seconds.
std::string NativeZbarimg(const std::vector<std::string>& args, bool quietErrors, int* status) {
  testsupport::TempDir folder;
  const std::string out = UnixPath(folder.File("out"));
  std::string command = "zbarimg";
  for (const std::string& a : args) command += " " + Quote(UnixPath(a));
  command += " >" + Quote(out + ".new") + (quietErrors ? " 2>/dev/null" : "") + "; mv " + Quote(out + ".new") +
             " " + Quote(out);
  if (!testsupport::RunUnixShell(command)) return std::string();
  for (int waited = 0; waited < 6000 && !testsupport::FileExists(folder.File("out")); ++waited) Sleep(10);
  if (!testsupport::FileExists(folder.File("out"))) return std::string();
  if (status) *status = 0;
  return testsupport::ReadFile(folder.File("out"));
}

}  // namespace

std::string Shell(const std::string& command, int* status) {
  if (status) *status = -1;
  std::vector<Word> words = Words(command);
  std::string folder, input, program;
  bool quietErrors = false;
  std::vector<std::string> args;
  for (std::size_t i = 0; i < words.size(); ++i) {
    const Word& w = words[i];
    if (!w.quoted && w.text == "cd" && i + 2 < words.size() && words[i + 2].text == "&&") {
      folder = words[i + 1].text;
      i += 2;
    } else if (!w.quoted && w.text == "2>/dev/null") {
      quietErrors = true;
    } else if (!w.quoted && w.text == "<" && i + 1 < words.size()) {
      input = words[++i].text;
    } else if (!w.quoted && w.text.size() > 1 && w.text[0] == '<') {
      input = w.text.substr(1);
    } else if (program.empty()) {
      program = w.text;
    } else {
      args.push_back(w.text);
    }
  }
  if (program.empty()) return std::string();

  if (program == "zbarimg") return NativeZbarimg(args, quietErrors, status);
  if (GetFileAttributesA(program.c_str()) == INVALID_FILE_ATTRIBUTES) program += ".exe";
  std::string line = QuoteArgument(program);
  for (const std::string& a : args) line += " " + QuoteArgument(a);

  SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
  HANDLE readOut = nullptr, writeOut = nullptr;
  if (!CreatePipe(&readOut, &writeOut, &inherit, 0)) return std::string();
  SetHandleInformation(readOut, HANDLE_FLAG_INHERIT, 0);
  HANDLE in = OpenForReading(input == "/dev/null" || input.empty() ? "NUL" : input);
  HANDLE err = quietErrors ? CreateFileA("NUL", GENERIC_WRITE, FILE_SHARE_WRITE, &inherit, OPEN_EXISTING, 0, nullptr)
                           : GetStdHandle(STD_ERROR_HANDLE);
  STARTUPINFOA si{};
  si.cb = sizeof si;
  si.dwFlags = STARTF_USESTDHANDLES;
  si.hStdInput = in;
  si.hStdOutput = writeOut;
  si.hStdError = err;
  PROCESS_INFORMATION pi{};
  std::vector<char> commandLine(line.begin(), line.end());
  commandLine.push_back('\0');
  const BOOL started = CreateProcessA(nullptr, commandLine.data(), nullptr, nullptr, TRUE, 0, nullptr,
                                      folder.empty() ? nullptr : folder.c_str(), &si, &pi);
  if (!started) std::fprintf(stderr, "Shell: cannot start %s (error %lu)\n", line.c_str(), GetLastError());
  CloseHandle(writeOut);
  if (in != INVALID_HANDLE_VALUE) CloseHandle(in);
  if (quietErrors && err != INVALID_HANDLE_VALUE) CloseHandle(err);
  std::string out;
  if (started) {
    char buffer[4096];
    DWORD n = 0;
    while (ReadFile(readOut, buffer, sizeof buffer, &n, nullptr) && n > 0) out.append(buffer, n);
    WaitForSingleObject(pi.hProcess, INFINITE);
    DWORD code = 0;
    GetExitCodeProcess(pi.hProcess, &code);
    if (status) *status = static_cast<int>(code);
    CloseHandle(pi.hProcess);
    CloseHandle(pi.hThread);
  }
  CloseHandle(readOut);
  std::string text;
  for (std::size_t i = 0; i < out.size(); ++i) {
    if (!(out[i] == '\r' && i + 1 < out.size() && out[i + 1] == '\n')) text += out[i];
  }
  return text;
}

}  // namespace previewtest
