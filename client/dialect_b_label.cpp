#include "client/dialect_b_label.h"

#include <cstddef>
#include <cstring>

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

void DialectBLabel::Start() {
  job_.Append("^P1\n^L\n");
  y_ = 0;
}

void DialectBLabel::StartSeries(int copies, int count) {
  job_.Append("^C%d\n^P%ld\n^L\n", copies, static_cast<long>(count));
  y_ = 0;
}

void DialectBLabel::TextLine(const char* font, const char* text) {
  job_.Append("A%s,%d,%d,1,1,0,0,%s\n", font, x_, y_, text);
}

void DialectBLabel::Text(const Field& field) {
  char text[kFieldBound + 1];
  std::strcpy(text, field.value);
  if (field.font[0] == 'B' && std::strlen(text) > kCutWidth) text[kCutWidth] = '\0';
  TextLine(field.font, text);
  y_ = StepDown(y_, DialectBTextStep(field.font));
}

void DialectBLabel::Barcode(const Field& field) {
  job_.Append("%c%s,%d,%d,2,5,%d,0,0,%s\n", field.letter, field.font, x_, y_, h_, field.value);
  y_ = StepDown(StepDown(y_, h_), 5);
}

void DialectBLabel::Render(const Field& field) {
  if (field.letter == '\0') return;
  if (field.letter == 'A') {
    Text(field);
  } else {
    Barcode(field);
  }
}

void DialectBLabel::DomainLine(const char* name) {
  TextLine("B", name);
  y_ = StepDown(y_, 14);
}

void DialectBLabel::End() { job_.Append("E\n"); }
