#include "client/field_grammar.h"

#include <cstring>

#include "client/decimal.h"
#include "client/field_reader.h"

void SplitParts(const char* text, Field* field) {
  const int length = static_cast<int>(std::strlen(text));
  int cursor = 0;
  char part[kFieldBound + 1];

  ReadField(text, length, &cursor, part, kFieldBound, '^');
  field->letter = part[0];

  ReadField(text, length, &cursor, part, kFieldBound, '^');
  std::strncpy(field->font, part, kFontLength);
  field->font[kFontLength] = '\0';

  ReadField(text, length, &cursor, field->value, kFieldBound, '^');
}

void SplitField(const char* text, const char* plainFont, Field* field) {
  if (std::strchr(text, '^') == nullptr) {
    field->letter = 'A';
    std::strncpy(field->font, plainFont, kFontLength);
    field->font[kFontLength] = '\0';
    std::strncpy(field->value, text, kFieldBound);
    field->value[kFieldBound] = '\0';
    return;
  }
  SplitParts(text, field);
}

bool ReadNextField(const char* data, int dataLength, int* cursor, char* buffer) {
  return ReadField(data, dataLength, cursor, buffer, kFieldBound, '\\');
}

void ForEachField(const char* data, int dataLength, int cursor, const char* plainFont,
                  const std::function<void(Field& field)>& render) {
  char text[kFieldBound + 1];
  Field field;
  while (ReadNextField(data, dataLength, &cursor, text)) {
    SplitField(text, plainFont, &field);
    render(field);
  }
}

void ForEachDomainName(LabelJob& job, const char* data, int dataLength,
                       const std::function<void(const char* name, int fieldsStart)>& renderLabel) {
  char domains[kDomainListBound + 1];
  int fieldsStart = 0;
  ReadField(data, dataLength, &fieldsStart, domains, kDomainListBound, '\\');
  const int domainsLength = static_cast<int>(std::strlen(domains));
  int domainCursor = 0;
  char name[kFieldBound + 1];
  while (!job.TooLarge() && ReadField(domains, domainsLength, &domainCursor, name, kFieldBound, '^')) {
    renderLabel(name, fieldsStart);
  }
}

void ReadSeriesHeader(const char* data, int dataLength, int* cursor, SeriesHeader* header) {
  *header = SeriesHeader();
  char text[kSeriesHeaderBound + 1];
  if (!ReadField(data, dataLength, cursor, text, kSeriesHeaderBound, '\\')) return;
  const int length = static_cast<int>(std::strlen(text));
  int partCursor = 0;
  char part[kFieldBound + 1];
  std::int32_t* numbers[] = {&header->first, &header->count, &header->copies, &header->width};
  for (std::int32_t* number : numbers) {
    ReadField(text, length, &partCursor, part, kFieldBound, '^');
    *number = ParseDecimal(part);
  }
}

void FormatSerialNumber(std::int64_t n, char* out) {
  // Digits of the magnitude, computed in unsigned arithmetic so the 64-bit minimum
  // has a magnitude too.
  std::uint64_t magnitude = n < 0 ? 0u - static_cast<std::uint64_t>(n) : static_cast<std::uint64_t>(n);
  char digits[20];
  int count = 0;
  do {
    digits[count++] = static_cast<char>('0' + magnitude % 10);
    magnitude /= 10;
  } while (magnitude != 0);
  if (n < 0) *out++ = '-';
  while (count > 0) *out++ = digits[--count];
  *out = '\0';
}

void RenderNumberedSeries(LabelJob& job, const SeriesHeader& header, const SeriesLabelRenderer& renderLabel) {
  const std::int64_t end = static_cast<std::int64_t>(header.first) + header.count;
  for (std::int64_t n = header.first; n < end && !job.TooLarge(); ++n) {
    const std::size_t labelStart = job.Length();
    const std::size_t spare = renderLabel(n);
    if (n == header.first && !job.TooLarge()) {
      const std::size_t shortest = job.Length() - labelStart - spare;
      if (LabelJob::SeriesPassesCap(static_cast<std::uint64_t>(header.count), shortest)) job.MarkTooLarge();
    }
  }
}
