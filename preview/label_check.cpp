#include "preview/label_check.h"

#include <zbar.h>
#include <zint.h>

#include <algorithm>
#include <cctype>
#include <climits>
#include <memory>

namespace {

std::string Dots(long long n) { return std::to_string(n) + (n == 1 ? " dot" : " dots"); }

bool Overlaps(const DotRect& a, const DotRect& b) {
  return a.x0 < b.x1 && b.x0 < a.x1 && a.y0 < b.y1 && b.y0 < a.y1;
}

DotRect Intersection(const DotRect& a, const DotRect& b) {
  return {std::max(a.x0, b.x0), std::max(a.y0, b.y0), std::min(a.x1, b.x1), std::min(a.y1, b.y1)};
}

// Items that put ink on the label (white lines only take it away).
bool Inks(const DrawItem& item) { return !item.box.Empty() && item.mode != InkMode::kWhite; }

std::string What(const DrawItem& item) {
  switch (item.kind) {
    case DrawItem::Kind::kBars: return "the barcode (" + item.origin + ")";
    case DrawItem::Kind::kText: return "the text (" + item.origin + ")";
    case DrawItem::Kind::kBitmap: return "the graphic (" + item.origin + ")";
    default: return "the line (" + item.origin + ")";
  }
}

// Symbologies that zbar reads; the others (Matrix 2 of 5, MSI, POSTNET, Japanese Postal
// Code) are reported as scanned but never warned about.
bool ZbarReads(int symbology) {
  switch (symbology) {
    case BARCODE_CODE128:
    case BARCODE_CODE128B:
    case BARCODE_GS1_128:
    case BARCODE_NVE18:
    case BARCODE_CODE39:
    case BARCODE_EXCODE39:
    case BARCODE_C25INTER:
    case BARCODE_ITF14:
    case BARCODE_DPIDENT:
    case BARCODE_DPLEIT:
    case BARCODE_CODE93:
    case BARCODE_CODABAR:
    case BARCODE_EANX:
    case BARCODE_EANX_CHK:
    case BARCODE_UPCA:
    case BARCODE_UPCA_CHK:
    case BARCODE_UPCE:
    case BARCODE_UPCE_CHK:
      return true;
    default:
      return false;
  }
}

std::string Alphanumerics(const std::string& s) {
  std::string out;
  for (char c : s) {
    if (std::isalnum(static_cast<unsigned char>(c))) out += c;
  }
  return out;
}

// Code 39 Full ASCII as a reader without it reports it: "+L" for "l", "$M" for CR, ...
// The pairs turned back into the characters they stand for.
std::string FullAscii(const std::string& s) {
  std::string out;
  for (std::size_t i = 0; i < s.size(); ++i) {
    const char c = s[i];
    const char n = i + 1 < s.size() ? s[i + 1] : '\0';
    const bool letter = n >= 'A' && n <= 'Z';
    if (c == '+' && letter) {
      out += static_cast<char>(n - 'A' + 'a');
    } else if (c == '$' && letter) {
      out += static_cast<char>(n - 'A' + 1);
    } else if (c == '/' && n >= 'A' && n <= 'O') {
      out += static_cast<char>(n - 'A' + '!');
    } else if (c == '/' && n == 'Z') {
      out += ':';
    } else if (c == '%' && letter) {
      static const char kPercent[] = "\x1B\x1C\x1D\x1E\x1F;<=>?[\\]^_{|}~\x7F";  // %A to %T
      if (n <= 'T') {
        out += kPercent[n - 'A'];
      } else {
        out += n == 'U' ? '\0' : n == 'V' ? '@' : n == 'W' ? '`' : '\x7F';
      }
    } else {
      out += c;
      continue;
    }
    ++i;
  }
  return out;
}

// True when zbar's data is what the barcode encodes: the data itself, or the encoder's
// human-readable form, allowing for what readers add or leave out (a check character
// after the data, a leading zero of an odd-length Interleaved 2 of 5 or of UPC-A read as
// EAN-13, the brackets of application identifiers, an add-on read apart).
bool ScansAs(const BarcodeInfo& barcode, const std::string& scanned) {
  if (scanned.empty()) return false;
  const std::string& data = barcode.data;
  if (barcode.symbology == BARCODE_EXCODE39 && FullAscii(scanned) != scanned) {
    BarcodeInfo plain = barcode;
    plain.symbology = BARCODE_CODE39;
    return ScansAs(plain, FullAscii(scanned));
  }
  if (scanned == data || scanned == barcode.text) return true;
  if (scanned.size() == data.size() + 1 && scanned.compare(0, data.size(), data) == 0) return true;
  if (scanned[0] == '0' && (scanned.substr(1) == data ||
                            (scanned.size() == data.size() + 2 && scanned.compare(1, data.size(), data) == 0))) {
    return true;
  }
  // With its add-on (read together) or without it.
  const std::string a = Alphanumerics(scanned);
  const std::string whole = Alphanumerics(barcode.text);
  const std::string main = Alphanumerics(barcode.text.substr(0, barcode.text.find('+')));
  for (const std::string& b : {whole, main}) {
    if (!a.empty() && (a == b || a == "0" + b)) return true;
  }
  return false;
}

// A grey picture for zbar: 255 paper, 0 ink, with the pixels of the label inside
// window (label dots) and paper around them.
class ScanImage {
 public:
  ScanImage(const DotRect& window, int border)
      : window_(window), border_(border), width_(window.x1 - window.x0 + 2 * border),
        height_(window.y1 - window.y0 + 2 * border),
        grey_(static_cast<std::size_t>(width_) * height_, 255) {}

