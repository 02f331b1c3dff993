#include "client/dialect_b_layouts.h"

#include <cstdint>
#include <cstring>

#include "client/field_grammar.h"
#include "client/field_reader.h"

namespace {

constexpr std::size_t kCutWidth = 20;

}  // namespace

int DialectBTextStep(const char* font) {
  switch (font[0]) {
    case 'A': return 14;
    case 'B': return 18;
    case 'C': return 22;
    case 'D': return 26;
    case 'I': return 24;
    default: return 30;
  }
}

void DialectBFieldListLayout(LabelJob& job, const char* data, int m, int h, bool printDomainName) {
  const int length = static_cast<int>(std::strlen(data));
  job.Clear();
  const int x = MoveLeft(10, m);

  char domains[kDomainListBound + 1];
  int fieldsStart = 0;
  ReadField(data, length, &fieldsStart, domains, kDomainListBound, '\\');
  const int domainsLength = static_cast<int>(std::strlen(domains));

  int domainCursor = 0;
  char name[kFieldBound + 1];
  char text[kFieldBound + 1];
  Field field;
  while (!job.TooLarge() && ReadField(domains, domainsLength, &domainCursor, name, kFieldBound, '^')) {
    job.Append("^P1\n^L\n");
    int y = 0;
    int cursor = fieldsStart;
    while (ReadNextField(data, length, &cursor, text)) {
      SplitField(text, "B", &field);
      if (field.letter == '\0') continue;
      if (field.letter == 'A') {
        // Text in a font beginning with "B" is cut at 20 characters; there is no
        // continuation line in this dialect. Barcode data is never cut.
        if (field.font[0] == 'B' && std::strlen(field.value) > kCutWidth) field.value[kCutWidth] = '\0';
        job.Append("%c%s,%d,%d,1,1,0,0,%s\n", field.letter, field.font, x, y, field.value);
        y = StepDown(y, DialectBTextStep(field.font));
      } else {
        job.Append("%c%s,%d,%d,2,5,%d,0,0,%s\n", field.letter, field.font, x, y, h, field.value);
        y = StepDown(StepDown(y, h), 5);
      }
    }
    if (printDomainName) {
      job.Append("AB,%d,%d,1,1,0,0,%s\n", x, y, name);
      y = StepDown(y, 14);
    }
    job.Append("E\n");
  }
}

void DialectBNumberedSeriesLayout(LabelJob& job, const char* data, int /*m*/, int /*h*/) {
  const int length = static_cast<int>(std::strlen(data));
  job.Clear();
  int fieldsStart = 0;
  SeriesHeader header;
  ReadSeriesHeader(data, length, &fieldsStart, &header);

  char skipped[kSeriesHeaderBound + 1];
  char text[kSeriesHeaderBound + 1];
  char number[24];
  Field parts;
  // 64-bit arithmetic: first + count - 1 may lie beyond the 32-bit range. A huge count
  // ends when the job reaches its cap.
  const std::int64_t end = static_cast<std::int64_t>(header.first) + header.count;
  for (std::int64_t n = header.first; n < end && !job.TooLarge(); ++n) {
    const std::size_t labelStart = job.Length();
    FormatSerialNumber(n, number);
    job.Append("^C%d\n^P%ld\n^L\n", header.copies, static_cast<long>(header.count));
    job.Append("BU,20,0,2,5,60,0,0,%s\n", number);
    job.Append("AB,20,60,1,1,0,0,%s\n", number);
    int cursor = fieldsStart;
    ReadField(data, length, &cursor, skipped, kSeriesHeaderBound, '\\');
    ReadField(data, length, &cursor, text, kSeriesHeaderBound, '\\');
    SplitParts(text, &parts);
    job.Append("AB,20,80,1,1,0,0,%s\n", parts.value);
    job.Append("E\n");

    // Labels of a series differ only in their number, printed twice: none is shorter
    // than the first when the numbers only grow; below zero they shrink, at most to
    // one digit. A series that cannot fit under the cap is refused at once.
    if (n == header.first && !job.TooLarge()) {
      std::size_t shortest = job.Length() - labelStart;
      if (n < 0) shortest -= 2 * (std::strlen(number) - 1);
      if (LabelJob::SeriesPassesCap(static_cast<std::uint64_t>(header.count), shortest)) {
        job.MarkTooLarge();
      }
    }
  }
}
