#include "client/client_entry.h"

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "client/field_reader.h"
#include "platform/ascii_text.h"
#include "platform/program_path.h"

JobDelivery::~JobDelivery() {}

namespace {

constexpr char kRecordSeparator = 0x04;
constexpr int kMaxRecord = 50000;
constexpr int kMaxField = 200;
constexpr int kMaxLayoutData = 50000;
constexpr int kFoldAbove = 9900;

// Appends length bytes to the argument log; a log that cannot be opened loses the entry.
void AppendLog(const char* path, const char* mode, const char* data, std::size_t length) {
  std::FILE* log = std::fopen(path, mode);
  if (!log) return;
  std::fwrite(data, 1, length, log);
  std::fclose(log);
}

void AppendLogLine(const char* path, const char* text) {
  std::FILE* log = std::fopen(path, "at");
  if (!log) return;
  std::fputs(text, log);
  std::fputs("\n", log);
  std::fclose(log);
}

// The value of one escape character: digits count 0 to 9, any other character the code
// of its upper-case form (C locale: only a-z change) minus 55, so A-F and a-f give 10-15.
int EscapeDigitValue(unsigned char c) {
  if (c >= '0' && c <= '9') return c - '0';
  return static_cast<unsigned char>(ascii::ToUpper(static_cast<char>(c))) - 55;
}

}  // namespace

void PercentDecode(const char* argument, char* out) {
  const unsigned char* in = reinterpret_cast<const unsigned char*>(argument);
  std::size_t o = 0;
  while (*in) {
    if (in[0] == '%' && in[1] >= '0' && in[1] <= '9') {
      int value;
      if (in[2] == '\0') {
        // "%d" at the very end: the digit alone is the value.
        value = in[1] - '0';
        in += 2;
      } else {
        value = 16 * EscapeDigitValue(in[1]) + EscapeDigitValue(in[2]);
        in += 3;
      }
      out[o++] = static_cast<char>(value & 0xFF);
    } else {
      out[o++] = static_cast<char>(*in++);
    }
  }
  out[o] = '\0';
}

int ProtocolNumber(const char* field3) {
  if (field3[0] == '\0') return -1;
  return ParseDecimal(field3);
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

int RunClient(const ClientBuild& build, const char* argument, const char* programDirectory,
              ClientSettings& settings, JobDelivery& delivery, LayoutRenderer render) {
  return RunClient(build, argument, ClientFilesIn(programDirectory), settings, delivery, render);
}

int RunClient(const ClientBuild& build, const char* argument, const ClientFiles& files,
              ClientSettings& settings, JobDelivery& delivery, LayoutRenderer render) {
  if (argument == nullptr || argument[0] == '\0') return kExitOk;

  const char* settingsPath = files.settings.c_str();
  if (files.createMissingSettings) {
    if (!LoadClientSettings(settingsPath, build.settings, &settings))
      WriteDefaultClientSettings(settingsPath);
  } else {
    LoadClientSettings(settingsPath, build.settings, &settings, MissingSettings::kReport);
  }

  // The request text: the decoded argument (never longer than the argument itself).
  std::vector<char> request(std::strlen(argument) + 1);
  PercentDecode(argument, request.data());
  const char* text = request.data();
  const int textLength = static_cast<int>(std::strlen(text));

  const char* logPath = files.argumentLog.c_str();
  if (settings.debugMode && files.prepareArgumentLog) files.prepareArgumentLog(files.argumentLog);
  if (settings.debugMode) AppendLogLine(logPath, text);

  std::vector<char> recordBuffer(kMaxRecord + 1);
  std::vector<char> fieldBuffer(kMaxLayoutData + 1);
  char* record = recordBuffer.data();
  char* field = fieldBuffer.data();

  int recordCursor = 0;
  for (;;) {
    // The end of the text, a record of blanks, two separators in a row and a record
    // that begins with a carriage return all leave the record empty and end the run.
    ReadField(text, textLength, &recordCursor, record, kMaxRecord, kRecordSeparator);
    if (record[0] == '\0') return kExitOk;
    const int recordLength = static_cast<int>(std::strlen(record));

    int fieldCursor = 0;
    if (!ReadField(record, recordLength, &fieldCursor, field, kMaxField, '/')) continue;
    if (settings.debugMode) AppendLogLine(logPath, record);

    ReadField(record, recordLength, &fieldCursor, field, kMaxField, '/');
    ReadField(record, recordLength, &fieldCursor, field, kMaxField, '\\');
    int protocol = ProtocolNumber(field);

    ReadField(record, recordLength, &fieldCursor, field, kMaxLayoutData, '\0');
    if (protocol > kFoldAbove) {
      protocol -= kFoldAbove;
      settings.hexText = true;
    }
    for (char* p = field; *p; ++p) {
      if (*p == '+') *p = ' ';
    }

    LabelJob job;
    const bool rendered = render ? render(protocol, job, field, settings)
                                 : RenderLayout(*build.layouts, protocol, job, field, settings);
    if (!rendered) {
      if (settings.debugMode) AppendLog(logPath, "at", "unknoun protocol\n", 17);
      return kExitFailure;
    }
    if (job.TooLarge()) {
      // A job over the cap would reach the printer cut short: refuse it whole.
      if (settings.debugMode) AppendLogLine(logPath, "label job over 16 MiB, not printed");
      continue;
    }
    if (settings.debugMode) AppendLog(logPath, "ab", job.Text(), job.Length());
    if (!delivery.Deliver(settings, job.Text(), job.Length())) return kExitFailure;
  }
}
