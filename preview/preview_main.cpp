// tervane-preview: label jobs, requests and logs to PNG pictures, one per label.
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <system_error>
#include <vector>

#include "client/client_build.h"
#include "platform/ascii_text.h"
#include "preview/preview_run.h"
#include "preview/request_preview.h"
#include "tervane_version.h"

namespace {

// Input beyond this is not read: no label job is larger than 16 MiB, and a log this
// size holds more labels than --max-labels lets through.
constexpr std::size_t kMaxInput = 64u << 20;

// --lint found something to warn about (after 1, bad usage or files, and 2, a client
// run that failed, which take precedence).
constexpr int kExitWarnings = 3;

const char kUsage[] =
    "usage: tervane-preview [options] [JOBFILE | -]\n"
    "       tervane-preview [options] --request ARG [--ini FILE] [--build b]\n"
    "       tervane-preview [options] --log FILE\n"
    "       tervane-preview --version\n"
    "\n"
    "Writes label-001.png, label-002.png, ... (one per label) and one summary line per\n"
    "label on standard output.\n"
    "\n"
    "Inputs:\n"
    "  JOBFILE, -        a label job (EPL2 or dialect B); standard input when none is given\n"
    "  --request ARG     a request exactly as tervane receives it, rendered by tervane's code\n"
    "  --ini FILE        the barcode.ini for --request (default: the built-in defaults)\n"
    "  --build b         render --request as tervane-b does\n"
    "  --log FILE        a log holding label jobs (job copy, argument log)\n"
    "Options:\n"
    "  --dpi 203|300     printer resolution (default 203)\n"
    "  --width N[mm]     label width when the job does not set it (dots, or mm)\n"
    "  --height N[mm]    label length when the job does not set it (dots, or mm)\n"
    "  --out DIR         folder for the PNG files (default: the current folder)\n"
    "  --max-labels N    stop after N labels (default 1000)\n"
    "  --lint            also check each label and print one line per warning (clipped,\n"
    "                    text-over-bars, no-scan, short-bars, quiet-zone, short-itf,\n"
    "                    not-encoded, unknown-command)\n"
    "Exit code: 0 done, 1 bad usage or a file that could not be read or written,\n"
    "2 the client run of --request ended with -1 (unknown protocol), 3 (--lint) done\n"
    "with warnings.\n";

int Usage(const char* problem) {
  if (problem) std::fprintf(stderr, "tervane-preview: %s\n", problem);
  std::fputs(kUsage, stderr);
  return 1;
}

// "400" (dots) or "50mm"; false for anything else.
bool ParseSize(const char* text, int dpi, int* dots) {
  char* end = nullptr;
  errno = 0;
  const double value = std::strtod(text, &end);
  if (end == text || errno != 0 || !(value > 0) || value > 100000) return false;
  if (std::strcmp(end, "mm") == 0) {
    *dots = static_cast<int>(value * dpi / 25.4 + 0.5);
  } else if (*end == '\0' && value == static_cast<int>(value)) {
    *dots = static_cast<int>(value);
  } else {
    return false;
  }
  return *dots > 0;
}

bool ReadInput(const std::string& path, std::string* bytes) {
  bool cut = false;
  bool ok;
  if (path == "-") {
    ok = ascii::ReadStream(stdin, bytes, kMaxInput, &cut);
  } else {
    std::FILE* file = std::fopen(path.c_str(), "rb");
    if (!file) {
      std::fprintf(stderr, "tervane-preview: cannot open %s: %s\n", path.c_str(), std::strerror(errno));
      return false;
    }
    ok = ascii::ReadStream(file, bytes, kMaxInput, &cut);
    std::fclose(file);
  }
  if (!ok) {
    std::fprintf(stderr, "tervane-preview: cannot read %s\n", path.c_str());
    return false;
  }
  if (cut) std::fprintf(stderr, "tervane-preview: only the first %zu MiB of %s are read\n", kMaxInput >> 20, path.c_str());
  return true;
}

// The text of the --ini file, as far as it reads ("" without --ini: the built-in
// defaults). False when the file does not open.
bool ReadSettingsText(const std::string& path, std::string* text) {
  if (path.empty()) return true;
  std::FILE* file = std::fopen(path.c_str(), "rb");
  if (!file) {
    std::fprintf(stderr, "tervane-preview: cannot open %s\n", path.c_str());
    return false;
  }
  char buffer[8192];
  std::size_t n;
  while ((n = std::fread(buffer, 1, sizeof buffer, file)) > 0) text->append(buffer, n);
  std::fclose(file);
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  PreviewOptions options;
  std::string request, ini, log, job, width, height;
  bool haveRequest = false;
  const ClientBuild* build = &kTervaneBuild;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    const bool hasValue = i + 1 < argc;
    if (arg == "--help" || arg == "-h") {
      std::fputs(kUsage, stdout);
      return 0;
    } else if (arg == "--version") {
      std::printf("tervane-preview %s\n", TERVANE_VERSION);
      return 0;
    } else if (arg == "--request" && hasValue) {
      request = argv[++i];
      haveRequest = true;
    } else if (arg == "--ini" && hasValue) {
      ini = argv[++i];
    } else if (arg == "--build" && hasValue) {
      const std::string value = argv[++i];
      if (value == "b" || value == "tervane-b") {
        build = &kTervaneBBuild;
      } else if (value == "a" || value == "tervane") {
        build = &kTervaneBuild;
      } else {
        return Usage("--build takes b (tervane-b) or a (tervane)");
      }
    } else if (arg == "--log" && hasValue) {
      log = argv[++i];
    } else if (arg == "--dpi" && hasValue) {
      const std::string value = argv[++i];
      if (value != "203" && value != "300") return Usage("--dpi takes 203 or 300");
      options.dpi = std::atoi(value.c_str());
    } else if (arg == "--width" && hasValue) {
      width = argv[++i];
    } else if (arg == "--height" && hasValue) {
      height = argv[++i];
    } else if (arg == "--out" && hasValue) {
      options.outputDir = argv[++i];
    } else if (arg == "--lint") {
      options.check = true;
      options.printWarnings = true;
    } else if (arg == "--max-labels" && hasValue) {
      options.maxLabels = std::atoi(argv[++i]);
      if (options.maxLabels < 1) return Usage("--max-labels takes a positive number");
    } else if (arg.size() > 1 && arg[0] == '-' && arg != "-") {
      return Usage(("unknown option " + arg).c_str());
    } else if (job.empty()) {
      job = arg;
    } else {
      return Usage("give one job file");
    }
  }
  const int inputs = (haveRequest ? 1 : 0) + (log.empty() ? 0 : 1) + (job.empty() ? 0 : 1);
  if (inputs > 1) return Usage("give one input: a job file, --request or --log");
  if (!ini.empty() && !haveRequest) return Usage("--ini goes with --request");
  // Sizes in mm need the resolution, which may come after them on the command line.
  if (!width.empty() && !ParseSize(width.c_str(), options.dpi, &options.width)) {
    return Usage("--width takes dots or millimetres (50mm)");
  }
  if (!height.empty() && !ParseSize(height.c_str(), options.dpi, &options.height)) {
    return Usage("--height takes dots or millimetres (30mm)");
  }

