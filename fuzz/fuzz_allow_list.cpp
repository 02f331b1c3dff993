// Fuzz target: the allowFrom parser and matcher.
//
// Input: the first four bytes are a peer address, the rest (to its first zero byte) is
// the setting's value. Checks: every accepted entry prints back to text that parses to
// the same range; an entry is refused or kept, never both; the matcher agrees with a
// plain re-evaluation of the kept ranges; a refused entry's text is never longer than
// its report buffer.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "service/allow_list.h"

namespace {

void Check(bool condition) {
  if (!condition) std::abort();
}

struct Reports {
  int count = 0;
};

void OnRefused(void* context, const char* entry) {
  Check(std::strlen(entry) <= 63);
  Check(std::strlen(entry) > 0);
  static_cast<Reports*>(context)->count++;
}

int PrefixLength(std::uint32_t mask) {
  int n = 0;
  while (n < 32 && (mask & (0x80000000u >> n))) ++n;
  return n;
}

// The entries of the text as the parser walks it: split at commas, blanks around an
// entry removed, entries of blanks only left out.
std::vector<std::string> Entries(const std::string& text) {
  std::vector<std::string> entries;
  std::size_t start = 0;
  for (;;) {
    std::size_t end = text.find(',', start);
    std::string entry = text.substr(start, end == std::string::npos ? std::string::npos : end - start);
    std::size_t a = entry.find_first_not_of(' ');
    if (a != std::string::npos) entries.push_back(entry.substr(a, entry.find_last_not_of(' ') - a + 1));
    if (end == std::string::npos) break;
    start = end + 1;
  }
  return entries;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 4) return 0;
  std::uint32_t peer = (std::uint32_t(data[0]) << 24) | (std::uint32_t(data[1]) << 16) |
                       (std::uint32_t(data[2]) << 8) | data[3];
  std::string text(reinterpret_cast<const char*>(data + 4), size - 4);
  text = text.c_str();  // up to the first zero byte, as a setting value

  AllowList list;
  Check(list.Allows(peer));  // no setting: everyone
  Reports reports;
  int refused = list.Parse(text.c_str(), OnRefused, &reports);
  Check(refused == reports.count);
  Check(list.Active());
  Check(list.Count() >= 0 && list.Count() <= AllowList::kMaxEntries);

  // Each entry of the text is kept or refused.
  const std::vector<std::string> entries = Entries(text);
  for (const std::string& entry : entries) {
    std::uint32_t network = 0, mask = 0;
    if (AllowList::ParseEntry(entry.data(), static_cast<int>(entry.size()), &network, &mask)) {
      // Canonical text parses back to the same range, and nothing else was accepted.
      char canonical[32];
      char address[16];
      AllowList::FormatAddress(network, address);
      int prefix = PrefixLength(mask);
      Check(mask == (prefix == 0 ? 0u : 0xFFFFFFFFu << (32 - prefix)));
      Check((network & ~mask) == 0);
      if (prefix == 32 && entry.find('/') == std::string::npos) {
        std::snprintf(canonical, sizeof canonical, "%s", address);
      } else {
        std::snprintf(canonical, sizeof canonical, "%s/%d", address, prefix);
      }
      Check(entry == canonical);
    }
  }
  Check(list.Count() + refused == static_cast<int>(entries.size()));

  // Matching: re-parse the kept entries one by one and compare.
  bool expected = false;
  int kept = 0;
  for (const std::string& entry : entries) {
    std::uint32_t network = 0, mask = 0;
    if (kept < AllowList::kMaxEntries &&
        AllowList::ParseEntry(entry.data(), static_cast<int>(entry.size()), &network, &mask)) {
      ++kept;
      if ((peer & mask) == network) expected = true;
    }
  }
  Check(kept == list.Count());
  Check(list.Allows(peer) == expected);
  list.Clear();
  Check(list.Allows(peer));
  return 0;
}
