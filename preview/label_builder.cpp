#include "preview/label_builder.h"

#include <algorithm>
#include <cstdlib>

#include "preview/text_decoding.h"

bool SplitFields(const std::string& text, std::size_t count, std::vector<std::string>* fields,
                 std::string* rest) {
  fields->clear();
  std::size_t start = 0;
  for (std::size_t i = 0; i < count; ++i) {
    const std::size_t comma = text.find(',', start);
    if (comma == std::string::npos) return false;
    fields->push_back(text.substr(start, comma - start));
    start = comma + 1;
  }
  *rest = text.substr(start);
  return true;
}

bool ParseNumber(std::string_view text, long long* value) {
  std::size_t i = 0;
  while (i < text.size() && text[i] == ' ') ++i;
  bool negative = false;
  if (i < text.size() && (text[i] == '-' || text[i] == '+')) negative = text[i++] == '-';
  const std::size_t digitsStart = i;
  long long v = 0;
  while (i < text.size() && text[i] >= '0' && text[i] <= '9') {
    v = v * 10 + (text[i] - '0');
    if (v > 2147483648LL) return false;
    ++i;
  }
  if (i == digitsStart) return false;
  while (i < text.size() && text[i] == ' ') ++i;
  if (i != text.size()) return false;
  *value = negative ? -v : v;
  return true;
}

std::string NextLine(std::string_view text, std::size_t* pos) {
  std::size_t end = text.find('\n', *pos);
  if (end == std::string_view::npos) end = text.size();
  std::string line(text.substr(*pos, end - *pos));
  *pos = end + 1;
  if (!line.empty() && line.back() == '\r') line.pop_back();
  return line;
}

int Bounded(long long value, int low, int high, bool* changed) {
  if (value < low) {
    *changed = true;
    return low;
  }
  if (value > high) {
    *changed = true;
    return high;
  }
  return static_cast<int>(value);
}

Placement PlaceItem(LabelPicture& label, long long x, long long y, long long rotation) {
  Placement at;
  at.x = static_cast<int>(x);
  at.y = static_cast<int>(y);
  if (rotation < 0 || rotation > 3) {
    label.Notes().Remark("a rotation outside 0 to 3 was read as 0");
    rotation = 0;
  }
  at.rotation = static_cast<int>(rotation);
  return at;
}

BarSize BoundBarSize(LabelPicture& label, long long narrow, long long wide, long long height) {
  constexpr int kMaxNarrow = 30;
  constexpr int kMaxWide = 60;
  constexpr int kMaxBarHeight = 2 * kMaxCanvasSide;
  bool changed = false;
  BarSize size;
  size.narrow = Bounded(narrow, 1, kMaxNarrow, &changed);
  size.wide = Bounded(wide, 1, kMaxWide, &changed);
  size.height = Bounded(height, 1, kMaxBarHeight, &changed);
  if (changed) label.Notes().Remark("a bar width or height out of range was cut");
  return size;
}

bool AddBoxOutline(LabelPicture& label, int left, int top, int right, int bottom, int thickX,
                   int thickY, const std::string& origin) {
  const DotRect sides[] = {{left, top, right, top + thickY},
                           {left, bottom - thickY, right, bottom},
                           {left, top, left + thickX, bottom},
                           {right - thickX, top, right, bottom}};
  for (const DotRect& side : sides) {
    DrawItem item;
    item.box = side;
    item.origin = origin;
    if (!label.Add(item)) return false;
  }
  return true;
}

std::string Origin(const std::string& command, long long x, long long y) {
  return command + " at " + std::to_string(x) + "," + std::to_string(y);
}

bool AddText(LabelPicture& label, const Placement& at, const FontCell& cell, const std::string& bytes,
             const char* charset, bool reverse, const std::string& origin) {
  // No code page takes more than 4 bytes per character: decode only what can be drawn.
  std::u32string characters =
      DecodeText(bytes.size() > 4 * kMaxTextCharacters ? bytes.substr(0, 4 * kMaxTextCharacters) : bytes, charset);
  if (characters.size() > kMaxTextCharacters) {
    characters.resize(kMaxTextCharacters);
    label.Notes().Remark("text cut to " + std::to_string(kMaxTextCharacters) + " characters");
  }
  DrawItem item;
  item.kind = DrawItem::Kind::kText;
  item.origin = origin;
  item.text.at = at;
  item.text.cell = cell;
  item.text.characters = std::move(characters);
  item.text.reverse = reverse;
  const int n = static_cast<int>(item.text.characters.size());
  item.box = n == 0 ? DotRect{} : at.Map(0, 0, (n - 1) * cell.advance + cell.width, cell.height);
  return label.Add(item);
}

void AddBarcode(LabelPicture& label, const Placement& at, const BarcodeRequest& request, int narrow,
                int wide, int height, bool humanReadable, const FontCell& hriCell,
                const std::string& command, const std::string& origin) {
  if (request.data.size() > kMaxBarcodeData) {
    const std::string why = "data longer than " + std::to_string(kMaxBarcodeData) + " bytes";
    label.Notes().Refused(command + " (" + why + ")", request.name + ": " + why, at.x, at.y);
    return;
  }
  BarcodeShape shape;
  std::string error;
  if (!EncodeBarcode(request, narrow, wide, height, &shape, &error)) {
    label.Notes().Refused(command + " (" + PrintableText(error, 60) + ")", PrintableText(error, 200), at.x, at.y);
    return;
  }
  DrawItem item;
  item.kind = DrawItem::Kind::kBars;
  item.origin = origin;
  item.at = at;
  item.bars = std::move(shape.bars);
  item.barcode.name = request.name;
  item.barcode.data = request.data;
  item.barcode.text = shape.text;
  item.barcode.symbology = request.symbology;
  item.barcode.narrow = narrow;
  item.barcode.height = shape.height;
  item.box = at.Map(0, 0, shape.width, shape.height);
  if (!label.Add(item)) return;
  ++label.Notes().barcodes;
  if (!humanReadable || hriCell.width <= 0) return;
  // The human-readable line: centred under the bars, 2 dots below them.
  const int n = static_cast<int>(std::min(DecodeText(shape.text, "UTF-8").size(), kMaxTextCharacters));
  if (n == 0) return;
  const int textWidth = (n - 1) * hriCell.advance + hriCell.width;
  const int dx = (shape.width - textWidth) / 2;
  const int dy = shape.height + 2;
  // Offsets from the barcode's corner, turned with it.
  DotRect corner = at.Map(dx, dy, dx + 1, dy + 1);
  Placement textAt = at;
  switch (at.rotation & 3) {
    case 0: textAt.x = corner.x0, textAt.y = corner.y0; break;
    case 1: textAt.x = corner.x1, textAt.y = corner.y0; break;
    case 2: textAt.x = corner.x1, textAt.y = corner.y1; break;
    default: textAt.x = corner.x0, textAt.y = corner.y1; break;
  }
  AddText(label, textAt, hriCell, shape.text, "UTF-8", false, origin);
}
