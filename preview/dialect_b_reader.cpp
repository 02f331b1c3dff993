#include "preview/dialect_b_reader.h"

#include <algorithm>
#include <vector>

#include "preview/label_builder.h"
#include "preview/text_painter.h"

namespace {

constexpr int kMaxMultiplier = 9;
constexpr int kMaxGap = 100;

bool IsUpper(char c) { return c >= 'A' && c <= 'Z'; }
bool IsDigit(char c) { return c >= '0' && c <= '9'; }

class DialectBReader {
 public:
  DialectBReader(std::string_view job, int dpi, const LabelCallback& onLabel)
      : job_(job), dpi_(dpi), onLabel_(onLabel), label_(dpi) {}

  void Run() {
    std::size_t pos = 0;
    while (pos < job_.size() && !stopped_) {
      Command(NextLine(job_, &pos));
    }
    if (!stopped_ && (open_ || dirty_)) {
      label_.Notes().Remark(open_ ? "no E line: the printer prints nothing"
                                  : "commands outside ^L ... E: the printer prints nothing");
      Emit();
    }
  }

 private:
  void Command(const std::string& line) {
    if (line.empty()) return;
    const char c0 = line[0];
    const char c1 = line.size() > 1 ? line[1] : '\0';
    if (c0 == '^' || c0 == '~') return Setting(line);
    if (line == "E") {
      if (!open_) {
        NotDrawn("E (no ^L before it)");
        return;
      }
      Emit();
      open_ = false;
      return;
    }
    std::size_t n = 0;
    while (n < line.size() && n < 4 && (IsUpper(line[n]) || (line[n] >= 'a' && line[n] <= 'z'))) ++n;
    const std::string word = n ? line.substr(0, n) : "\"" + PrintableText(line, 12) + "\"";
    if (!open_) return NotDrawn(word + " (outside ^L ... E)");
    if (c0 == 'A' && IsUpper(c1)) return Text(line);
    if (c0 == 'B' && IsUpper(c1)) return Barcode(line);
    if (c0 == 'L' && (c1 == 'o' || c1 == 'e') && line.size() > 2 && line[2] == ',') return Line(line);
    if (c0 == 'R' && (IsDigit(c1) || c1 == '-')) return Box(line);
    NotDrawn(word);
  }

  void NotDrawn(const std::string& word) {
    dirty_ = true;
    label_.Notes().NotDrawn(word);
  }

  void Broken(const std::string& word, const std::string& line) {
    NotDrawn(word + " (broken line \"" + PrintableText(line, 24) + "\")");
  }

  // ^ and ~ lines: ^L opens a label; ^C, ^P, ^Q and ^W are kept; the others (darkness,
  // speed, stop position, ...) do not change the picture.
  void Setting(const std::string& line) {
    if (line.compare(0, 2, "^L") == 0) {
      if (open_) label_.Notes().Remark("a ^L opened a new label before E");
      // Lines met outside a label are reported with the label that follows them.
      LabelNotes carried;
      if (!open_ && dirty_) carried.notDrawn = label_.Notes().notDrawn;
      if (!open_ && dirty_) carried.refused = label_.Notes().refused;
      const int width = label_.JobWidth(), height = label_.JobHeight();
      label_ = LabelPicture(dpi_);
      label_.Notes().notDrawn = carried.notDrawn;
      label_.Notes().refused = carried.refused;
      label_.SetJobWidth(width);
      label_.SetJobHeight(height);
      open_ = true;
      dirty_ = false;
      return;
    }
    long long value;
    std::vector<std::string> p;
    std::string rest;
    if (line.compare(0, 2, "^C") == 0 && ParseNumber(line.substr(2), &value)) {
      copies_ = line.substr(2);
    } else if (line.compare(0, 2, "^P") == 0 && ParseNumber(line.substr(2), &value)) {
      count_ = line.substr(2);
    } else if (line.compare(0, 2, "^Q") == 0) {
      const std::string first = SplitFields(line.substr(2), 1, &p, &rest) ? p[0] : line.substr(2);
      if (!ParseNumber(first, &value) || value < 0) return Broken("^Q", line);
      label_.SetJobHeight(Millimetres(value));
    } else if (line.compare(0, 2, "^W") == 0) {
      if (!ParseNumber(line.substr(2), &value) || value < 0) return Broken("^W", line);
      label_.SetJobWidth(Millimetres(value));
    }
  }

  int Millimetres(long long mm) const {
    bool changed = false;
    return Bounded((mm * dpi_ * 10 + 127) / 254, 0, kMaxCoordinate, &changed);
  }

  bool Coordinates(const std::string& x, const std::string& y, long long* vx, long long* vy) {
    if (!ParseNumber(x, vx) || !ParseNumber(y, vy)) return false;
    bool changed = false;
    *vx = Bounded(*vx, -kMaxCoordinate, kMaxCoordinate, &changed);
    *vy = Bounded(*vy, -kMaxCoordinate, kMaxCoordinate, &changed);
    if (changed) label_.Notes().Remark("a coordinate beyond " + std::to_string(kMaxCoordinate) + " dots was cut");
    return true;
  }

  Placement Place(long long x, long long y, long long rotation) {
    return PlaceItem(label_, x, y, rotation);
  }

