// Load: 16 clients sending 5,000 jobs at once (1,000 under Wine) to a service in
// serial mode. Every job must reach the printer exactly once, whole and never mixed
// with another, and appear exactly once in the job copy.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <map>
#include <string>
#include <thread>
#include <vector>

#include "tests/service/service_harness.h"
#include "tests/support/virtual_printer.h"

namespace {

using servicetest::Count;
using servicetest::SendJob;
using servicetest::SettingsText;
using servicetest::TestService;
using servicetest::WaitUntil;

constexpr int kSenders = 16;
#ifdef _WIN32
// Under Wine every connection costs several round trips through its server; a fifth
// of the jobs keeps the Windows run short.
constexpr int kJobs = 1000;
#else
constexpr int kJobs = 5000;
#endif

// Job number id: a recognisable head, a body whose length and bytes follow from the
// number, and a tail; a job cut short or mixed with another cannot pass for one.
std::string JobText(int id) {
  char head[16];
  std::snprintf(head, sizeof head, "^J%05d|", id);
  std::string body;
  int length = 20 + (id * 37) % 200;
  for (int i = 0; i < length; ++i) body += static_cast<char>('A' + (id + i) % 26);
  return head + body + "|E\n";
}

// Splits a stream of jobs; returns how often each number occurs, or an empty map and
// a reason when the stream holds anything but whole jobs.
std::map<int, int> SplitJobs(const std::string& stream, std::string* fault) {
  std::map<int, int> seen;
  std::size_t at = 0;
  while (at < stream.size()) {
    if (stream.compare(at, 2, "^J") != 0 || at + 8 > stream.size()) {
      *fault = "no job starts at byte " + std::to_string(at);
      return {};
    }
    int id = std::atoi(stream.substr(at + 2, 5).c_str());
    std::string job = JobText(id);
    if (stream.compare(at, job.size(), job) != 0) {
      *fault = "job " + std::to_string(id) + " at byte " + std::to_string(at) + " is not whole";
      return {};
    }
    ++seen[id];
    at += job.size();
  }
  return seen;
}

void ExpectEveryJobOnce(const std::string& stream, const char* where) {
  std::string fault;
  std::map<int, int> seen = SplitJobs(stream, &fault);
  ASSERT_TRUE(fault.empty()) << where << ": " << fault;
  EXPECT_EQ(static_cast<std::size_t>(kJobs), seen.size()) << where;
  for (const auto& entry : seen) EXPECT_EQ(1, entry.second) << where << ": job " << entry.first;
}

TEST(ServiceLoad, SixteenSendersEveryJobDeliveredOnceAndWhole) {
  testsupport::VirtualPrinter printer;
  ASSERT_TRUE(printer.Ready()) << printer.Error();
  std::string settings = SettingsText({"port=" + printer.PortName(), "baudrate=115200",
                                       "databits=8", "parity=none", "stopbits=1"});
  TestService service(JobGeneration::kKoldane, &settings);
  ASSERT_TRUE(service.Server().IsListening());

  std::size_t total = 0;
  for (int id = 0; id < kJobs; ++id) total += JobText(id).size();

  std::atomic<int> next{0}, failed{0};
  std::vector<std::thread> senders;
  for (int s = 0; s < kSenders; ++s) {
    senders.emplace_back([&] {
      for (int id = next++; id < kJobs; id = next++) {
        if (!SendJob(service.Port(), JobText(id))) ++failed;
      }
    });
  }
  for (std::thread& sender : senders) sender.join();
  ASSERT_EQ(0, failed.load());

  std::string printed = printer.Received(total, 60000);
  // Every request has ended and the request threads waiting for another connection
  // leave at once: the stop must not sit out its wait for requests that never end.
  auto stopBegin = std::chrono::steady_clock::now();
  service.Server().Stop();
  auto stopSeconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - stopBegin);
  EXPECT_LT(stopSeconds.count(), 10.0) << "Stop waited for requests that were not there";
  printed = printer.Received();
  EXPECT_EQ(total, printed.size());
  ExpectEveryJobOnce(printed, "printer");
  ExpectEveryJobOnce(service.JobCopy(), "job copy");

  std::string log = service.Log();
  for (const std::string& message : servicetest::LogMessages(log)) {
    if (message != "Conexiune acceptata" && message != "allowFrom: every address") {
      ADD_FAILURE() << "log: " << message;
    }
  }
  EXPECT_EQ(kJobs, Count(log, "Conexiune acceptata"));
  EXPECT_EQ(0, Count(log, "Eroare"));
  EXPECT_EQ(0, Count(log, "Nu pot deschide portul"));
}

}  // namespace
