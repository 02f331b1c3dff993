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

}  // namespace

void BiochimieTubeLayout(LabelJob& job, const char* data, int m) {
  ValueReader values(data);
  const char* v1 = values.Next();
  job.Clear();
  job.Append("D8%c%cN%cB%d,0,0,1,2,4,160,N,%c%s%c%c", '\n', '\n', '\n', MoveLeft(125, m), '"', v1, '"', '\n');
  job.Append("A%d,125,0,2,1,1,N,%c*%s*%c%c", MoveLeft(170, m), '"', v1, '"', '\n');
  job.Append("A%d,145,0,2,1,1,N,%c%s%c%c", MoveLeft(90, m), '"', values.Next(), '"', '\n');
  char last[kValueBound + 1];
  std::strcpy(last, values.Rest());
  std::size_t n = std::strlen(last);
  if (n > 0) last[n - 1] = '\0';  // the last value loses its final character
  job.Append("A%d,165,0,2,1,1,N,%c%s%c%c", MoveLeft(90, m), '"', last, '"', '\n');
  job.Append("P1%c", '\n');
}

void CoagulareTubeLayout(LabelJob& job, const char* data, int m) {
  ValueReader values(data);
  const char* v1 = values.Next();
  job.Clear();
  job.Append("D8%c%cN%cB%d,0,0,3,2,4,40,N,%c%s%c%c", '\n', '\n', '\n', MoveLeft(90, m), '"', v1, '"', '\n');
  job.Append("A%d,45,0,2,1,1,N,%c*%s*%c%c", MoveLeft(170, m), '"', v1, '"', '\n');
  static const int kTextRows[] = {70, 90, 110, 130};
  for (int y : kTextRows) {
    job.Append("A%d,%d,0,2,1,1,N,%c%s%c%c", MoveLeft(90, m), y, '"', values.Next(), '"', '\n');
  }
  job.Append("A%d,150,0,2,1,1,N,%c%s%c%cP1%c", MoveLeft(90, m), '"', values.Rest(), '"', '\n', '\n');
}

void HematologieTubeLayout(LabelJob& job, const char* data, int m) {
  ValueReader values(data);
  const char* v1 = values.Next();
  job.Clear();
  job.Append("D8%c%cN%cB%d,0,0,3C,2,4,80,N,%c%s%c%c", '\n', '\n', '\n', MoveLeft(90, m), '"', v1, '"', '\n');
  job.Append("A%d,85,0,2,1,1,N,%c*%s*%c%c", MoveLeft(170, m), '"', v1, '"', '\n');
  job.Append("A%d,110,0,2,1,1,N,%c%s%c%c", MoveLeft(90, m), '"', values.Next(), '"', '\n');
  job.Append("A%d,130,0,2,1,1,N,%c%s%c%c", MoveLeft(90, m), '"', values.Next(), '"', '\n');
  job.Append("A%d,150,0,2,1,1,N,%c%s%c%c", MoveLeft(90, m), '"', "Hematologie", '"', '\n');
  job.Append("A%d,170,0,2,1,1,N,%c%s%c%cP1%c", MoveLeft(110, m), '"', values.Next(), '"', '\n', '\n');
}
