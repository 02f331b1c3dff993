#include "client/epl2_label.h"

#include <cstring>

#include "transport/wire_frame.h"

void Epl2Label::Start() {
  job_.Append("D8\n\nN\n");
  y_ = 0;
  std::strcpy(lastFont_, "2");
}

void Epl2Label::TextLine(char letter, const char* font, const char* value) {
  job_.Append("%c%d,%d,0,%s,1,1,N,\"%s\"\n", letter, x_, y_, font, value);
  y_ = StepDown(y_, 20);
}

void Epl2Label::Text(const Field& field, unsigned wrapWidth) {
  char head[kFieldBound + 1];
  std::strcpy(head, field.value);
  const bool wraps = wrapWidth != 0 && field.font[0] == '2' && std::strlen(head) > wrapWidth;
  if (wraps) head[wrapWidth] = '\0';
  TextLine(field.letter, field.font, head);
  if (wraps) TextLine(field.letter, field.font, field.value + wrapWidth);
  std::strcpy(lastFont_, field.font);
}

void Epl2Label::BarcodeDone() {
  y_ = StepDown(StepDown(y_, h_), 30);
  std::strcpy(lastFont_, "2");
}

void Epl2Label::Barcode(const Field& field, const char* suffix) {
  job_.Append("%c%d,%d,0,%s,2,4,%d,B,\"%s%s\"\n", field.letter, x_, y_, field.font, h_, field.value,
              suffix ? suffix : "");
  BarcodeDone();
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
  BarcodeDone();
}

void Epl2Label::Render(const Field& field) {
  if (field.letter == '\0') return;
  if (field.letter == 'A') {
    Text(field, kEpl2WrapWidth);
  } else {
    Barcode(field, nullptr);
  }
}

void Epl2Label::DomainLine(const char* name) { TextLine('A', lastFont_, name); }

void Epl2Label::End(int copies) { job_.Append("P%d\n", copies); }
