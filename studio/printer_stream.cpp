#include "studio/printer_stream.h"

#include <algorithm>

namespace {

// While dropping, a line's first bytes are enough to tell a print command or a query.
constexpr std::size_t kLineHeadBytes = 64;

bool HoldsText(const std::string& text) { return text.find_first_not_of(" \t\r\n") != std::string::npos; }

}  // namespace

std::string ConfigurationReport(const PrinterProfile& profile) {
  const int widthMm = static_cast<int>(profile.headDots * 25.4 / profile.dpi + 0.5);
  return "tervane-studio virtual label printer\r\n" + std::to_string(profile.dpi) + " dpi\r\n" +
         "printhead " + std::to_string(profile.headDots) + " dots (" + std::to_string(widthMm) + " mm)\r\n" +
         "stock: the job's q/Q (^W/^Q), else sized to what is drawn\r\n";
}

void PrinterStream::Reset() {
  label_.clear();
  dialect_ = DialectWatch();
  dropping_ = false;
}

void PrinterStream::Line(std::string_view line, std::vector<PrinterEvent>* events) {
  std::string_view text = line;
  if (!text.empty() && text.back() == '\n') text.remove_suffix(1);
  if (!text.empty() && text.back() == '\r') text.remove_suffix(1);
  // Status queries are answered at once and are no part of a label.
  if (text == "^ee") {
    events->push_back({PrinterEvent::kReply, "00\r\n"});
    return;
  }
  if (text == "UQ") {
    events->push_back({PrinterEvent::kReply, ConfigurationReport(profile_)});
    return;
  }
  if (dropping_) {
    // The dropped label ends at its print command, or where the next label starts.
    if (StartsLabel(text)) {
      Reset();
    } else {
      dialect_.Add(text);
      if (EndsLabel(dialect_.Dialect(), text)) Reset();
      return;
    }
  }
  dialect_.Add(text);
  const bool ends = EndsLabel(dialect_.Dialect(), text);
  label_.append(line.data(), line.size());
  if (ends) {
    events->push_back({PrinterEvent::kLabel, std::move(label_)});
    Reset();
  }
}

void PrinterStream::Feed(std::string_view bytes, std::vector<PrinterEvent>* events) {
  while (!bytes.empty()) {
    const std::size_t end = bytes.find('\n');
    const std::size_t take = end == std::string_view::npos ? bytes.size() : end + 1;
    const std::string_view piece = bytes.substr(0, take);
    bytes.remove_prefix(take);
    partialBytes_ += piece.size();
    // A label that grows past the limit, however far its line has come, is dropped at
    // once with what follows up to its end; of each line only the head is kept, to tell
    // what it is.
    if (!dropping_ && label_.size() + partialBytes_ > maxLabelBytes_) {
      events->push_back({PrinterEvent::kDropped, "dropped: more than " + std::to_string(maxLabelBytes_) +
                                                     " bytes without a print command (P or E)"});
      label_.clear();
      dropping_ = true;
      if (partial_.size() > kLineHeadBytes) partial_.resize(kLineHeadBytes);
    }
    if (!dropping_) {
      partial_.append(piece.data(), piece.size());
    } else if (partial_.size() < kLineHeadBytes) {
      partial_.append(piece.data(), std::min(piece.size(), kLineHeadBytes - partial_.size()));
    }
    if (end == std::string_view::npos) return;
    if (dropping_ && partialBytes_ > partial_.size()) {
      // The line's head was kept without its line end: give it one back.
      if (partial_.empty() || partial_.back() != '\n') partial_ += '\n';
    }
    std::string line;
    line.swap(partial_);
    partialBytes_ = 0;
    Line(line, events);
  }
}

void PrinterStream::Finish(std::vector<PrinterEvent>* events) {
  if (partialBytes_ > 0) {
    std::string line;
    line.swap(partial_);
    partialBytes_ = 0;
    Line(line, events);
  }
  if (!dropping_ && HoldsText(label_)) {
    events->push_back({PrinterEvent::kIncomplete, std::move(label_)});
  }
  Reset();
}
