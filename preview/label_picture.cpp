#include "preview/label_picture.h"

#include <algorithm>
#include <cstdio>

#include "preview/text_painter.h"

namespace {

int Clamp(long long v) {
  if (v < -4LL * kMaxCoordinate) return -4 * kMaxCoordinate;
  if (v > 4LL * kMaxCoordinate) return 4 * kMaxCoordinate;
  return static_cast<int>(v);
}

}  // namespace

DotRect Placement::Map(int dx0, int dy0, int dx1, int dy1) const {
  const long long X = x, Y = y;
  DotRect r;
  switch (rotation & 3) {
    case 0:
      r = {Clamp(X + dx0), Clamp(Y + dy0), Clamp(X + dx1), Clamp(Y + dy1)};
      break;
    case 1:  // 90 degrees clockwise: right becomes down, down becomes left
      r = {Clamp(X - dy1), Clamp(Y + dx0), Clamp(X - dy0), Clamp(Y + dx1)};
      break;
    case 2:
      r = {Clamp(X - dx1), Clamp(Y - dy1), Clamp(X - dx0), Clamp(Y - dy0)};
      break;
    default:  // 270 degrees clockwise: right becomes up, down becomes right
      r = {Clamp(X + dy0), Clamp(Y - dx1), Clamp(X + dy1), Clamp(Y - dx0)};
      break;
  }
  return r;
}

void LabelNotes::NotDrawn(const std::string& word) {
  const auto known = notDrawn.find(word);
  if (known != notDrawn.end()) {
    ++known->second;
  } else if (notDrawn.size() < kMaxNotDrawnKinds) {
    notDrawn.emplace(word, 1);
  } else {
    ++notDrawn[kOtherKinds];
  }
}

void LabelNotes::Refused(const std::string& word, const std::string& reason, int x, int y) {
  NotDrawn(word);
  if (refused.size() < kMaxNotDrawnKinds) refused.push_back({word, reason, x, y});
}

void LabelNotes::Remark(const std::string& text) {
  if (std::find(remarks.begin(), remarks.end(), text) == remarks.end() && remarks.size() < 20) {
    remarks.push_back(text);
  }
}

bool LabelPicture::Add(const DrawItem& item) {
  if (items_.size() >= static_cast<std::size_t>(kMaxItemsPerLabel)) {
    notes_.NotDrawn("(over " + std::to_string(kMaxItemsPerLabel) + " drawing commands)");
    return false;
  }
  items_.push_back(item);
  return true;
}

void LabelPicture::Paint(TextPainter& painter, int fallbackWidth, int fallbackHeight) {
  int maxX = 0, maxY = 0;
  for (const DrawItem& item : items_) {
    if (item.box.Empty()) continue;
    maxX = std::max(maxX, item.box.x1);
    maxY = std::max(maxY, item.box.y1);
  }
  const int margin = dpi_ / 8;
  std::string widthFrom, heightFrom;
  long long w, h;
  if (jobWidth_ > 0) {
    w = jobWidth_, widthFrom = "job";
  } else if (fallbackWidth > 0) {
    w = fallbackWidth, widthFrom = "options";
  } else {
    w = static_cast<long long>(maxX) + margin, widthFrom = "bounding box";
  }
  if (jobHeight_ > 0) {
    h = jobHeight_, heightFrom = "job";
  } else if (fallbackHeight > 0) {
    h = fallbackHeight, heightFrom = "options";
  } else {
    h = static_cast<long long>(maxY) + margin, heightFrom = "bounding box";
  }
  if (widthFrom == heightFrom) {
    sizeSource_ = widthFrom == "job" ? "label size from the job"
                  : widthFrom == "bounding box" ? "bounding box + margin"
                                                : "--width/--height";
  } else {
    auto name = [](const std::string& from) { return from == "job" ? "the job" : from == "options" ? "the options" : "the bounding box"; };
    sizeSource_ = std::string("width from ") + name(widthFrom) + ", height from " + name(heightFrom);
  }
  if (w > kMaxCanvasSide) {
    notes_.Remark("picture cut to " + std::to_string(kMaxCanvasSide) + " dots wide (label " +
                  std::to_string(w) + ")");
    w = kMaxCanvasSide;
  }
  if (h > kMaxCanvasSide) {
    notes_.Remark("picture cut to " + std::to_string(kMaxCanvasSide) + " dots high (label " +
                  std::to_string(h) + ")");
    h = kMaxCanvasSide;
  }
  width_ = static_cast<int>(std::max(1LL, w));
  height_ = static_cast<int>(std::max(1LL, h));
  pixels_.assign(static_cast<std::size_t>(width_) * height_, kPaper);

  clipped_.clear();
  clipLeft_ = clipTop_ = clipRight_ = clipBottom_ = false;
  auto noteEdge = [this](bool& flag, const char* edge, const DrawItem& item) {
    if (flag) return;
    flag = true;
    if (!clipped_.empty()) clipped_ += ", ";
    clipped_ += std::string(edge) + " (" + item.origin + ")";
  };
  // Bound the work of one label: many large items over the same dots stop painting.
  const long long budget = 16LL * width_ * height_ + 1000000;
  long long painted = 0;
  for (const DrawItem& item : items_) {
    if (item.box.Empty()) continue;
    const long long visibleW = std::min(item.box.x1, width_) - std::max(item.box.x0, 0);
    const long long visibleH = std::min(item.box.y1, height_) - std::max(item.box.y0, 0);
    if (visibleW > 0 && visibleH > 0) painted += visibleW * visibleH;
    if (painted > budget) {
      notes_.Remark("painting stopped: the label draws too much over the same dots");
      break;
    }
    if (item.box.x0 < 0) noteEdge(clipLeft_, "left", item);
    if (item.box.y0 < 0) noteEdge(clipTop_, "top", item);
    if (item.box.x1 > width_) noteEdge(clipRight_, "right", item);
    if (item.box.y1 > height_) noteEdge(clipBottom_, "bottom", item);
    switch (item.kind) {
      case DrawItem::Kind::kRect:
        FillRect(item.box, item.mode);
        break;
      case DrawItem::Kind::kBars:
        for (const DotRect& bar : item.bars) FillRect(item.at.Map(bar.x0, bar.y0, bar.x1, bar.y1), item.mode);
        break;
      case DrawItem::Kind::kText:
        painter.Draw(item.text, item.mode, *this);
        break;
      case DrawItem::Kind::kBitmap:
        PaintBitmap(item.bitmap, item.mode);
        break;
    }
  }
  MarkClipping();
}