  // Copies the label's dots (the red clipping mark is the preview's, not the printer's).
  void CopyFrom(const LabelPicture& label) {
    const DotRect inside = Intersection(window_, {0, 0, label.Width(), label.Height()});
    for (int y = inside.y0; y < inside.y1; ++y) {
      for (int x = inside.x0; x < inside.x1; ++x) {
        if (label.At(x, y) == kDot) Set(x, y);
      }
    }
  }

  // Paints r (label dots) black where the label holds it.
  void Fill(const DotRect& r, const LabelPicture& label) {
    const DotRect inside = Intersection(Intersection(r, window_), {0, 0, label.Width(), label.Height()});
    for (int y = inside.y0; y < inside.y1; ++y) {
      for (int x = inside.x0; x < inside.x1; ++x) Set(x, y);
    }
  }

  // "TYPE:data" per symbol zbar finds.
  std::vector<std::string> Scan() const {
    using namespace zbar;  // the C++ header puts the C interface in this namespace
    std::vector<std::string> found;
    std::unique_ptr<zbar_image_scanner_t, void (*)(zbar_image_scanner_t*)> scanner(
        zbar_image_scanner_create(), zbar_image_scanner_destroy);
    std::unique_ptr<zbar_image_t, void (*)(zbar_image_t*)> image(zbar_image_create(), zbar_image_destroy);
    if (!scanner || !image) return found;
    zbar_image_scanner_set_config(scanner.get(), ZBAR_NONE, ZBAR_CFG_ENABLE, 1);
    // Short Interleaved 2 of 5 symbols are reported (and warned about) by length, not
    // hidden by the reader's default minimum of 6 digits.
    zbar_image_scanner_set_config(scanner.get(), ZBAR_I25, ZBAR_CFG_MIN_LEN, 2);
    zbar_image_set_format(image.get(), zbar_fourcc('Y', '8', '0', '0'));
    zbar_image_set_size(image.get(), static_cast<unsigned>(width_), static_cast<unsigned>(height_));
    zbar_image_set_data(image.get(), grey_.data(), grey_.size(), nullptr);
    if (zbar_scan_image(scanner.get(), image.get()) <= 0) return found;
    for (const zbar_symbol_t* s = zbar_image_first_symbol(image.get()); s; s = zbar_symbol_next(s)) {
      found.push_back(std::string(zbar_get_symbol_name(zbar_symbol_get_type(s))) + ":" +
                      std::string(zbar_symbol_get_data(s), zbar_symbol_get_data_length(s)));
    }
    std::sort(found.begin(), found.end());
    return found;
  }

