#include "client/tube_layouts.h"

#include <cstring>

#include "client/field_reader.h"

namespace {

constexpr int kValueBound = 100;

// Reads the layout's values in order over one cursor; a failed read is an empty value.
class ValueReader {
 public:
  explicit ValueReader(const char* data) : data_(data), length_(static_cast<int>(std::strlen(data))) {}

  const char* Next() { return Read('\\'); }
  const char* Rest() { return Read('\0'); }

 private:
  const char* Read(char separator) {
    ReadField(data_, length_, &cursor_, value_, kValueBound, separator);
    return value_;
  }

  const char* data_;
  int length_;
  int cursor_ = 0;
  char value_[kValueBound + 1];
};

// One tube label: every x is a fixed base minus the department's move-left value.
class TubeLabel {
 public:
  TubeLabel(LabelJob& job, int m) : job_(job), m_(m) {}

  // Replaces the job's content with "D8", an empty line and "N", then the barcode of
  // code across the top (base x, selection and bar height of the layout) and the same
  // code as text framed by asterisks at x 170 - m, y framedY.
  void Start(int barcodeBase, const char* selection, int height, int framedY, const char* code) {
    job_.Clear();
    job_.Append("D8\n\nN\nB%d,0,0,%s,2,4,%d,N,\"%s\"\n", MoveLeft(barcodeBase, m_), selection, height, code);
    job_.Append("A%d,%d,0,2,1,1,N,\"*%s*\"\n", MoveLeft(170, m_), framedY, code);
  }

  // A text line in font 2 at (base - m, y).
  void Text(int base, int y, const char* value) {
    job_.Append("A%d,%d,0,2,1,1,N,\"%s\"\n", MoveLeft(base, m_), y, value);
  }

  void End() { job_.Append("P1\n"); }

 private:
  LabelJob& job_;
  int m_;
};

}  // namespace

void BiochimieTubeLayout(LabelJob& job, const char* data, int m) {
  ValueReader values(data);
  TubeLabel label(job, m);
  label.Start(125, "1", 160, 125, values.Next());
  label.Text(90, 145, values.Next());
  char last[kValueBound + 1];
  std::strcpy(last, values.Rest());
  std::size_t n = std::strlen(last);
  if (n > 0) last[n - 1] = '\0';  // the last value loses its final character
  label.Text(90, 165, last);
  label.End();
}

void CoagulareTubeLayout(LabelJob& job, const char* data, int m) {
  ValueReader values(data);
  TubeLabel label(job, m);
  label.Start(90, "3", 40, 45, values.Next());
  static const int kTextRows[] = {70, 90, 110, 130};
  for (int y : kTextRows) label.Text(90, y, values.Next());
  label.Text(90, 150, values.Rest());  // unchanged up to the end of the layout data
  label.End();
}

void HematologieTubeLayout(LabelJob& job, const char* data, int m) {
  ValueReader values(data);
  TubeLabel label(job, m);
  label.Start(90, "3C", 80, 85, values.Next());
  label.Text(90, 110, values.Next());
  label.Text(90, 130, values.Next());
  label.Text(90, 150, "Hematologie");
  label.Text(110, 170, values.Next());
  label.End();
}
