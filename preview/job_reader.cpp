#include "preview/job_reader.h"

#include <algorithm>
#include <string_view>

#include "preview/dialect_b_reader.h"
#include "preview/epl2_reader.h"

namespace {

bool IsDigit(char c) { return c >= '0' && c <= '9'; }
bool IsUpper(char c) { return c >= 'A' && c <= 'Z'; }

// Walks through a text line by line without copying it: a job of millions of empty
// lines costs no more memory than the job itself.
class LineCursor {
 public:
  explicit LineCursor(std::string_view text) : text_(text) {}

  // Moves to the next line; false at the end of the text.
  bool Next() {
    if (next_ >= text_.size()) return false;
    const std::size_t begin = next_;
    std::size_t end = text_.find('\n', begin);
    next_ = end == std::string_view::npos ? text_.size() : end + 1;
    if (end == std::string_view::npos) end = text_.size();
    line_ = text_.substr(begin, end - begin);
    if (!line_.empty() && line_.back() == '\r') line_.remove_suffix(1);
    return true;
  }

  std::string_view Text() const { return line_; }  // without its line end
  std::size_t NextBegin() const { return next_; }   // first byte of the following line

 private:
  std::string_view text_;
  std::string_view line_;
  std::size_t next_ = 0;
};

bool StartsWith(std::string_view s, std::string_view prefix) { return s.substr(0, prefix.size()) == prefix; }

bool IsEpl2Print(std::string_view s) { return s.size() >= 2 && s[0] == 'P' && IsDigit(s[1]); }

// EPL2 lines that set up the printer before a label (code page, density, size, ...).
bool IsEpl2Setting(std::string_view s) {
  if (s.empty()) return true;
  const char c0 = s[0], c1 = s.size() > 1 ? s[1] : '\0';
  return (std::string_view("IDSqQR").find(c0) != std::string_view::npos && (IsDigit(c1) || c1 == '-')) ||
         s == "ZT" || s == "ZB" || s == "JF" || s == "JB";
}

// Dialect B lines that set up the printer before a label (^P1, ^C2, ~...).
bool IsDialectBSetting(std::string_view s) { return !s.empty() && (s[0] == '^' || s[0] == '~'); }

// Where the unbroken row of setting lines of each dialect that ends just before the
// current line begins; fed every line in order. Lets the splitting step back over the
// setting lines before a label without keeping the lines it passed.
class SettingRows {
 public:
  // Start of the row of EPL2 or dialect B settings before the current line (its own
  // start when the line before it is no such setting).
  std::size_t Epl2Start() const { return epl2_; }
  std::size_t DialectBStart() const { return dialectB_; }

  // Call after looking at the line at cursor.
  void Passed(const LineCursor& cursor) {
    if (!IsEpl2Setting(cursor.Text())) epl2_ = cursor.NextBegin();
    if (!IsDialectBSetting(cursor.Text())) dialectB_ = cursor.NextBegin();
  }

 private:
  std::size_t epl2_ = 0, dialectB_ = 0;
};

// Adds the points a line earns each dialect when it is typical of it.
void ScoreLine(std::string_view s, int* epl2, int* dialectB) {
  if (s.empty()) return;
  const char c0 = s[0], c1 = s.size() > 1 ? s[1] : '\0';
  if (s == "N" || IsEpl2Print(s)) *epl2 += 3;
  if (StartsWith(s, "^L") || s == "E") *dialectB += 3;
  if (c0 == '^' || c0 == '~') ++*dialectB;
  if ((c0 == 'A' || c0 == 'B') && (IsDigit(c1) || c1 == '-')) ++*epl2;
  if ((c0 == 'A' || c0 == 'B') && IsUpper(c1) && s.size() > 2 && s[2] == ',') ++*dialectB;
}

// Points for each dialect from the lines typical of it.
class DialectScore {
 public:
  void Add(std::string_view s) { ScoreLine(s, &epl2_, &dialectB_); }
  char Dialect() const { return dialectB_ > epl2_ ? 'B' : 'E'; }

 private:
  int epl2_ = 0, dialectB_ = 0;
};

}  // namespace

