#include "service/refusal_log.h"

#include <cstdio>

#include "service/allow_list.h"

constexpr std::chrono::seconds RefusalLog::kWindow;
constexpr std::size_t RefusalLog::kMaxAddresses;

void RefusalLog::Close(std::uint32_t address, const Window& window,
                       std::vector<std::string>* lines) {
  if (window.more == 0) return;
  char from[32];
  if (address == kOthers) {
    std::snprintf(from, sizeof from, "alte adrese");
  } else {
    AllowList::FormatAddress(address, from);
  }
  char line[96];
  std::snprintf(line, sizeof line, "Alte %lu conexiuni refuzate de la %s in acel minut",
                window.more, from);
  lines->push_back(line);
}

void RefusalLog::Expire(Clock::time_point now, std::vector<std::string>* lines) {
  if (now < nextExpiry_) return;
  nextExpiry_ = Clock::time_point::max();
  for (auto it = windows_.begin(); it != windows_.end();) {
    if (now - it->second.start >= kWindow) {
      Close(it->first, it->second, lines);
      it = windows_.erase(it);
    } else {
      if (it->second.start + kWindow < nextExpiry_) nextExpiry_ = it->second.start + kWindow;
      ++it;
    }
  }
}

void RefusalLog::Flush(std::vector<std::string>* lines) {
  for (const auto& entry : windows_) Close(entry.first, entry.second, lines);
  windows_.clear();
  nextExpiry_ = Clock::time_point::max();
}

void RefusalLog::Refused(std::uint32_t address, Clock::time_point now,
                         std::vector<std::string>* lines) {
  Expire(now, lines);
  auto it = windows_.find(address);
  if (it != windows_.end()) {
    ++it->second.more;
    return;
  }
  bool others = windows_.size() >= kMaxAddresses;
  if (others) {
    // Too many addresses at once: this one is counted with the rest, without a line.
    Window& rest = windows_[kOthers];
    if (rest.more == 0 && rest.start == Clock::time_point()) rest.start = now;
    ++rest.more;
  } else {
    windows_[address].start = now;
    char from[16];
    AllowList::FormatAddress(address, from);
    char line[64];
    std::snprintf(line, sizeof line, "Conexiune refuzata de la %s", from);
    lines->push_back(line);
  }
  Clock::time_point ends = windows_[others ? kOthers : address].start + kWindow;
  if (ends < nextExpiry_) nextExpiry_ = ends;
}
