#include "client/field_list_layouts.h"

#include <cstring>

#include "client/field_reader.h"
#include "transport/wire_frame.h"

void Epl2Label::Start() {
  job_.Append("D8\n\nN\n");
  y_ = 0;
  std::strcpy(lastFont_, "2");
}

void Epl2Label::Text(const Field& field, unsigned wrapWidth) {
  const char* continuation = nullptr;
  char head[kFieldBound + 1];
  std::strcpy(head, field.value);
  if (wrapWidth != 0 && field.font[0] == '2' && std::strlen(head) > wrapWidth) {
    continuation = field.value + wrapWidth;
    head[wrapWidth] = '\0';
  }
  job_.Append("%c%d,%d,0,%s,1,1,N,\"%s\"\n", field.letter, x_, y_, field.font, head);
  y_ = StepDown(y_, 20);
  if (continuation) {
    job_.Append("%c%d,%d,0,%s,1,1,N,\"%s\"\n", field.letter, x_, y_, field.font, continuation);
    y_ = StepDown(y_, 20);
  }
  std::strcpy(lastFont_, field.font);
}

void Epl2Label::Barcode(const Field& field, const char* suffix) {
  if (suffix) {
    job_.Append("%c%d,%d,0,%s,2,4,%d,B,\"%s%s\"\n", field.letter, x_, y_, field.font, h_, field.value, suffix);
  } else {
    job_.Append("%c%d,%d,0,%s,2,4,%d,B,\"%s\"\n", field.letter, x_, y_, field.font, h_, field.value);
  }
  y_ = StepDown(StepDown(y_, h_), 30);
  std::strcpy(lastFont_, "2");
}

void Epl2Label::PaddedBarcode(const Field& field, std::size_t zeros, const char* number) {
  job_.Append("%c%d,%d,0,%s,2,4,%d,B,\"", field.letter, x_, y_, field.font, h_);
  // Padding that cannot fit under the cap ends the job at once, not after writing
  // zeros up to the cap.
  if (zeros > wire::kMaxJobLength - job_.Length()) {
    job_.MarkTooLarge();
    return;
  }
  static const char kZeros[] = "0000000000000000000000000000000000000000000000000000000000000000";
  const std::size_t chunk = sizeof kZeros - 1;
  while (zeros > 0 && !job_.TooLarge()) {
    const std::size_t n = zeros < chunk ? zeros : chunk;
    job_.AppendText(kZeros, n);
    zeros -= n;
  }
  job_.Append("%s\"\n", number);
  y_ = StepDown(StepDown(y_, h_), 30);
  std::strcpy(lastFont_, "2");
}

void Epl2Label::Render(const Field& field) {
  if (field.letter == '\0') return;
  if (field.letter == 'A') {
    Text(field, kEpl2WrapWidth);
  } else {
    Barcode(field, nullptr);
  }
}

void Epl2Label::DomainLine(const char* name) {
  job_.Append("A%d,%d,0,%s,1,1,N,\"%s\"\n", x_, y_, lastFont_, name);
  y_ = StepDown(y_, 20);
}

void Epl2Label::End(int copies) { job_.Append("P%d\n", copies); }

void FieldListLayout(LabelJob& job, const char* data, int m, int h) {
  const int length = static_cast<int>(std::strlen(data));
  job.Clear();
  Epl2Label label(job, m, h);
  label.Start();
  int cursor = 0;
  char text[kFieldBound + 1];
  Field field;
  while (ReadNextField(data, length, &cursor, text)) {
    SplitField(text, "2", &field);
    label.Render(field);
  }
  label.End();
}

void GroupedFieldListLayout(LabelJob& job, const char* data, int m, int h, bool printDomainName) {
  const int length = static_cast<int>(std::strlen(data));
  job.Clear();
  Epl2Label label(job, m, h);
  int groupCursor = 0;
  char group[kGroupBound + 1];
  char domains[kDomainListBound + 1];
  char name[kFieldBound + 1];
  char text[kFieldBound + 1];
  Field field;
  while (!job.TooLarge() && ReadField(data, length, &groupCursor, group, kGroupBound, '|')) {
    const int groupLength = static_cast<int>(std::strlen(group));
    int fieldsStart = 0;
    ReadField(group, groupLength, &fieldsStart, domains, kDomainListBound, '\\');
    const int domainsLength = static_cast<int>(std::strlen(domains));
    int domainCursor = 0;
    while (!job.TooLarge() && ReadField(domains, domainsLength, &domainCursor, name, kFieldBound, '^')) {
      label.Start();
      int cursor = fieldsStart;
      while (ReadNextField(group, groupLength, &cursor, text)) {
        SplitField(text, "2", &field);
        label.Render(field);
      }
      if (printDomainName) label.DomainLine(name);
      label.End();
    }
  }
}