  // The folder for the pictures is made when it does not exist yet, with its parents.
  std::error_code made;
  std::filesystem::create_directories(options.outputDir, made);
  if (made) {
    std::fprintf(stderr, "tervane-preview: cannot make the folder %s: %s\n", options.outputDir.c_str(),
                 made.message().c_str());
    return 1;
  }

  PreviewRun run(options, stdout);
  if (!run.Ready()) {
    std::fprintf(stderr, "tervane-preview: %s\n", run.Error().c_str());
    return 1;
  }
  int exitCode = 0;
  if (haveRequest) {
    std::string settings;
    if (!ReadSettingsText(ini, &settings)) return 1;
    const RequestJobs rendered = RenderRequest(*build, request, settings);
    for (const std::string& labelJob : rendered.jobs) run.Job(labelJob);
    if (rendered.exitCode != 0) {
      std::printf("%s would end with exit code %d (a record without a layout)\n",
                  build->program, rendered.exitCode);
      exitCode = 2;
    }
  } else if (!log.empty()) {
    std::string bytes;
    if (!ReadInput(log, &bytes)) return 1;
    run.Log(bytes);
  } else {
    std::string bytes;
    if (!ReadInput(job.empty() ? "-" : job, &bytes)) return 1;
    run.Job(bytes);
  }
  if (!run.Finish()) return 1;
  if (exitCode == 0 && run.Warnings() > 0) exitCode = kExitWarnings;
  return exitCode;
}
