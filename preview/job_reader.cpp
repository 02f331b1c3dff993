#include "preview/job_reader.h"

#include <algorithm>
#include <vector>

#include "preview/dialect_b_reader.h"
#include "preview/epl2_reader.h"
#include "preview/label_builder.h"

namespace {

bool IsDigit(char c) { return c >= '0' && c <= '9'; }
bool IsUpper(char c) { return c >= 'A' && c <= 'Z'; }

struct Line {
  std::size_t begin;  // first byte
  std::size_t next;   // first byte of the following line
  std::string text;   // without its line end
};

std::vector<Line> Lines(const std::string& text) {
  std::vector<Line> lines;
  std::size_t pos = 0;
  while (pos < text.size()) {
    Line line;
    line.begin = pos;
    line.text = NextLine(text, &pos);
    line.next = pos;
    lines.push_back(std::move(line));
  }
  return lines;
}

bool IsEpl2Print(const std::string& s) { return s.size() >= 2 && s[0] == 'P' && IsDigit(s[1]); }

// EPL2 lines that set up the printer before a label (code page, density, size, ...).
bool IsEpl2Setting(const std::string& s) {
  if (s.empty()) return true;
  const char c0 = s[0], c1 = s.size() > 1 ? s[1] : '\0';
  return (std::string("IDSqQR").find(c0) != std::string::npos && (IsDigit(c1) || c1 == '-')) || s == "ZT" ||
         s == "ZB" || s == "JF" || s == "JB";
}

}  // namespace

char DetectDialect(const std::string& job) {
  int epl2 = 0, dialectB = 0;
  for (const Line& line : Lines(job)) {
    const std::string& s = line.text;
    if (s.empty()) continue;
    const char c0 = s[0], c1 = s.size() > 1 ? s[1] : '\0';
    if (s == "N" || IsEpl2Print(s)) epl2 += 3;
    if (s.compare(0, 2, "^L") == 0 || s == "E") dialectB += 3;
    if (c0 == '^' || c0 == '~') ++dialectB;
    if ((c0 == 'A' || c0 == 'B') && (IsDigit(c1) || c1 == '-')) ++epl2;
    if ((c0 == 'A' || c0 == 'B') && IsUpper(c1) && s.size() > 2 && s[2] == ',') ++dialectB;
  }
  return dialectB > epl2 ? 'B' : 'E';
}

void ReadJob(const std::string& job, int dpi, const LabelCallback& onLabel) {
  // A printer capture may hold jobs of both dialects one after the other: the job is
  // read in runs, switching where a label of the other dialect starts (with the setting
  // lines just before it).
  const std::vector<Line> lines = Lines(job);
  char dialect = 0;
  for (const Line& line : lines) {
    if (line.text == "N" || line.text.compare(0, 2, "^L") == 0) {
      dialect = line.text == "N" ? 'E' : 'B';
      break;
    }
  }
  if (!dialect) dialect = DetectDialect(job);
  bool stopped = false;
  LabelCallback guarded = [&](LabelPicture& label) {
    if (!onLabel(label)) stopped = true;
    return !stopped;
  };
  auto read = [&](char which, std::size_t begin, std::size_t end) {
    if (stopped || begin >= end) return;
    const std::string run = job.substr(begin, end - begin);
    if (which == 'B') {
      ReadDialectB(run, dpi, guarded);
    } else {
      ReadEpl2(run, dpi, guarded);
    }
  };
  std::size_t runLine = 0;
  for (std::size_t i = 0; i < lines.size(); ++i) {
    const std::string& s = lines[i].text;
    const bool toB = dialect == 'E' && s.compare(0, 2, "^L") == 0;
    const bool toEpl2 = dialect == 'B' && s == "N";
    if (!toB && !toEpl2) continue;
    std::size_t first = i;
    while (first > runLine) {
      const std::string& before = lines[first - 1].text;
      const bool setting = toEpl2 ? IsEpl2Setting(before) : !before.empty() && (before[0] == '^' || before[0] == '~');
      if (!setting) break;
      --first;
    }
    read(dialect, lines[runLine].begin, lines[first].begin);
    dialect = toB ? 'B' : 'E';
    runLine = first;
  }
  if (!lines.empty()) read(dialect, lines[runLine].begin, job.size());
}

void ReadLog(const std::string& log, int dpi, const LabelCallback& onLabel) {
  const std::vector<Line> lines = Lines(log);
  bool stopped = false;
  LabelCallback guarded = [&](LabelPicture& label) {
    if (!onLabel(label)) stopped = true;
    return !stopped;
  };
  std::size_t doneUpTo = 0;  // lines before this index belong to an earlier label
  for (std::size_t i = 0; i < lines.size() && !stopped; ++i) {
    const std::string& s = lines[i].text;
    const bool epl2 = s == "N";
    const bool dialectB = s.compare(0, 2, "^L") == 0;
    if (!epl2 && !dialectB) continue;
    // The setting lines just before the label belong to it.
    std::size_t first = i;
    while (first > doneUpTo) {
      const std::string& before = lines[first - 1].text;
      const bool setting = epl2 ? IsEpl2Setting(before) : !before.empty() && (before[0] == '^' || before[0] == '~');
      if (!setting) break;
      --first;
    }
    std::size_t last = i + 1;
    while (last < lines.size()) {
      const std::string& t = lines[last].text;
      ++last;
      if (epl2 ? IsEpl2Print(t) : t == "E") break;
    }
    const std::size_t begin = lines[first].begin;
    const std::size_t end = std::min(lines[last - 1].next, log.size());
    const std::string segment = log.substr(begin, end - begin);
    if (epl2) {
      ReadEpl2(segment, dpi, guarded);
    } else {
      ReadDialectB(segment, dpi, guarded);
    }
    doneUpTo = last;
    i = last - 1;
  }
}
