// Who may print: the optional service setting allowFrom.
//
//   allowFrom=10.20.0.0/16, 192.168.1.7
//
// The value is a comma-separated list of IPv4 addresses (a.b.c.d) and CIDR ranges
// (a.b.c.d/n, n from 0 to 32). Blanks around an entry are ignored. Parsing is strict:
//  - four decimal parts from 0 to 255, one to three digits each, no leading zeros
//    ("010" could mean 8 or 10 depending on who reads it), no sign, nothing else;
//  - a prefix length of 0 to 32, no leading zeros;
//  - a range whose address has bits set beyond its prefix (192.168.1.10/24) is refused:
//    it is almost always a mistyped prefix, and guessing would widen or narrow the
//    range silently;
//  - empty entries (",," or a trailing comma) are skipped without a report.
// A refused entry is reported to the caller (which logs it) and ignored; the others
// still apply. At most kMaxEntries entries are kept; later ones are reported as refused.
//
// Without the setting everyone may print. With the setting present the list is active
// even when no entry in it is valid: then nobody may print, because a broken allowFrom
// must not fall back to printing for the whole network.
#pragma once

#include <cstdint>
#include <string>

class AllowList {
 public:
  static constexpr int kMaxEntries = 128;

  AllowList();

  // Called for each entry that is refused, with the entry's text (cut to 63 characters).
  typedef void (*RefusedEntry)(void* context, const char* entry);

  // Replaces the list with the entries of text and makes it active.
  // Returns the number of entries that were refused.
  int Parse(const char* text, RefusedEntry refused, void* context);

  // Back to the state without the setting: everyone may print.
  void Clear();

  bool Active() const { return active_; }
  int Count() const { return count_; }

  // address in host order: a.b.c.d is (a << 24) | (b << 16) | (c << 8) | d.
  bool Allows(std::uint32_t address) const;

  // One entry, without surrounding blanks. False for anything but a valid address or
  // range; *network and *mask are set on success (a plain address gets mask 0xFFFFFFFF).
  static bool ParseEntry(const char* text, int length, std::uint32_t* network,
                         std::uint32_t* mask);

  // Who may print, as the log states it at start: "every address" without the
  // setting, "no address" when none of its entries is valid, otherwise the entries in
  // effect ("10.20.0.0/16, 192.168.1.7").
  std::string Describe() const;

  // "a.b.c.d" for a host-order address; out holds at least 16 bytes.
  static void FormatAddress(std::uint32_t address, char* out);

 private:
  bool active_;
  int count_;
  std::uint32_t network_[kMaxEntries];
  std::uint32_t mask_[kMaxEntries];
};
