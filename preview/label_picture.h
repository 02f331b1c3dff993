// One label as the preview sees it: what the job draws on it (a display list in printer
// dots), what it could not draw, and the picture painted from it.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <string_view>
#include <vector>

// Dot coordinates are kept far inside the int range: readers clamp every number from a
// job to +-kMaxCoordinate and every size to its own bound.
constexpr int kMaxCoordinate = 1000000;
// The largest picture side in dots; a larger label is cut to it and the summary says so.
// Fuzzing builds take 1024, so that a label painted at the largest size costs a
// sixteenth of the time and the cut is met sooner.
#ifdef FUZZING_BUILD_MODE_UNSAFE_FOR_PRODUCTION
constexpr int kMaxCanvasSide = 1024;
#else
constexpr int kMaxCanvasSide = 4096;
#endif
// Drawing commands painted per label; further ones are counted as not drawn.
constexpr int kMaxItemsPerLabel = 20000;
// Kinds of lines named under "not drawn" per label; lines of any further kind are
// counted together under kOtherKinds, so that a job of distinct unknown lines does not
// keep one entry per line.
constexpr std::size_t kMaxNotDrawnKinds = 32;
constexpr const char* kOtherKinds = "(other kinds)";

// Pixel values of a picture: the PNG palette indexes.
enum Ink : std::uint8_t { kPaper = 0, kDot = 1, kClipMark = 2 };

enum class InkMode { kBlack, kWhite, kInvert };

// Half-open rectangle [x0, x1) x [y0, y1) in label dots.
struct DotRect {
  int x0 = 0, y0 = 0, x1 = 0, y1 = 0;
  bool Empty() const { return x1 <= x0 || y1 <= y0; }
};

// Rotation about a reference point, clockwise in steps of 90 degrees (0 to 3), as the
// printers turn text and barcodes: a point dx, dy from the reference in the unturned
// drawing lands at the returned label position.
struct Placement {
  int x = 0, y = 0;
  int rotation = 0;
  // The label rectangle covered by the unturned rectangle [dx0, dx1) x [dy0, dy1).
  DotRect Map(int dx0, int dy0, int dx1, int dy1) const;
};

// One printer font cell in dots, with the advance from one character to the next.
struct FontCell {
  int width = 0;
  int height = 0;
  int advance = 0;
};

struct TextItem {
  Placement at;
  FontCell cell;               // after the multipliers
  std::u32string characters;   // Unicode, one per cell
  bool reverse = false;        // white characters on a black box
};

struct BitmapItem {
  Placement at;
  int widthBytes = 0;
  int height = 0;
  std::vector<std::uint8_t> bits;  // rows of widthBytes; a 0 bit prints a dot
};

// What a barcode item encodes, for the checks; the picture is painted from the bars.
struct BarcodeInfo {
  std::string name;        // "Code 128"
  std::string data;        // the data given to the encoder
  std::string text;        // the encoder's human-readable form (check digits, AIs)
  int symbology = 0;       // zint BARCODE_*
  int narrow = 0;          // module (narrow element) width in dots
  int height = 0;          // bar height in dots
};

// A barcode the encoder refused or the preview cannot draw.
struct RefusedBarcode {
  std::string word;    // its entry under "not drawn"
  std::string reason;
  int x = 0, y = 0;    // where the command places it
};

struct DrawItem {
  enum class Kind { kRect, kBars, kText, kBitmap } kind = Kind::kRect;
  DotRect box;  // where the item lands, before clipping
  InkMode mode = InkMode::kBlack;
  std::string origin;  // the command, for the clipping note ("B at -40,0")
  Placement at;                // kBars: the barcode's corner and rotation
  std::vector<DotRect> bars;   // kBars: bars relative to the corner, unturned
  BarcodeInfo barcode;         // kBars
  TextItem text;
  BitmapItem bitmap;
};

// Everything the summary line reports about one label.
struct LabelNotes {
  int textLines = 0;
  int barcodes = 0;
  std::string copies = "1";
  std::map<std::string, int> notDrawn;  // command word -> count; kMaxNotDrawnKinds words, then kOtherKinds
  std::vector<std::string> remarks;     // broken lines, capped sizes, ...
  std::vector<RefusedBarcode> refused;  // also counted under notDrawn; at most kMaxNotDrawnKinds kept
  void NotDrawn(const std::string& word);
  // A barcode that is not drawn: counted under notDrawn as word, and kept for the checks.
  void Refused(const std::string& word, const std::string& reason, int x, int y);
  void Remark(const std::string& text);  // kept once
};

class TextPainter;

class LabelPicture {
 public:
  explicit LabelPicture(int dpi) : dpi_(dpi) {}

  int Dpi() const { return dpi_; }
  char Dialect() const { return dialect_; }  // 'E' EPL2, 'B' dialect B
  void SetDialect(char dialect) { dialect_ = dialect; }

  // Label size that the job sets (0 = not set).
  void SetJobWidth(int dots) { jobWidth_ = dots; }
  void SetJobHeight(int dots) { jobHeight_ = dots; }
  int JobWidth() const { return jobWidth_; }
  int JobHeight() const { return jobHeight_; }

  // Adds an item; false (and a not-drawn count) once the label holds kMaxItemsPerLabel.
  bool Add(const DrawItem& item);
  const std::vector<DrawItem>& Items() const { return items_; }
  void ClearItems() { items_.clear(); }
  LabelNotes& Notes() { return notes_; }
  const LabelNotes& Notes() const { return notes_; }

  // Chooses the canvas (job size, else the fallback size, else the bounding box plus a
  // margin; each side capped), paints every item and marks clipped edges in red.
  // fallbackWidth/fallbackHeight: --width/--height in dots, 0 when not given.
  void Paint(TextPainter& painter, int fallbackWidth, int fallbackHeight);

  int Width() const { return width_; }
  int Height() const { return height_; }
  const std::vector<std::uint8_t>& Pixels() const { return pixels_; }  // Ink values
  std::uint8_t At(int x, int y) const { return pixels_[static_cast<std::size_t>(y) * width_ + x]; }

  // "label-001.png: 406x230 dots at 203 dpi (bounding box); ..." without a line end.
  std::string SummaryLine(const std::string& fileName) const;

  // Painting primitives, clipped to the canvas.
  void FillRect(const DotRect& r, InkMode mode);
  void PlotDot(int x, int y, InkMode mode) {
    if (x < 0 || y < 0 || x >= width_ || y >= height_) return;
    std::uint8_t& p = pixels_[static_cast<std::size_t>(y) * width_ + x];
    p = mode == InkMode::kBlack ? kDot : mode == InkMode::kWhite ? kPaper : (p == kDot ? kPaper : kDot);
  }

 private:
  void PaintBitmap(const BitmapItem& b, InkMode mode);
  void MarkClipping();

  int dpi_;
  char dialect_ = 'E';
  int jobWidth_ = 0, jobHeight_ = 0;
  std::vector<DrawItem> items_;
  LabelNotes notes_;

  int width_ = 0, height_ = 0;
  std::string sizeSource_;
  std::vector<std::uint8_t> pixels_;
  std::string clipped_;  // "left (B at x=-40), top (...)"
  bool clipLeft_ = false, clipTop_ = false, clipRight_ = false, clipBottom_ = false;
};

// Printable form of bytes for a summary: control and non-ASCII bytes as \xNN, at most
// maxChars characters of input (then "...").
std::string PrintableText(std::string_view bytes, std::size_t maxChars = 24);