 private:
  void Set(int x, int y) {
    grey_[static_cast<std::size_t>(y - window_.y0 + border_) * width_ + (x - window_.x0 + border_)] = 0;
  }

  DotRect window_;
  int border_, width_, height_;
  std::vector<std::uint8_t> grey_;
};

bool AnyScansAs(const BarcodeInfo& barcode, const std::vector<std::string>& scans) {
  for (const std::string& scan : scans) {
    if (ScansAs(barcode, scan.substr(scan.find(':') + 1))) return true;
  }
  return false;
}

class LabelChecker {
 public:
  LabelChecker(const LabelPicture& label, int number, const StockSize& stock)
      : label_(label), number_(number), head_(PrintheadWidth(label.Dpi())) {
    width_ = label.JobWidth() > 0 ? label.JobWidth() : stock.width;
    length_ = label.JobHeight() > 0 ? label.JobHeight() : stock.length;
  }

  std::vector<LabelWarning> Run(std::vector<BarcodeScan>* scans) {
    if (width_ > head_) {
      Warn(warning::kClipped,
           "the label is " + std::to_string(width_) + " dots wide, wider than the printhead (" +
               std::to_string(head_) + " dots at " + std::to_string(label_.Dpi()) + " dpi)",
           {head_, 0, width_, length_ > 0 ? length_ : label_.Height()});
    }
    for (const DrawItem& item : label_.Items()) {
      if (Inks(item)) Clipping(item);
    }
    int barcodes = 0;
    for (const DrawItem& item : label_.Items()) {
      // Past the bound a barcode is neither read back nor measured against its neighbours.
      if (item.kind == DrawItem::Kind::kBars && !item.box.Empty() && barcodes++ < kMaxScannedBarcodes) {
        Barcode(item, scans);
      }
    }
    for (const RefusedBarcode& r : label_.Notes().refused) {
      Warn(warning::kNotEncoded, "barcode not drawn: " + r.reason, {r.x, r.y, r.x, r.y}, true);
    }
    for (const auto& entry : label_.Notes().notDrawn) {
      const bool barcode = std::any_of(label_.Notes().refused.begin(), label_.Notes().refused.end(),
                                       [&entry](const RefusedBarcode& r) { return r.word == entry.first; });
      if (barcode) continue;
      Warn(warning::kUnknownCommand,
           "not drawn: " + entry.first + (entry.second > 1 ? " x" + std::to_string(entry.second) : ""), {});
    }
    return std::move(warnings_);
  }

 private:
  void Warn(const char* kind, const std::string& message, const DotRect& where, bool placed = false) {
    LabelWarning w;
    w.kind = kind;
    w.message = message;
    w.label = number_;
    w.where = where;
    w.placed = placed || !where.Empty();
    warnings_.push_back(std::move(w));
  }

  // The right edge that prints: the label's, or the printhead's when it is narrower.
  int RightEdge() const { return width_ > 0 ? std::min(width_, head_) : head_; }
  std::string RightEdgeName() const {
    return width_ > 0 && width_ <= head_ ? "the right edge of the label (" + std::to_string(width_) + " dots)"
                                         : "the printhead (" + std::to_string(head_) + " dots at " +
                                               std::to_string(label_.Dpi()) + " dpi)";
  }

  void Clipping(const DrawItem& item) {
    std::vector<std::string> edges;
    if (item.box.x0 < 0) edges.push_back(Dots(-static_cast<long long>(item.box.x0)) + " past the left edge");
    if (item.box.y0 < 0) edges.push_back(Dots(-static_cast<long long>(item.box.y0)) + " past the top edge");
    if (item.box.x1 > RightEdge()) {
      edges.push_back(Dots(static_cast<long long>(item.box.x1) - RightEdge()) + " past " + RightEdgeName());
    }
    if (length_ > 0 && item.box.y1 > length_) {
      edges.push_back(Dots(static_cast<long long>(item.box.y1) - length_) + " past the bottom edge of the label (" +
                      std::to_string(length_) + " dots)");
    }
    if (edges.empty()) return;
    std::string message = What(item) + " runs ";
    for (std::size_t i = 0; i < edges.size(); ++i) message += (i ? " and " : "") + edges[i];
    Warn(warning::kClipped, message, item.box);
  }

