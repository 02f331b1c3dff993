#include "client/protocol10_100_layouts.h"

#include <cstddef>
#include <cstdint>
#include <cstring>

#include "client/epl2_label.h"
#include "client/field_grammar.h"

namespace {

int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  return -1;
}

bool IsWhiteSpace(char c) { return c == ' ' || (c >= '\t' && c <= '\r'); }

// One pair (or a lone last character) read as a base-16 number; its low 8 bits.
unsigned char DecodePair(const char* pair, int length) {
  int i = 0;
  while (i < length && IsWhiteSpace(pair[i])) ++i;
  bool negative = false;
  if (i < length && (pair[i] == '+' || pair[i] == '-')) {
    negative = pair[i] == '-';
    ++i;
  }
  unsigned value = 0;
  for (; i < length && HexDigit(pair[i]) >= 0; ++i) value = value * 16 + static_cast<unsigned>(HexDigit(pair[i]));
  if (negative) value = 0u - value;
  return static_cast<unsigned char>(value & 0xFFu);
}

const char* SuffixFor(const ExtendedLayoutSettings& extended, const char* name) {
  if (!extended.findSuffix) return "";
  const char* suffix = extended.findSuffix(extended.suffixContext, name);
  return suffix ? suffix : "";
}

}  // namespace

void DecodeHexText(char* value) {
  const int length = static_cast<int>(std::strlen(value));
  int out = 0;
  for (int i = 0; i < length; i += 2) {
    const int pairLength = length - i < 2 ? 1 : 2;
    const unsigned char byte = DecodePair(value + i, pairLength);
    if (byte == 0) break;
    value[out++] = static_cast<char>(byte);
  }
  value[out] = '\0';
}

void ExtendedFieldListLayout(LabelJob& job, const char* data, int m, int h, bool printDomainName,
                             const ExtendedLayoutSettings& extended) {
  const int length = static_cast<int>(std::strlen(data));
  job.Clear();
  // A zero byte in the character-set line would end the label job there.
  const char pageCode = extended.pageCode != '\0' ? extended.pageCode : '0';
  const unsigned wrapWidth = static_cast<unsigned>(extended.maxTextLen);

  Epl2Label label(job, m, h);
  ForEachDomainName(job, data, length, [&](const char* name, int fieldsStart) {
    job.Append("I8,%c,001\n", pageCode);
    label.Start();
    const char* suffix = SuffixFor(extended, name);
    ForEachField(data, length, fieldsStart, "2", [&](Field& field) {
      if (field.letter == '\0') return;
      if (field.letter == 'A') {
        if (extended.hexText) DecodeHexText(field.value);
        label.Text(field, wrapWidth);
      } else {
        label.Barcode(field, suffix);
      }
    });
    if (printDomainName) label.DomainLine(name);
    label.End();
  });
}

void NumberedSeriesLayout(LabelJob& job, const char* data, int m, int h) {
  const int length = static_cast<int>(std::strlen(data));
  job.Clear();
  int fieldsStart = 0;
  SeriesHeader header;
  ReadSeriesHeader(data, length, &fieldsStart, &header);
  const std::size_t width = header.width > 0 ? static_cast<std::size_t>(header.width) : 0;

  Epl2Label label(job, m, h);
  char text[kFieldBound + 1];
  char number[24];
  Field numberField;
  RenderNumberedSeries(job, header, [&](std::int64_t n) -> std::size_t {
    label.Start();
    int cursor = fieldsStart;

    FormatSerialNumber(n, number);
    const std::size_t digits = std::strlen(number);
    const std::size_t zeros = width > digits ? width - digits : 0;

    ReadNextField(data, length, &cursor, text);
    SplitParts(text, &numberField);
    // Without a command letter there is no number barcode, and the text starts at y 0.
    const bool numbered = numberField.letter != '\0';
    if (numbered) label.PaddedBarcode(numberField, zeros, number);

    // Only text fields follow the number; other fields print nothing.
    ForEachField(data, length, cursor, "2", [&](Field& field) {
      if (field.letter == 'A') label.Text(field, kEpl2WrapWidth);
    });
    label.End(header.copies);

    // The number is padded to width: when the numbers only grow no later label is
    // shorter; below zero they shrink, at most to one digit padded to width.
    if (!numbered || n >= 0) return 0;
    const std::size_t numberWidth = digits > width ? digits : width;
    const std::size_t shortestNumber = width > 1 ? width : 1;
    return numberWidth - shortestNumber;
  });
}