char DetectDialect(std::string_view job) {
  DialectScore score;
  for (LineCursor cursor(job); cursor.Next();) score.Add(cursor.Text());
  return score.Dialect();
}

void DialectWatch::Add(std::string_view line) {
  if (start_) return;
  if (line == "N") {
    start_ = 'E';
  } else if (StartsWith(line, "^L")) {
    start_ = 'B';
  } else {
    ScoreLine(line, &epl2_, &dialectB_);
  }
}

char DialectWatch::Dialect() const {
  if (start_) return start_;
  return dialectB_ > epl2_ ? 'B' : 'E';
}

bool EndsLabel(char dialect, std::string_view line) { return dialect == 'B' ? line == "E" : IsEpl2Print(line); }

bool StartsLabel(std::string_view line) { return line == "N" || StartsWith(line, "^L"); }

void ReadJob(const std::string& job, int dpi, const LabelCallback& onLabel) {
  // The first label start tells the dialect; a job without one is told by its commands.
  char dialect = 0;
  DialectScore score;
  for (LineCursor cursor(job); !dialect && cursor.Next();) {
    if (cursor.Text() == "N") {
      dialect = 'E';
    } else if (StartsWith(cursor.Text(), "^L")) {
      dialect = 'B';
    } else {
      score.Add(cursor.Text());
    }
  }
  if (!dialect) dialect = score.Dialect();
  bool stopped = false;
  LabelCallback guarded = [&](LabelPicture& label) {
    if (!onLabel(label)) stopped = true;
    return !stopped;
  };
  const std::string_view text(job);
  auto read = [&](char which, std::size_t begin, std::size_t end) {
    if (stopped || begin >= end) return;
    const std::string_view run = text.substr(begin, end - begin);
    if (which == 'B') {
      ReadDialectB(run, dpi, guarded);
    } else {
      ReadEpl2(run, dpi, guarded);
    }
  };
  // A printer capture may hold jobs of both dialects one after the other: the job is
  // read in runs, switching where a label of the other dialect starts (with the setting
  // lines just before it).
  std::size_t runBegin = 0;
  SettingRows settings;
  for (LineCursor cursor(text); cursor.Next(); settings.Passed(cursor)) {
    const std::string_view s = cursor.Text();
    const bool toB = dialect == 'E' && StartsWith(s, "^L");
    const bool toEpl2 = dialect == 'B' && s == "N";
    if (!toB && !toEpl2) continue;
    // Never before runBegin: the line that started this run is no setting of the other
    // dialect.
    const std::size_t first = toEpl2 ? settings.Epl2Start() : settings.DialectBStart();
    read(dialect, runBegin, first);
    dialect = toB ? 'B' : 'E';
    runBegin = first;
  }
  read(dialect, runBegin, text.size());
}

void ReadLog(const std::string& log, int dpi, const LabelCallback& onLabel) {
  bool stopped = false;
  LabelCallback guarded = [&](LabelPicture& label) {
    if (!onLabel(label)) stopped = true;
    return !stopped;
  };
  const std::string_view text(log);
  std::size_t doneUpTo = 0;  // bytes before this belong to an earlier label
  SettingRows settings;
  LineCursor cursor(text);
  while (!stopped && cursor.Next()) {
    const std::string_view s = cursor.Text();
    const bool epl2 = s == "N";
    const bool dialectB = StartsWith(s, "^L");
    if (!epl2 && !dialectB) {
      settings.Passed(cursor);
      continue;
    }
    // The setting lines just before the label belong to it.
    const std::size_t begin = std::max(doneUpTo, epl2 ? settings.Epl2Start() : settings.DialectBStart());
    while (cursor.Next()) {
      if (epl2 ? IsEpl2Print(cursor.Text()) : cursor.Text() == "E") break;
    }
    const std::size_t end = cursor.NextBegin();
    if (epl2) {
      ReadEpl2(text.substr(begin, end - begin), dpi, guarded);
    } else {
      ReadDialectB(text.substr(begin, end - begin), dpi, guarded);
    }
    doneUpTo = end;
  }
}
