#include "preview/epl2_reader.h"

#include <algorithm>
#include <cstring>
#include <vector>

#include "preview/label_builder.h"
#include "preview/text_painter.h"

namespace {

// Bounds of what a command may ask for; larger values are cut and the summary says so.
constexpr int kMaxMultiplier = 9;
constexpr int kMaxGraphicBytesPerRow = kMaxCanvasSide / 8;
constexpr int kMaxLineLength = 2 * kMaxCanvasSide;

bool IsDigit(char c) { return c >= '0' && c <= '9'; }
bool IsSignOrDigit(char c) { return IsDigit(c) || c == '-' || c == '+'; }

// The code pages of EPL2's I command (second parameter).
const char* CodePage(const std::string& name) {
  static const struct {
    const char* name;
    const char* charset;
  } kPages[] = {
      {"0", "CP437"},  {"1", "CP850"},  {"2", "CP852"},  {"3", "CP860"},  {"4", "CP863"},
      {"5", "CP865"},  {"6", "CP857"},  {"7", "CP861"},  {"8", "CP862"},  {"9", "CP855"},
      {"10", "CP866"}, {"11", "CP737"}, {"12", "CP851"}, {"13", "CP869"}, {"A", "CP1252"},
      {"B", "CP1250"}, {"C", "CP1251"}, {"D", "CP1253"}, {"E", "CP1254"}, {"F", "CP1255"},
  };
  for (const auto& page : kPages) {
    if (name == page.name) return page.charset;
  }
  return nullptr;
}

class Epl2Reader {
 public:
  Epl2Reader(std::string_view job, int dpi, const LabelCallback& onLabel)
      : job_(job), dpi_(dpi), onLabel_(onLabel), label_(dpi) {}

  void Run() {
    std::size_t pos = 0;
    while (pos < job_.size() && !stopped_) {
      // GW and GM carry binary data that may hold line feeds: they read their own bytes.
      if (job_.compare(pos, 2, "GW") == 0) {
        pos = Graphic(pos);
        continue;
      }
      if (job_.compare(pos, 2, "GM") == 0) {
        pos = StoredGraphic(pos);
        continue;
      }
      Command(NextLine(job_, &pos));
    }
    if (!stopped_ && dirty_) {
      label_.Notes().Remark("no P line after these commands: the printer prints nothing");
      Emit();
    }
  }

 private:
  void Command(const std::string& line) {
    if (line.empty()) return;  // empty lines separate commands
    const char c0 = line[0];
    const char c1 = line.size() > 1 ? line[1] : '\0';
    if (line == "N") {
      // Lines the preview could not draw stay reported, with the label that follows.
      LabelNotes carried;
      if (dirty_) carried.notDrawn = label_.Notes().notDrawn;
      if (dirty_) carried.refused = label_.Notes().refused;
      if (dirty_ && !label_.Items().empty()) carried.Remark("an N cleared an image that was never printed");
      const int width = label_.JobWidth(), height = label_.JobHeight();
      label_ = LabelPicture(dpi_);
      label_.Notes() = carried;
      label_.SetJobWidth(width);
      label_.SetJobHeight(height);
      dirty_ = false;
      return;
    }
    // Printer settings: they change the label's size, origin or code page, or nothing
    // that a picture shows.
    if (c0 == 'q' && IsDigit(c1)) return Width(line);
    if (c0 == 'Q' && IsDigit(c1)) return Length(line);
    if (c0 == 'R' && IsSignOrDigit(c1)) return Reference(line);
    if (c0 == 'I' && IsDigit(c1)) return CharacterSet(line);
    if ((c0 == 'D' || c0 == 'S') && IsDigit(c1)) return;
    if (c0 == 'O' && (c1 == '\0' || std::strchr("DEFPC", c1))) return;
    if (line == "ZT" || line == "ZB" || line == "JF" || line == "JB" || line == "JC") return;
    if (line == "UN" || line == "US" || line == "UE") return;
    dirty_ = true;
    if (c0 == 'A' && IsSignOrDigit(c1)) return Text(line);
    if (c0 == 'B' && IsSignOrDigit(c1)) return Barcode(line);
    if (c0 == 'L' && (c1 == 'O' || c1 == 'W' || c1 == 'E')) return Line(line);
    if (c0 == 'X' && IsSignOrDigit(c1)) return Box(line);
    if (c0 == 'P' && IsDigit(c1)) return Print(line);
    NotDrawn(line);
  }