  void Barcode(const DrawItem& item, std::vector<BarcodeScan>* scans) {
    const BarcodeInfo& info = item.barcode;
    const bool across = (item.at.rotation & 1) == 0;  // bars side by side along x
    const int module = std::max(1, info.narrow);
    const int quiet = kMinQuietZoneModules * module;

    BarcodeScan scan;
    scan.origin = item.origin;
    scan.symbology = info.name;
    scan.data = info.data;
    scan.box = item.box;
    scan.readable = ZbarReads(info.symbology);
    // What the printed label shows around the bars, then the bars alone: when only
    // the bars scan, something drawn over them spoils the symbol.
    // Beyond the picture there is no ink: the window keeps to it, with paper around.
    const DotRect around = across ? DotRect{item.box.x0 - quiet, item.box.y0, item.box.x1 + quiet, item.box.y1}
                                  : DotRect{item.box.x0, item.box.y0 - quiet, item.box.x1, item.box.y1 + quiet};
    const DotRect window = Intersection(around, {0, 0, label_.Width(), label_.Height()});
    const int border = std::max(quiet, 16);
    scan.scanned = !window.Empty();
    if (scan.scanned) {
      ScanImage printed(window, border);
      printed.CopyFrom(label_);
      scan.scans = printed.Scan();
      scan.scansToData = AnyScansAs(info, scan.scans);
    }
    if (scan.readable && !scan.scansToData) {
      bool bareScans = false;
      if (!window.Empty()) {
        ScanImage bare(window, border);
        for (const DotRect& bar : item.bars) bare.Fill(item.at.Map(bar.x0, bar.y0, bar.x1, bar.y1), label_);
        bareScans = AnyScansAs(info, bare.Scan());
      }
      const std::string read = scan.scans.empty() ? "nothing" : scan.scans.front();
      if (bareScans) {
        std::string over;
        DotRect where = item.box;
        for (const DrawItem& other : label_.Items()) {
          if (&other == &item || !Inks(other) || !Overlaps(other.box, item.box)) continue;
          over += (over.empty() ? "" : ", ") + What(other);
          where = Intersection(other.box, item.box);
        }
        Warn(warning::kTextOverBars,
             "the barcode (" + item.origin + ") does not scan to \"" + PrintableText(info.data, 40) + "\" (reads " +
                 PrintableText(read, 48) + "): " + (over.empty() ? "ink" : over) + " over its bars",
             where);
      } else {
        Warn(warning::kNoScan,
             "the barcode (" + item.origin + ") does not scan to \"" + PrintableText(info.data, 40) + "\" (reads " +
                 PrintableText(read, 48) + ")",
             item.box);
      }
    }
    scans->push_back(std::move(scan));

    if (info.height < kMinBarHeight) {
      Warn(warning::kShortBars,
           "the barcode (" + item.origin + ") has bars " + std::to_string(info.height) + " dots high (under " +
               std::to_string(kMinBarHeight) + ")",
           item.box);
    }
    if (info.symbology == BARCODE_C25INTER && static_cast<int>(info.data.size()) < kMinInterleavedDigits) {
      Warn(warning::kShortInterleaved,
           "the Interleaved 2 of 5 barcode (" + item.origin + ") holds " + std::to_string(info.data.size()) +
               " digits (under " + std::to_string(kMinInterleavedDigits) + ")",
           item.box);
    }
    QuietZone(item, across, module);
  }

