// One EPL2 label being stacked from the top downwards, as the field-list layouts of
// protocols 1, 10, 11 and 100 build it. Every line stands at x = 90 - m; a text line
// moves the stack down by 20 dots, a barcode of height h by h + 30.
#pragma once

#include <cstddef>

#include "client/field_grammar.h"
#include "client/label_job.h"

// Width at which a text value in a font beginning with "2" wraps onto a second line.
constexpr unsigned kEpl2WrapWidth = 20;

class Epl2Label {
 public:
  Epl2Label(LabelJob& job, int m, int h) : job_(job), x_(MoveLeft(90, m)), h_(h) {}

  // Appends the label header ("D8", an empty line, "N") and starts at the top.
  void Start();

  // A text line at the current y (20 dots). When the font begins with "2" and the
  // value is longer than wrapWidth characters (compared as unsigned; 0 = no wrap), the
  // rest goes on a second line below, leading blanks included.
  void Text(const Field& field, unsigned wrapWidth);

  // A barcode line with the human-readable line printed; suffix (may be null) follows
  // the value. Barcode data is never cut: a cut value would encode another sample.
  void Barcode(const Field& field, const char* suffix);

  // The usual rendering of a field: text with the 20-character wrap, or barcode. A
  // field without a command letter prints nothing and leaves y where it is.
  void Render(const Field& field);

  // The domain line: a text line in the font of the label's last rendered field when
  // that was a text line, otherwise in font "2".
  void DomainLine(const char* name);

  // "P1" or, for a numbered series, "P" copies.
  void End(int copies = 1);

  // A barcode line of a numbered series: its data is zeros "0" characters followed by
  // number. The zeros go straight into the job, so any width is padded in full.
  void PaddedBarcode(const Field& field, std::size_t zeros, const char* number);

 private:
  // One text line at the current y, then 20 dots down.
  void TextLine(char letter, const char* font, const char* value);
  // After a barcode line: h + 30 dots down; a domain line that follows is in font "2".
  void BarcodeDone();

  LabelJob& job_;
  int x_;
  int h_;
  int y_ = 0;
  char lastFont_[kFontLength + 1] = "2";
};
