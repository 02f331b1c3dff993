#include "studio/printer_log.h"

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>

#include "platform/civil_date.h"

namespace {

bool WriteFile(const std::filesystem::path& path, const std::string& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  out.close();
  return static_cast<bool>(out);
}

// "2026-12-10T08:35:07.123Z" to "20261210-083507-123", a file name part.
std::string FileStamp(const std::string& time) {
  std::string out;
  for (char c : time) {
    if (c >= '0' && c <= '9') out += c;
    if (c == 'T' || c == '.') out += '-';
  }
  return out;
}

std::size_t Size(const ReceivedLabel& label) { return label.job.size() + label.label.png.size(); }

}  // namespace

std::string UtcTimeNow() {
  using namespace std::chrono;
  const long long ms = duration_cast<milliseconds>(system_clock::now().time_since_epoch()).count();
  const long long seconds = ms / 1000;
  const long long days = seconds / 86400;
  const long long inDay = seconds % 86400;
  int year = 0, month = 0, day = 0;
  platform::CivilFromDays(days, &year, &month, &day);
  char text[64];
  std::snprintf(text, sizeof text, "%04d-%02d-%02dT%02d:%02d:%02d.%03dZ", year, month, day,
                static_cast<int>(inDay / 3600), static_cast<int>(inDay / 60 % 60), static_cast<int>(inDay % 60),
                static_cast<int>(ms % 1000));
  return text;
}

bool PrinterLog::PrepareKeepDir(std::string* error) {
  if (keepDir_.empty()) return true;
  std::error_code ec;
  std::filesystem::create_directories(keepDir_, ec);
  if (ec || !std::filesystem::is_directory(keepDir_)) {
    *error = "cannot make the folder " + keepDir_ + (ec ? ": " + ec.message() : std::string());
    return false;
  }
  return true;
}

void PrinterLog::Add(ReceivedLabel label) {
  if (label.time.empty()) label.time = UtcTimeNow();
  {
    std::lock_guard<std::mutex> lock(mutex_);
    label.id = nextId_++;
  }
  if (!keepDir_.empty()) {
    char number[24];
    std::snprintf(number, sizeof number, "%06llu", static_cast<unsigned long long>(label.id));
    const std::filesystem::path base = std::filesystem::path(keepDir_) / (FileStamp(label.time) + "-" + number);
    bool ok = WriteFile(base.string() + ".job", label.job);
    if (label.rendered) ok = WriteFile(base.string() + ".png", label.label.png) && ok;
    if (!ok) {
      label.note += std::string(label.note.empty() ? "" : "; ") + "not written to " + keepDir_;
    }
  }
  auto shared = std::make_shared<const ReceivedLabel>(std::move(label));
  std::lock_guard<std::mutex> lock(mutex_);
  bytes_ += Size(*shared);
  labels_.push_front(std::move(shared));
  while (labels_.size() > studio::kMaxReceived ||
         (labels_.size() > 1 && bytes_ > studio::kMaxReceivedBytes)) {
    bytes_ -= Size(*labels_.back());
    labels_.pop_back();
  }
  ++generation_;
}

std::vector<std::shared_ptr<const ReceivedLabel>> PrinterLog::Labels() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return {labels_.begin(), labels_.end()};
}

std::size_t PrinterLog::Clear() {
  std::lock_guard<std::mutex> lock(mutex_);
  const std::size_t removed = labels_.size();
  labels_.clear();
  bytes_ = 0;
  ++generation_;
  return removed;
}

std::uint64_t PrinterLog::Generation() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return generation_;
}

std::size_t PrinterLog::Count() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return labels_.size();
}