void LabelPicture::FillRect(const DotRect& r, InkMode mode) {
  const int x0 = std::max(r.x0, 0), y0 = std::max(r.y0, 0);
  const int x1 = std::min(r.x1, width_), y1 = std::min(r.y1, height_);
  for (int y = y0; y < y1; ++y) {
    std::uint8_t* row = &pixels_[static_cast<std::size_t>(y) * width_];
    for (int x = x0; x < x1; ++x) {
      if (mode == InkMode::kBlack) {
        row[x] = kDot;
      } else if (mode == InkMode::kWhite) {
        row[x] = kPaper;
      } else {
        row[x] = row[x] == kDot ? kPaper : kDot;
      }
    }
  }
}

void LabelPicture::PaintBitmap(const BitmapItem& b, InkMode mode) {
  for (int row = 0; row < b.height; ++row) {
    for (int col = 0; col < b.widthBytes * 8; ++col) {
      const std::uint8_t byte = b.bits[static_cast<std::size_t>(row) * b.widthBytes + col / 8];
      if ((byte >> (7 - col % 8)) & 1) continue;  // a 1 bit leaves the paper white
      DotRect dot = b.at.Map(col, row, col + 1, row + 1);
      PlotDot(dot.x0, dot.y0, mode);
    }
  }
}

void LabelPicture::MarkClipping() {
  // A red band along each edge where something runs off the label.
  const int band = std::max(2, dpi_ / 100);
  auto mark = [this](int x0, int y0, int x1, int y1) {
    for (int y = std::max(y0, 0); y < std::min(y1, height_); ++y) {
      for (int x = std::max(x0, 0); x < std::min(x1, width_); ++x) {
        pixels_[static_cast<std::size_t>(y) * width_ + x] = kClipMark;
      }
    }
  };
  if (clipLeft_) mark(0, 0, band, height_);
  if (clipTop_) mark(0, 0, width_, band);
  if (clipRight_) mark(width_ - band, 0, width_, height_);
  if (clipBottom_) mark(0, height_ - band, width_, height_);
}

std::string LabelPicture::SummaryLine(const std::string& fileName) const {
  std::string line = fileName + ": " + std::to_string(width_) + "x" + std::to_string(height_) +
                     " dots at " + std::to_string(dpi_) + " dpi (" + sizeSource_ + "); " +
                     (dialect_ == 'B' ? "dialect B" : "EPL2") + "; " +
                     std::to_string(notes_.textLines) +
                     (notes_.textLines == 1 ? " text line; " : " text lines; ") +
                     std::to_string(notes_.barcodes) +
                     (notes_.barcodes == 1 ? " barcode; " : " barcodes; ") + "copies " +
                     notes_.copies + "; clipped: " + (clipped_.empty() ? "none" : clipped_) +
                     "; not drawn: ";
  if (notes_.notDrawn.empty()) {
    line += "none";
  } else {
    bool first = true;
    for (const auto& entry : notes_.notDrawn) {
      if (!first) line += ", ";
      first = false;
      line += entry.first;
      if (entry.second > 1) line += " x" + std::to_string(entry.second);
    }
  }
  for (const std::string& remark : notes_.remarks) line += "; " + remark;
  return line;
}

std::string PrintableText(std::string_view bytes, std::size_t maxChars) {
  std::string out;
  const std::size_t n = std::min(bytes.size(), maxChars);
  for (std::size_t i = 0; i < n; ++i) {
    const unsigned char c = static_cast<unsigned char>(bytes[i]);
    if (c < 0x20 || c >= 0x7F) {
      char hex[8];
      std::snprintf(hex, sizeof hex, "\\x%02X", c);
      out += hex;
    } else {
      out += static_cast<char>(c);
    }
  }
  if (bytes.size() > maxChars) out += "...";
  return out;
}
