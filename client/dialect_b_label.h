// One dialect B label being stacked from the top downwards. Dialect B is line-oriented
// like EPL2, but its data stands without quotes, a label opens with "^L" and ends with
// "E", and the command letter and font or selection form one command word (AB, BQ, ...).
// Stacked lines stand at x = 10 - m; a barcode of height h moves the stack down by
// h + 5, a text line by the step of its font.
#pragma once

#include "client/field_grammar.h"
#include "client/label_job.h"

// Dots a text line in font moves the stack down, by the font's first character.
int DialectBTextStep(const char* font);

class DialectBLabel {
 public:
  DialectBLabel(LabelJob& job, int m, int h) : job_(job), x_(MoveLeft(10, m)), h_(h) {}

  // "^P1" and "^L": the label opens, printed once; the stack starts at the top.
  void Start();

  // "^C" copies, "^P" count and "^L": a label of a numbered series.
  void StartSeries(int copies, int count);

  // A text line at the current y. Text in a font beginning with "B" is cut at 20
  // characters: there is no continuation line in this dialect.
  void Text(const Field& field);

  // A barcode line of height h at the current y. Barcode data is never cut.
  void Barcode(const Field& field);

  // A text field as text, any other field as barcode; a field without a command letter
  // prints nothing.
  void Render(const Field& field);

  // The domain line: always text in font "B", 14 dots.
  void DomainLine(const char* name);

  // "E": the label ends.
  void End();

 private:
  // A text line in font at the current y; the caller moves the stack.
  void TextLine(const char* font, const char* text);

  LabelJob& job_;
  int x_;
  int h_;
  int y_ = 0;
};