  // The command word of an unknown or undrawable line, for the summary.
  void NotDrawn(const std::string& line) {
    std::size_t n = 0;
    while (n < line.size() && n < 4 &&
           ((line[n] >= 'A' && line[n] <= 'Z') || (line[n] >= 'a' && line[n] <= 'z') || line[n] == '?' ||
            line[n] == '^' || line[n] == '@')) {
      ++n;
    }
    if (n == 0) {
      label_.Notes().NotDrawn("\"" + PrintableText(line, 12) + "\"");
    } else {
      label_.Notes().NotDrawn(line.substr(0, n));
    }
  }

  void Broken(const std::string& word, std::string_view line) {
    dirty_ = true;
    label_.Notes().NotDrawn(word + " (broken line \"" + PrintableText(line, 24) + "\")");
  }

  bool Number(const std::string& text, long long* value) {
    if (!ParseNumber(text, value)) return false;
    bool changed = false;
    *value = Bounded(*value, -kMaxCoordinate, kMaxCoordinate, &changed);
    if (changed) label_.Notes().Remark("a coordinate beyond " + std::to_string(kMaxCoordinate) + " dots was cut");
    return true;
  }

  // Quoted data with EPL2's escapes \" and \\; false when it does not start with a quote.
  bool QuotedData(const std::string& field, const std::string& word, std::string* data) {
    if (field.empty() || field[0] != '"') return false;
    data->clear();
    std::size_t i = 1;
    bool closed = false;
    for (; i < field.size(); ++i) {
      const char c = field[i];
      if (c == '\\' && i + 1 < field.size() && (field[i + 1] == '"' || field[i + 1] == '\\')) {
        data->push_back(field[++i]);
      } else if (c == '"') {
        closed = true;
        break;
      } else {
        data->push_back(c);
      }
    }
    if (!closed) {
      label_.Notes().Remark(word + ": data without its closing quote");
    } else if (i + 1 < field.size()) {
      label_.Notes().Remark(word + ": characters after the closing quote are ignored (\"" +
                            PrintableText(field.substr(i + 1), 16) + "\")");
    }
    return true;
  }

  void Text(const std::string& line) {
    std::vector<std::string> p;
    std::string rest;
    long long x, y, rotation, hMult, vMult;
    if (!SplitFields(line.substr(1), 7, &p, &rest) || !Number(p[0], &x) || !Number(p[1], &y) ||
        !ParseNumber(p[2], &rotation) || !ParseNumber(p[4], &hMult) || !ParseNumber(p[5], &vMult)) {
      return Broken("A", line);
    }
    std::string data;
    if (!QuotedData(rest, "A", &data)) {
      label_.Notes().NotDrawn("A (variable or counter data)");
      return;
    }
    FontCell cell;
    if (p[3].size() != 1 || !Epl2FontCell(p[3][0], dpi_, &cell)) {
      label_.Notes().NotDrawn("A (font \"" + PrintableText(p[3], 8) + "\")");
      return;
    }
    bool changed = false;
    const int h = Bounded(hMult, 1, kMaxMultiplier, &changed);
    const int v = Bounded(vMult, 1, kMaxMultiplier, &changed);
    if (changed) label_.Notes().Remark("a text multiplier outside 1 to " + std::to_string(kMaxMultiplier) + " was cut");
    cell.width *= h;
    cell.advance *= h;
    cell.height *= v;
    const Placement at = Place(x, y, rotation);
    const bool reverse = p[6] == "R";
    if (p[6] != "N" && p[6] != "R") label_.Notes().Remark("A: reverse field \"" + PrintableText(p[6], 4) + "\" read as N");
    if (AddText(label_, at, cell, data, charset_, reverse, Origin("A", at.x, at.y))) {
      ++label_.Notes().textLines;
    }
  }

  void Barcode(const std::string& line) {
    std::vector<std::string> p;
    std::string rest;
    long long x, y, rotation, narrow, wide, height;
    if (!SplitFields(line.substr(1), 8, &p, &rest) || !Number(p[0], &x) || !Number(p[1], &y) ||
        !ParseNumber(p[2], &rotation) || !ParseNumber(p[4], &narrow) || !ParseNumber(p[5], &wide) ||
        !ParseNumber(p[6], &height)) {
      return Broken("B", line);
    }
    std::string data;
    if (!QuotedData(rest, "B", &data)) {
      label_.Notes().Refused("B (variable or counter data)", "variable or counter data", static_cast<int>(x + refX_),
                             static_cast<int>(y + refY_));
      return;
    }
    BarcodeRequest request;
    std::string why;
    if (!Epl2Symbology(p[3], data, &request, &why)) {
      label_.Notes().Refused("B (" + why + ")", why, static_cast<int>(x + refX_), static_cast<int>(y + refY_));
      return;
    }
    const BarSize bars = BoundBarSize(label_, narrow, wide, height);
    FontCell hri;
    Epl2FontCell('2', dpi_, &hri);
    const Placement at = Place(x, y, rotation);
    AddBarcode(label_, at, request, bars.narrow, bars.wide, bars.height, p[7] == "B", hri,
               "B " + request.name, Origin("B", at.x, at.y));
  }