  // The free space on both sides along the bars, up to the label edges (where they
  // print) and to anything drawn beside the bars; items over the bars are the scan's
  // concern.
  void QuietZone(const DrawItem& item, bool across, int module) {
    const DotRect& b = item.box;
    long long before = across ? b.x0 : b.y0;  // from the left or top edge
    long long after = across ? static_cast<long long>(RightEdge()) - b.x1
                             : (length_ > 0 ? static_cast<long long>(length_) - b.y1 : LLONG_MAX);
    DotRect gapBefore = across ? DotRect{0, b.y0, b.x0, b.y1} : DotRect{b.x0, 0, b.x1, b.y0};
    DotRect gapAfter = across ? DotRect{b.x1, b.y0, RightEdge(), b.y1}
                              : DotRect{b.x0, b.y1, b.x1, length_ > 0 ? length_ : b.y1};
    std::string beforeBy = "the edge", afterBy = "the edge";
    for (const DrawItem& other : label_.Items()) {
      if (&other == &item || !Inks(other)) continue;
      const DotRect& o = other.box;
      if (across ? (o.y1 <= b.y0 || o.y0 >= b.y1) : (o.x1 <= b.x0 || o.x0 >= b.x1)) continue;
      const long long gapToBefore = across ? static_cast<long long>(b.x0) - o.x1 : static_cast<long long>(b.y0) - o.y1;
      const long long gapToAfter = across ? static_cast<long long>(o.x0) - b.x1 : static_cast<long long>(o.y0) - b.y1;
      if (gapToBefore >= 0 && gapToBefore < before) {
        before = gapToBefore;
        beforeBy = What(other);
        gapBefore = across ? DotRect{o.x1, b.y0, b.x0, b.y1} : DotRect{b.x0, o.y1, b.x1, b.y0};
      }
      if (gapToAfter >= 0 && gapToAfter < after) {
        after = gapToAfter;
        afterBy = What(other);
        gapAfter = across ? DotRect{b.x1, b.y0, o.x0, b.y1} : DotRect{b.x0, b.y1, b.x1, o.y0};
      }
    }
    // A side that runs off the label is the clipping warning's.
    const long long quiet = static_cast<long long>(kMinQuietZoneModules) * module;
    const bool shortBefore = before >= 0 && before < quiet;
    const bool shortAfter = after >= 0 && after < quiet;
    if (!shortBefore && !shortAfter) return;
    const bool first = shortBefore && (!shortAfter || before <= after);
    const long long gap = first ? before : after;
    const char* side = across ? (first ? "left" : "right") : (first ? "top" : "bottom");
    Warn(warning::kQuietZone,
         "the barcode (" + item.origin + ") has a quiet zone of " + std::to_string(gap / module) + " modules (" +
             Dots(gap) + ") on the " + side + ", up to " + (first ? beforeBy : afterBy) +
             " (under " + std::to_string(kMinQuietZoneModules) + ")",
         first ? gapBefore : gapAfter, true);
  }

  const LabelPicture& label_;
  int number_;
  int head_;
  int width_ = 0, length_ = 0;
  std::vector<LabelWarning> warnings_;
};

}  // namespace

int PrintheadWidth(int dpi) { return dpi >= 300 ? kPrintheadDots300 : kPrintheadDots203; }

std::vector<LabelWarning> CheckLabel(const LabelPicture& label, int labelNumber, const StockSize& stock,
                                     std::vector<BarcodeScan>* scans) {
  scans->clear();
  return LabelChecker(label, labelNumber, stock).Run(scans);
}

std::string WarningLine(const std::string& fileName, const LabelWarning& w) {
  std::string line = fileName + ": " + w.kind + ": " + w.message;
  if (!w.where.Empty()) {
    line += " [x " + std::to_string(w.where.x0) + ".." + std::to_string(w.where.x1) + ", y " +
            std::to_string(w.where.y0) + ".." + std::to_string(w.where.y1) + "]";
  } else if (w.placed) {
    line += " [at " + std::to_string(w.where.x0) + "," + std::to_string(w.where.y0) + "]";
  }
  return line;
}
