#include "client/client_entry.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>

#include "client/client_settings_file.h"
#include "client/settings_prompt.h"
#include "platform/program_path.h"

namespace {

// The argument log as a file, opened for each entry so that a log that cannot be
// opened loses that entry only. Lines go through text mode (CR LF on Windows), label
// jobs byte for byte.
class ArgumentLogFile : public ArgumentLog {
 public:
  explicit ArgumentLogFile(const ClientFiles& files) : files_(files) {}

  void Line(const char* text) override {
    std::FILE* log = Open("at");
    if (!log) return;
    std::fputs(text, log);
    std::fputs("\n", log);
    std::fclose(log);
  }

  void Job(const char* job, std::size_t length) override {
    std::FILE* log = Open("ab");
    if (!log) return;
    std::fwrite(job, 1, length, log);
    std::fclose(log);
  }

 private:
  std::FILE* Open(const char* mode) {
    if (!prepared_ && files_.prepareArgumentLog) files_.prepareArgumentLog(files_.argumentLog);
    prepared_ = true;
    return std::fopen(files_.argumentLog.c_str(), mode);
  }

  const ClientFiles& files_;
  bool prepared_ = false;
};

// Reads barcode.ini into settings. Where it cannot be read: beside the program, the
// first-run prompt and the default file for the next run; in the installed layout, a
// line on standard error naming the file, which lies in a system folder and is not
// written.
void LoadProgramSettings(const ClientFiles& files, const SettingsRules& rules, ClientSettings& settings) {
  const char* path = files.settings.c_str();
  if (LoadClientSettings(path, rules, &settings)) return;
  if (!files.createMissingSettings) {
    int code = errno;
    std::fprintf(stderr, "Tervane: cannot read %s (%s): the built-in settings apply\n", path,
                 std::strerror(code));
    std::fflush(stderr);
    return;
  }
  std::fputs("Nu pot deschide fisierul barcode.ini\nSe va crea un nou fisier \nApasati Enter", stdout);
  std::fflush(stdout);
  WaitForEnter();
  WriteDefaultClientSettings(path);
}

}  // namespace

int RunClientProgram(const ClientBuild& build, const char* argument, const ClientFiles& files,
                     ClientSettings& settings, JobDelivery& delivery, LayoutRenderer render) {
  if (argument == nullptr || argument[0] == '\0') return kExitOk;
  LoadProgramSettings(files, build.settings, settings);
  ArgumentLogFile log(files);
  return RunClient(build, argument, settings, delivery, &log, render);
}

void ProgramDirectory(char* out, std::size_t size) {
  if (size == 0) return;
  std::size_t n = platform::ExecutablePath(out, size);
  // Cut at the last path separator: a backslash on Windows; on Linux the executable's
  // path is a POSIX path, whose separator is "/".
  while (n > 0 && out[n - 1] != platform::kPathSeparator) --n;
  out[n > 0 ? n - 1 : 0] = '\0';
}

const char* CommandLineArgument(const char* commandLine) {
  const unsigned char* p = reinterpret_cast<const unsigned char*>(commandLine);
  if (*p == '"') {
    // A quoted program path ends at the next quote; blanks inside it belong to it.
    ++p;
    while (*p && *p != '"') ++p;
    if (*p == '"') ++p;
  } else {
    while (*p > ' ') ++p;
  }
  while (*p && *p <= ' ') ++p;
  return reinterpret_cast<const char*>(p);
}

ClientFiles ClientFilesIn(const char* directory) {
  ClientFiles files;
  files.settings = std::string(directory) + platform::kPathSeparator + "barcode.ini";
  files.argumentLog = std::string(directory) + platform::kPathSeparator + "_tervane_arg.log";
  return files;
}