  // Positions are relative to the reference point the job set.
  Placement Place(long long x, long long y, long long rotation) {
    return PlaceItem(label_, x + refX_, y + refY_, rotation);
  }

  // LO (black), LW (white), LE (reverse): x, y, horizontal length, vertical length.
  void Line(const std::string& line) {
    std::vector<std::string> p;
    std::string rest;
    long long x, y, w, h;
    if (!SplitFields(line.substr(2) + ",", 4, &p, &rest) || !Number(p[0], &x) || !Number(p[1], &y) ||
        !ParseNumber(p[2], &w) || !ParseNumber(p[3], &h) || w < 0 || h < 0) {
      return Broken(line.substr(0, 2), line);
    }
    bool changed = false;
    const int lw = Bounded(w, 0, kMaxLineLength, &changed);
    const int lh = Bounded(h, 0, kMaxLineLength, &changed);
    if (changed) label_.Notes().Remark("a line longer than " + std::to_string(kMaxLineLength) + " dots was cut");
    DrawItem item;
    item.kind = DrawItem::Kind::kRect;
    item.mode = line[1] == 'O' ? InkMode::kBlack : line[1] == 'W' ? InkMode::kWhite : InkMode::kInvert;
    const Placement at = Place(x, y, 0);
    item.box = at.Map(0, 0, lw, lh);
    item.origin = Origin(line.substr(0, 2), at.x, at.y);
    label_.Add(item);
  }

  // X: box from x1, y1 to x2, y2 with lines of the given thickness.
  void Box(const std::string& line) {
    std::vector<std::string> p;
    std::string rest;
    long long x1, y1, t, x2, y2;
    if (!SplitFields(line.substr(1) + ",", 5, &p, &rest) || !Number(p[0], &x1) || !Number(p[1], &y1) ||
        !ParseNumber(p[2], &t) || !Number(p[3], &x2) || !Number(p[4], &y2) || t < 0) {
      return Broken("X", line);
    }
    bool changed = false;
    const int th = Bounded(t, 0, kMaxLineLength, &changed);
    const Placement a = Place(x1, y1, 0), b = Place(x2, y2, 0);
    const int left = std::min(a.x, b.x), right = std::max(a.x, b.x);
    const int top = std::min(a.y, b.y), bottom = std::max(a.y, b.y);
    AddBoxOutline(label_, left, top, right, bottom, th, th, Origin("X", left, top));
  }

  // GW x,y,bytes per row,rows,DATA: a graphic whose 0 bits print.
  std::size_t Graphic(std::size_t pos) {
    dirty_ = true;
    std::size_t cursor = pos + 2;
    long long values[4];
    for (long long& v : values) {
      std::size_t comma = job_.find(',', cursor);
      if (comma == std::string_view::npos || comma - cursor > 12 || !ParseNumber(job_.substr(cursor, comma - cursor), &v)) {
        return SkipBrokenLine(pos, "GW");
      }
      cursor = comma + 1;
    }
    if (values[2] < 0 || values[3] < 0) return SkipBrokenLine(pos, "GW");
    const long long needed = values[2] * values[3];
    if (static_cast<long long>(job_.size() - cursor) < needed) {
      label_.Notes().NotDrawn("GW (fewer data bytes than its size)");
      return job_.size();
    }
    const std::size_t after = SkipLineEnd(cursor + static_cast<std::size_t>(needed));
    if (values[2] > kMaxGraphicBytesPerRow || values[3] > kMaxCanvasSide) {
      label_.Notes().NotDrawn("GW (larger than " + std::to_string(kMaxCanvasSide) + " dots)");
      return after;
    }
    DrawItem item;
    item.kind = DrawItem::Kind::kBitmap;
    item.bitmap.at = Place(values[0], values[1], 0);
    item.bitmap.widthBytes = static_cast<int>(values[2]);
    item.bitmap.height = static_cast<int>(values[3]);
    item.bitmap.bits.assign(job_.begin() + static_cast<long>(cursor),
                            job_.begin() + static_cast<long>(cursor + needed));
    item.box = item.bitmap.at.Map(0, 0, item.bitmap.widthBytes * 8, item.bitmap.height);
    item.origin = Origin("GW", item.bitmap.at.x, item.bitmap.at.y);
    label_.Add(item);
    return after;
  }

