#include "client/dialect_b_layouts.h"

#include <cstdint>
#include <cstring>

#include "client/field_grammar.h"
#include "client/field_reader.h"

void DialectBFieldListLayout(LabelJob& job, const char* data, int m, int h, bool printDomainName) {
  const int length = static_cast<int>(std::strlen(data));
  job.Clear();

  char domains[kDomainListBound + 1];
  int fieldsStart = 0;
  ReadField(data, length, &fieldsStart, domains, kDomainListBound, '\\');
  const int domainsLength = static_cast<int>(std::strlen(domains));

  DialectBLabel label(job, m, h);
  int domainCursor = 0;
  char name[kFieldBound + 1];
  char text[kFieldBound + 1];
  Field field;
  while (!job.TooLarge() && ReadField(domains, domainsLength, &domainCursor, name, kFieldBound, '^')) {
    label.Start();
    int cursor = fieldsStart;
    while (ReadNextField(data, length, &cursor, text)) {
      SplitField(text, "B", &field);
      label.Render(field);
    }
    if (printDomainName) label.DomainLine(name);
    label.End();
  }
}

void DialectBNumberedSeriesLayout(LabelJob& job, const char* data, int /*m*/, int /*h*/) {
  const int length = static_cast<int>(std::strlen(data));
  job.Clear();
  int fieldsStart = 0;
  SeriesHeader header;
  ReadSeriesHeader(data, length, &fieldsStart, &header);

  // Every line of a series label stands at a fixed place.
  DialectBLabel label(job, 0, 0);
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
    label.StartSeries(header.copies, header.count);
    // The number as a barcode of height 60 across the top, then as text below it.
    label.BarcodeAt('B', "U", 20, 0, 60, number);
    label.TextAt("B", 20, 60, number);
    int cursor = fieldsStart;
    ReadField(data, length, &cursor, skipped, kSeriesHeaderBound, '\\');
    ReadField(data, length, &cursor, text, kSeriesHeaderBound, '\\');
    SplitParts(text, &parts);
    label.TextAt("B", 20, 80, parts.value);
    label.End();

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
