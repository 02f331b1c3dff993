// What the log says about connections that allowFrom refuses: the line
// "Conexiune refuzata de la a.b.c.d" at most once a minute for each address; the
// connections refused after it within that minute are only counted, and once the
// minute is over one line gives their number:
//
//   Alte 4711 conexiuni refuzate de la a.b.c.d in acel minut
//
// so that a sender refused thousands of times a second (a misconfigured machine, a
// scan) cannot fill the disk with the log. At most kMaxAddresses addresses are
// followed at a time; refusals of further addresses are counted together and reported
// in the same way as "... de la alte adrese ...".
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <string>
#include <unordered_map>
#include <vector>

class RefusalLog {
 public:
  using Clock = std::chrono::steady_clock;
  static constexpr std::chrono::seconds kWindow{60};
  static constexpr std::size_t kMaxAddresses = 4096;

  // The lines to write for a connection refused from address at now: the count line
  // of its last minute if that minute is over and more came in it, then the refusal
  // line if it is the first of a minute. Adds the count lines of other addresses
  // whose minute is over.
  void Refused(std::uint32_t address, Clock::time_point now, std::vector<std::string>* lines);
  // Adds the count lines of every minute that is over at now (all of them, at the end).
  void Expire(Clock::time_point now, std::vector<std::string>* lines);
  void Flush(std::vector<std::string>* lines);

 private:
  struct Window {
    Clock::time_point start;
    unsigned long more = 0;  // refused after the line, within the minute
  };
  static constexpr std::uint32_t kOthers = 0xFFFFFFFFu;  // never a peer's address
  void Close(std::uint32_t address, const Window& window, std::vector<std::string>* lines);

  std::unordered_map<std::uint32_t, Window> windows_;
  Clock::time_point nextExpiry_ = Clock::time_point::max();
};
