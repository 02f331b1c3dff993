#include "client/client_run.h"

#include <cstring>
#include <vector>

#include "client/field_reader.h"
#include "platform/ascii_text.h"

JobDelivery::~JobDelivery() {}

ArgumentLog::~ArgumentLog() {}

bool MemoryDelivery::Deliver(const ClientSettings&, const char* job, std::size_t length) {
  jobs.emplace_back(job, length);
  return true;
}

namespace {

constexpr char kRecordSeparator = 0x04;
constexpr int kMaxRecord = 50000;
constexpr int kMaxField = 200;
constexpr int kMaxLayoutData = 50000;
constexpr int kFoldAbove = 9900;

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

int RunClient(const ClientBuild& build, const char* argument, ClientSettings& settings,
              JobDelivery& delivery, ArgumentLog* log, LayoutRenderer render) {
  if (argument == nullptr || argument[0] == '\0') return kExitOk;
  // The log is kept only when the settings ask for it.
  if (!settings.debugMode) log = nullptr;

  // The request text: the decoded argument (never longer than the argument itself).
  std::vector<char> request(std::strlen(argument) + 1);
  PercentDecode(argument, request.data());
  const char* text = request.data();
  const int textLength = static_cast<int>(std::strlen(text));
  if (log) log->Line(text);

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
    if (log) log->Line(record);

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
      if (log) log->Line("unknoun protocol");
      return kExitFailure;
    }
    if (job.TooLarge()) {
      // A job over the cap would reach the printer cut short: refuse it whole.
      if (log) log->Line("label job over 16 MiB, not printed");
      continue;
    }
    if (log) log->Job(job.Text(), job.Length());
    if (!delivery.Deliver(settings, job.Text(), job.Length())) return kExitFailure;
  }
}
