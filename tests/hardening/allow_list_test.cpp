// The allowFrom parser and matcher: what is accepted, what is refused and reported,
// and who may print afterwards.
#include "service/allow_list.h"
#include "service/refusal_log.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <string>
#include <vector>

namespace {

std::uint32_t Ip(unsigned a, unsigned b, unsigned c, unsigned d) {
  return (a << 24) | (b << 16) | (c << 8) | d;
}

struct Refusals {
  std::vector<std::string> entries;
  static void Record(void* context, const char* entry) {
    static_cast<Refusals*>(context)->entries.push_back(entry);
  }
};

bool Entry(const char* text, std::uint32_t* network = nullptr, std::uint32_t* mask = nullptr) {
  std::uint32_t n = 0, m = 0;
  bool ok = AllowList::ParseEntry(text, static_cast<int>(std::string(text).size()), &n, &m);
  if (network) *network = n;
  if (mask) *mask = m;
  return ok;
}

TEST(AllowList, WithoutTheSettingEveryoneMayPrint) {
  AllowList list;
  EXPECT_FALSE(list.Active());
  EXPECT_TRUE(list.Allows(Ip(10, 1, 2, 3)));
  EXPECT_TRUE(list.Allows(0));
  EXPECT_TRUE(list.Allows(0xFFFFFFFFu));
}

TEST(AllowList, AddressesAndRangesMatchTheirPeersOnly) {
  AllowList list;
  Refusals refusals;
  EXPECT_EQ(0, list.Parse("10.20.0.0/16, 192.168.1.7 ,172.16.0.0/12", Refusals::Record, &refusals));
  EXPECT_TRUE(refusals.entries.empty());
  EXPECT_EQ(3, list.Count());
  EXPECT_TRUE(list.Allows(Ip(10, 20, 0, 0)));
  EXPECT_TRUE(list.Allows(Ip(10, 20, 255, 255)));
  EXPECT_FALSE(list.Allows(Ip(10, 21, 0, 1)));
  EXPECT_FALSE(list.Allows(Ip(10, 19, 255, 255)));
  EXPECT_TRUE(list.Allows(Ip(192, 168, 1, 7)));
  EXPECT_FALSE(list.Allows(Ip(192, 168, 1, 8)));
  EXPECT_FALSE(list.Allows(Ip(192, 168, 1, 6)));
  EXPECT_TRUE(list.Allows(Ip(172, 31, 255, 255)));
  EXPECT_FALSE(list.Allows(Ip(172, 32, 0, 0)));
  EXPECT_FALSE(list.Allows(Ip(127, 0, 0, 1)));
}

TEST(AllowList, PrefixEdges) {
  std::uint32_t network = 1, mask = 1;
  ASSERT_TRUE(Entry("0.0.0.0/0", &network, &mask));
  EXPECT_EQ(0u, network);
  EXPECT_EQ(0u, mask);
  ASSERT_TRUE(Entry("255.255.255.255/32", &network, &mask));
  EXPECT_EQ(0xFFFFFFFFu, network);
  EXPECT_EQ(0xFFFFFFFFu, mask);
  ASSERT_TRUE(Entry("128.0.0.0/1", &network, &mask));
  EXPECT_EQ(0x80000000u, mask);
  ASSERT_TRUE(Entry("1.2.3.4", &network, &mask));
  EXPECT_EQ(Ip(1, 2, 3, 4), network);
  EXPECT_EQ(0xFFFFFFFFu, mask);

  AllowList everyone;
  everyone.Parse("0.0.0.0/0", nullptr, nullptr);
  EXPECT_TRUE(everyone.Allows(Ip(8, 8, 8, 8)));
}

TEST(AllowList, StrictSyntaxRefusesEverythingElse) {
  const char* bad[] = {
      "",            "1.2.3",          "1.2.3.4.5",        "1.2.3.256",     "256.0.0.0",
      "01.2.3.4",    "1.2.3.04",       "1.2.3.4/",         "1.2.3.4/33",    "1.2.3.4/08",
      "1.2.3.4/-1",  "+1.2.3.4",       "1.2.3.4 /8",       "1.2.3.4x",      "a.b.c.d",
      "1..3.4",      "1.2.3.4/24",     "192.168.1.10/24",  "1.2.3.4/1000",  "1.2.3.0004",
      "localhost",   "0x7f.0.0.1",     "1.2.3.4\t",        "::1",           "1.2.3.4/32/1",
  };
  for (const char* text : bad) EXPECT_FALSE(Entry(text)) << "'" << text << "'";
  EXPECT_TRUE(Entry("0.0.0.0"));
  EXPECT_TRUE(Entry("10.0.0.0/8"));
}

TEST(AllowList, RefusedEntriesAreReportedAndTheRestApply) {
  AllowList list;
  Refusals refusals;
  EXPECT_EQ(3, list.Parse("10.1.1.1, 10.1.1.300,, host.lab ,10.3.0.0/15,", Refusals::Record,
                          &refusals));
  ASSERT_EQ(3u, refusals.entries.size());
  EXPECT_EQ("10.1.1.300", refusals.entries[0]);
  EXPECT_EQ("host.lab", refusals.entries[1]);  // blanks around the entry dropped
  EXPECT_EQ("10.3.0.0/15", refusals.entries[2]);  // bits beyond the prefix
  EXPECT_EQ(1, list.Count());
  EXPECT_TRUE(list.Allows(Ip(10, 1, 1, 1)));
  EXPECT_FALSE(list.Allows(Ip(10, 2, 0, 1)));
}

TEST(AllowList, PresentButUselessSettingLetsNobodyPrint) {
  AllowList list;
  Refusals refusals;
  list.Parse("", Refusals::Record, &refusals);
  EXPECT_TRUE(list.Active());
  EXPECT_FALSE(list.Allows(Ip(127, 0, 0, 1)));
  EXPECT_TRUE(refusals.entries.empty());

  list.Parse("nonsense", Refusals::Record, &refusals);
  EXPECT_FALSE(list.Allows(Ip(127, 0, 0, 1)));
  EXPECT_EQ(1u, refusals.entries.size());

  list.Clear();
  EXPECT_TRUE(list.Allows(Ip(127, 0, 0, 1)));
}

TEST(AllowList, LongListsAreCappedAndLongEntriesCutInTheReport) {
  std::string text;
  for (int i = 0; i < AllowList::kMaxEntries + 2; ++i) {
    text += "10.0." + std::to_string(i / 256) + "." + std::to_string(i % 256) + ",";
  }
  text += std::string(500, '9');
  AllowList list;
  Refusals refusals;
  EXPECT_EQ(3, list.Parse(text.c_str(), Refusals::Record, &refusals));
  EXPECT_EQ(AllowList::kMaxEntries, list.Count());
  ASSERT_EQ(3u, refusals.entries.size());
  EXPECT_EQ("10.0.0.128", refusals.entries[0]);
  EXPECT_EQ(63u, refusals.entries[2].size());
  EXPECT_TRUE(list.Allows(Ip(10, 0, 0, 127)));
  EXPECT_FALSE(list.Allows(Ip(10, 0, 0, 128)));
}

TEST(AllowList, FormatsAddressesForTheLog) {
  char text[16];
  AllowList::FormatAddress(Ip(192, 168, 100, 255), text);
  EXPECT_STREQ("192.168.100.255", text);
  AllowList::FormatAddress(0, text);
  EXPECT_STREQ("0.0.0.0", text);
}

// Refused connections in the log: one line per address and minute, then the count of
// the rest once the minute is over. Each row is one event at a second since the start
// (a refusal from an address, or an accepted connection: address 0) and the lines
// written for it.
TEST(RefusalLog, OneLinePerAddressAndMinuteThenTheCount) {
  struct Row {
    int second;
    std::uint32_t address;  // 0: an accepted connection
    std::vector<std::string> lines;
  };
  const std::uint32_t a = Ip(10, 0, 0, 1), b = Ip(10, 0, 0, 2);
  const Row rows[] = {
      {0, a, {"Conexiune refuzata de la 10.0.0.1"}},
      {0, a, {}},
      {1, b, {"Conexiune refuzata de la 10.0.0.2"}},
      {59, a, {}},  // the last second of a's minute
      {60, 0, {"Alte 2 conexiuni refuzate de la 10.0.0.1 in acel minut"}},
      {60, a, {"Conexiune refuzata de la 10.0.0.1"}},  // a new minute
      {61, b, {"Conexiune refuzata de la 10.0.0.2"}},  // nothing more came in b's minute
      {62, b, {}},
      {121, a,  // a was alone in its minute; b's count comes when any refusal does
       {"Alte 1 conexiuni refuzate de la 10.0.0.2 in acel minut",
        "Conexiune refuzata de la 10.0.0.1"}},
      {122, b, {"Conexiune refuzata de la 10.0.0.2"}},
  };
  RefusalLog log;
  const RefusalLog::Clock::time_point start{};
  for (const Row& row : rows) {
    std::vector<std::string> lines;
    RefusalLog::Clock::time_point now = start + std::chrono::seconds(row.second);
    if (row.address == 0) {
      log.Expire(now, &lines);
    } else {
      log.Refused(row.address, now, &lines);
    }
    EXPECT_EQ(row.lines, lines) << "second " << row.second;
  }
}

// A stop writes the counts not yet written; too many addresses at once are counted
// together instead of each getting a line.
TEST(RefusalLog, CountsAtTheEndAndForTooManyAddresses) {
  RefusalLog log;
  const RefusalLog::Clock::time_point now{};
  std::vector<std::string> lines;
  for (std::uint32_t i = 0; i < RefusalLog::kMaxAddresses + 3; ++i) {
    log.Refused(Ip(10, 0, 0, 0) + i, now, &lines);
    log.Refused(Ip(10, 0, 0, 0) + i, now, &lines);
  }
  EXPECT_EQ(RefusalLog::kMaxAddresses, lines.size());
  lines.clear();
  log.Flush(&lines);
  ASSERT_EQ(RefusalLog::kMaxAddresses + 1, lines.size());
  EXPECT_EQ(1u, std::count(lines.begin(), lines.end(),
                           "Alte 6 conexiuni refuzate de la alte adrese in acel minut"));
  EXPECT_EQ(1u, std::count(lines.begin(), lines.end(),
                           "Alte 1 conexiuni refuzate de la 10.0.0.0 in acel minut"));
  lines.clear();
  log.Flush(&lines);
  EXPECT_TRUE(lines.empty());
}

}  // namespace