  // A<font>,x,y,x multiplier,y multiplier,gap,rotation,text (the text runs to the end
  // of the line, commas included).
  void Text(const std::string& line) {
    std::vector<std::string> p;
    std::string text;
    long long x, y, xm, ym, gap, rotation;
    if (!SplitFields(line, 7, &p, &text) || !Coordinates(p[1], p[2], &x, &y) || !ParseNumber(p[3], &xm) ||
        !ParseNumber(p[4], &ym) || !ParseNumber(p[5], &gap) || !ParseNumber(p[6], &rotation)) {
      return Broken(p.empty() ? "A" : p[0], line);
    }
    FontCell cell;
    if (p[0].size() != 2 || !DialectBFontCell(p[0][1], dpi_, &cell)) {
      NotDrawn(PrintableText(p[0], 8) + " (font)");
      return;
    }
    bool changed = false;
    const int h = Bounded(xm, 1, kMaxMultiplier, &changed);
    const int v = Bounded(ym, 1, kMaxMultiplier, &changed);
    const int g = Bounded(gap, 0, kMaxGap, &changed);
    if (changed) label_.Notes().Remark("a text multiplier or gap out of range was cut");
    cell.width *= h;
    cell.height *= v;
    cell.advance = cell.advance * h + g;
    const Placement at = Place(x, y, rotation);
    if (AddText(label_, at, cell, text, "CP1252", false, Origin(p[0], at.x, at.y))) {
      ++label_.Notes().textLines;
    }
  }

  // B<type>,x,y,narrow,wide,height,rotation,readable,data.
  void Barcode(const std::string& line) {
    std::vector<std::string> p;
    std::string data;
    long long x, y, narrow, wide, height, rotation, readable;
    if (!SplitFields(line, 8, &p, &data) || !Coordinates(p[1], p[2], &x, &y) || !ParseNumber(p[3], &narrow) ||
        !ParseNumber(p[4], &wide) || !ParseNumber(p[5], &height) || !ParseNumber(p[6], &rotation) ||
        !ParseNumber(p[7], &readable)) {
      return Broken(p.empty() ? "B" : p[0], line);
    }
    BarcodeRequest request;
    std::string why;
    if (!DialectBSymbology(p[0].substr(1), data, &request, &why)) {
      dirty_ = true;
      label_.Notes().Refused(PrintableText(p[0], 8) + " (" + why + ")", why, static_cast<int>(x), static_cast<int>(y));
      return;
    }
    const BarSize bars = BoundBarSize(label_, narrow, wide, height);
    FontCell hri;
    DialectBFontCell('B', dpi_, &hri);
    const Placement at = Place(x, y, rotation);
    AddBarcode(label_, at, request, bars.narrow, bars.wide, bars.height, readable != 0, hri,
               p[0] + " " + request.name, Origin(p[0], at.x, at.y));
  }

  // Lo,x,y,x1,y1 (black) and Le,... (reverse): a filled rectangle between two corners.
  void Line(const std::string& line) {
    std::vector<std::string> p;
    std::string rest;
    long long x0, y0, x1, y1;
    if (!SplitFields(line + ",", 5, &p, &rest) || !Coordinates(p[1], p[2], &x0, &y0) ||
        !Coordinates(p[3], p[4], &x1, &y1)) {
      return Broken(line.substr(0, 2), line);
    }
    DrawItem item;
    item.mode = line[1] == 'o' ? InkMode::kBlack : InkMode::kInvert;
    item.box = {static_cast<int>(std::min(x0, x1)), static_cast<int>(std::min(y0, y1)),
                static_cast<int>(std::max(x0, x1)), static_cast<int>(std::max(y0, y1))};
    item.origin = Origin(line.substr(0, 2), x0, y0);
    label_.Add(item);
  }

  // Rx,y,x1,y1,line width,line height: a box outline.
  void Box(const std::string& line) {
    std::vector<std::string> p;
    std::string rest;
    long long x0, y0, x1, y1, lw, lh;
    if (!SplitFields(line.substr(1) + ",", 6, &p, &rest) || !Coordinates(p[0], p[1], &x0, &y0) ||
        !Coordinates(p[2], p[3], &x1, &y1) || !ParseNumber(p[4], &lw) || !ParseNumber(p[5], &lh) || lw < 0 ||
        lh < 0) {
      return Broken("R", line);
    }
    bool changed = false;
    const int tw = Bounded(lw, 0, kMaxCanvasSide, &changed), th = Bounded(lh, 0, kMaxCanvasSide, &changed);
    const int left = static_cast<int>(std::min(x0, x1)), right = static_cast<int>(std::max(x0, x1));
    const int top = static_cast<int>(std::min(y0, y1)), bottom = static_cast<int>(std::max(y0, y1));
    AddBoxOutline(label_, left, top, right, bottom, tw, th, Origin("R", left, top));
  }

  void Emit() {
    label_.Notes().copies = copies_ + " (^C" + copies_ + " ^P" + count_ + ")";
    label_.SetDialect('B');
    if (!onLabel_(label_)) stopped_ = true;
    dirty_ = false;
  }

  std::string_view job_;  // the whole job, or one run of a capture or log
  int dpi_;
  const LabelCallback& onLabel_;
  LabelPicture label_;
  std::string copies_ = "1";
  std::string count_ = "1";
  bool open_ = false;   // between ^L and E
  bool dirty_ = false;  // noted outside a label, or drawn since ^L
  bool stopped_ = false;
};

}  // namespace

void ReadDialectB(std::string_view job, int dpi, const LabelCallback& onLabel) {
  DialectBReader reader(job, dpi, onLabel);
  reader.Run();
}