  // GM"NAME"size then size bytes: stores a graphic in the printer; nothing is drawn.
  std::size_t StoredGraphic(std::size_t pos) {
    std::size_t cursor = pos + 2;
    if (cursor >= job_.size() || job_[cursor] != '"') return SkipBrokenLine(pos, "GM");
    const std::size_t close = job_.find('"', cursor + 1);
    if (close == std::string_view::npos || close - cursor > 64) return SkipBrokenLine(pos, "GM");
    std::size_t end = close + 1;
    while (end < job_.size() && IsDigit(job_[end]) && end - close < 12) ++end;
    long long size = 0;
    if (!ParseNumber(job_.substr(close + 1, end - close - 1), &size) || size < 0) return SkipBrokenLine(pos, "GM");
    if (end < job_.size() && job_[end] == '\r') ++end;
    if (end < job_.size() && job_[end] == '\n') ++end;
    label_.Notes().NotDrawn("GM (stored graphic)");
    dirty_ = true;
    return static_cast<long long>(job_.size() - end) < size ? job_.size() : SkipLineEnd(end + size);
  }

  std::size_t SkipBrokenLine(std::size_t pos, const char* word) {
    std::size_t end = job_.find('\n', pos);
    if (end == std::string_view::npos) end = job_.size();
    dirty_ = true;
    Broken(word, job_.substr(pos, end - pos));
    return end + 1;
  }

  std::size_t SkipLineEnd(std::size_t pos) {
    if (pos < job_.size() && job_[pos] == '\r') ++pos;
    if (pos < job_.size() && job_[pos] == '\n') ++pos;
    return pos;
  }

  // P sets[,copies]: prints the image.
  void Print(const std::string& line) {
    std::vector<std::string> p;
    std::string rest;
    long long sets = 0, copies = 0;
    const bool two = SplitFields(line.substr(1), 1, &p, &rest);
    if (two ? !ParseNumber(p[0], &sets) || !ParseNumber(rest, &copies) : !ParseNumber(line.substr(1), &sets)) {
      Broken("P", line);
      label_.Notes().copies = "? (" + PrintableText(line, 16) + ")";
    } else {
      label_.Notes().copies = two ? std::to_string(sets) + " sets x " + std::to_string(copies)
                                  : std::to_string(sets);
    }
    Emit();
    dirty_ = false;
  }

  void Emit() {
    label_.SetDialect('E');
    if (!onLabel_(label_)) stopped_ = true;
    // The image stays in the printer until the next N; what the label said about
    // copies and remarks belongs to this print only.
    label_.Notes().copies = "1";
    label_.Notes().remarks.clear();
  }

  void Width(const std::string& line) {
    long long w;
    if (!ParseNumber(line.substr(1), &w) || w < 0) return Broken("q", line);
    label_.SetJobWidth(static_cast<int>(std::min<long long>(w, kMaxCoordinate)));
  }

  void Length(const std::string& line) {
    std::vector<std::string> p;
    std::string rest;
    long long length;
    const std::string first = SplitFields(line.substr(1), 1, &p, &rest) ? p[0] : line.substr(1);
    if (!ParseNumber(first, &length) || length < 0) return Broken("Q", line);
    label_.SetJobHeight(static_cast<int>(std::min<long long>(length, kMaxCoordinate)));
  }

  void Reference(const std::string& line) {
    std::vector<std::string> p;
    std::string rest;
    long long x, y;
    if (!SplitFields(line.substr(1), 1, &p, &rest) || !Number(p[0], &x) || !Number(rest, &y)) {
      return Broken("R", line);
    }
    refX_ = static_cast<int>(x);
    refY_ = static_cast<int>(y);
  }

  // I8,page,country: the code page of the text that follows.
  void CharacterSet(const std::string& line) {
    std::vector<std::string> p;
    std::string rest;
    if (!SplitFields(line.substr(1), 2, &p, &rest) && !SplitFields(line.substr(1) + ",", 2, &p, &rest)) {
      return Broken("I", line);
    }
    const char* charset = CodePage(p[1]);
    if (!charset) {
      label_.Notes().Remark("code page \"" + PrintableText(p[1], 4) + "\" unknown, text read as CP437");
      charset = "CP437";
    }
    charset_ = charset;
  }

  std::string_view job_;  // the whole job, or one run of a capture or log
  int dpi_;
  const LabelCallback& onLabel_;
  LabelPicture label_;
  const char* charset_ = "CP437";
  int refX_ = 0, refY_ = 0;
  bool dirty_ = false;   // drawn or noted since the last N or P
  bool stopped_ = false;
};

}  // namespace

void ReadEpl2(std::string_view job, int dpi, const LabelCallback& onLabel) {
  Epl2Reader reader(job, dpi, onLabel);
  reader.Run();
}
