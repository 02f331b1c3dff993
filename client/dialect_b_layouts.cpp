#include "client/dialect_b_layouts.h"

#include <cstdint>
#include <cstring>

#include "client/field_grammar.h"
#include "client/field_reader.h"

void DialectBFieldListLayout(LabelJob& job, const char* data, int m, int h, bool printDomainName) {
  const int length = static_cast<int>(std::strlen(data));
  job.Clear();
  DialectBLabel label(job, m, h);
  ForEachDomainName(job, data, length, [&](const char* name, int fieldsStart) {
    label.Start();
    ForEachField(data, length, fieldsStart, "B", [&](Field& field) { label.Render(field); });
    if (printDomainName) label.DomainLine(name);
    label.End();
  });
}

void DialectBNumberedSeriesLayout(LabelJob& job, const char* data, int /*m*/, int /*h*/) {
  const int length = static_cast<int>(std::strlen(data));
  job.Clear();
  int fieldsStart = 0;
  SeriesHeader header;
  ReadSeriesHeader(data, length, &fieldsStart, &header);

  // Every line of a series label stands at a fixed place: only its opening and its end
  // are the label's.
  DialectBLabel label(job, 0, 0);
  char skipped[kSeriesHeaderBound + 1];
  char text[kSeriesHeaderBound + 1];
  char number[24];
  Field parts;
  RenderNumberedSeries(job, header, [&](std::int64_t n) -> std::size_t {
    FormatSerialNumber(n, number);
    label.StartSeries(header.copies, header.count);
    // The number as a barcode of height 60 across the top, then as text below it.
    job.Append("BU,20,0,2,5,60,0,0,%s\n", number);
    job.Append("AB,20,60,1,1,0,0,%s\n", number);
    int cursor = fieldsStart;
    ReadField(data, length, &cursor, skipped, kSeriesHeaderBound, '\\');
    ReadField(data, length, &cursor, text, kSeriesHeaderBound, '\\');
    SplitParts(text, &parts);
    job.Append("AB,20,80,1,1,0,0,%s\n", parts.value);
    label.End();

    // The number stands twice, unpadded: when the numbers only grow no later label is
    // shorter; below zero they shrink, at most to one digit.
    return n < 0 ? 2 * (std::strlen(number) - 1) : 0;
  });
}
