#include "service/allow_list.h"

#include <cstdio>
#include <cstring>

namespace {

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

// A decimal number of 1 to maxDigits digits without leading zeros, at most limit.
// Advances *i past it.
bool ReadNumber(const char* text, int length, int* i, int maxDigits, unsigned limit,
                unsigned* value) {
  int start = *i;
  unsigned v = 0;
  while (*i < length && IsDigit(text[*i]) && *i - start < maxDigits) {
    v = v * 10 + static_cast<unsigned>(text[*i] - '0');
    ++*i;
  }
  int digits = *i - start;
  if (digits == 0) return false;
  if (digits > 1 && text[start] == '0') return false;
  if (*i < length && IsDigit(text[*i])) return false;  // too many digits
  if (v > limit) return false;
  *value = v;
  return true;
}

}  // namespace

AllowList::AllowList() : active_(false), count_(0), network_(), mask_() {}

void AllowList::Clear() {
  active_ = false;
  count_ = 0;
}

bool AllowList::ParseEntry(const char* text, int length, std::uint32_t* network,
                           std::uint32_t* mask) {
  int i = 0;
  std::uint32_t address = 0;
  for (int part = 0; part < 4; ++part) {
    if (part > 0) {
      if (i >= length || text[i] != '.') return false;
      ++i;
    }
    unsigned v = 0;
    if (!ReadNumber(text, length, &i, 3, 255, &v)) return false;
    address = (address << 8) | v;
  }
  unsigned prefix = 32;
  if (i < length && text[i] == '/') {
    ++i;
    if (!ReadNumber(text, length, &i, 2, 32, &prefix)) return false;
  }
  if (i != length) return false;
  std::uint32_t m = prefix == 0 ? 0u : 0xFFFFFFFFu << (32 - prefix);
  if ((address & ~m) != 0) return false;
  *network = address;
  *mask = m;
  return true;
}

int AllowList::Parse(const char* text, RefusedEntry refused, void* context) {
  active_ = true;
  count_ = 0;
  int refusedCount = 0;
  const char* p = text;
  for (;;) {
    const char* end = std::strchr(p, ',');
    if (!end) end = p + std::strlen(p);
    const char* first = p;
    const char* last = end;
    while (first < last && *first == ' ') ++first;
    while (last > first && last[-1] == ' ') --last;
    int length = static_cast<int>(last - first);
    if (length > 0) {
      std::uint32_t network = 0;
      std::uint32_t mask = 0;
      if (count_ < kMaxEntries && ParseEntry(first, length, &network, &mask)) {
        network_[count_] = network;
        mask_[count_] = mask;
        ++count_;
      } else {
        ++refusedCount;
        if (refused) {
          char entry[64];
          int shown = length < 63 ? length : 63;
          std::memcpy(entry, first, static_cast<std::size_t>(shown));
          entry[shown] = '\0';
          refused(context, entry);
        }
      }
    }
    if (*end == '\0') break;
    p = end + 1;
  }
  return refusedCount;
}

bool AllowList::Allows(std::uint32_t address) const {
  if (!active_) return true;
  for (int i = 0; i < count_; ++i) {
    if ((address & mask_[i]) == network_[i]) return true;
  }
  return false;
}

std::string AllowList::Describe() const {
  if (!active_) return "every address";
  if (count_ == 0) return "no address";
  std::string text;
  for (int i = 0; i < count_; ++i) {
    char address[16];
    FormatAddress(network_[i], address);
    if (i > 0) text += ", ";
    text += address;
    if (mask_[i] != 0xFFFFFFFFu) {
      int prefix = 0;
      for (std::uint32_t m = mask_[i]; m != 0; m <<= 1) ++prefix;
      text += "/" + std::to_string(prefix);
    }
  }
  return text;
}

void AllowList::FormatAddress(std::uint32_t address, char* out) {
  std::snprintf(out, 16, "%u.%u.%u.%u", static_cast<unsigned>(address >> 24),
                static_cast<unsigned>((address >> 16) & 0xFF),
                static_cast<unsigned>((address >> 8) & 0xFF), static_cast<unsigned>(address & 0xFF));
}
