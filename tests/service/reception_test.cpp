// Job reception against real clients and a virtual serial printer (a socat
// pseudo-terminal reached by a port name), natively and under Wine.
#include <gtest/gtest.h>

#include <algorithm>

#include <chrono>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "tests/service/service_harness.h"
#include "tests/support/frame_listener.h"
#include "tests/support/support.h"
#include "tests/support/virtual_printer.h"
#include "transport/serial_port.h"
#include "transport/socket.h"
#include "transport/wire_frame.h"

#ifndef _WIN32
#include <sys/inotify.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <fstream>
#endif

namespace {

using servicetest::Count;
using servicetest::SendJob;
using servicetest::SendRaw;
using servicetest::SettingsText;
using servicetest::TestService;
using servicetest::WaitUntil;
using testsupport::VirtualPrinter;

const char kJob[] = "\nN\nB50,20,0,1,2,4,60,B,\"A1234567\"\nA50,100,0,2,1,1,N,\"LINE TWO\"\nP1\n";

std::string LengthWord(std::uint32_t length) {
  unsigned char bytes[4];
  wire::EncodeLength(length, bytes);
  return std::string(reinterpret_cast<char*>(bytes), 4);
}

std::string NameOf(JobGeneration generation) {
  return generation == JobGeneration::kKoldane ? "Koldane" : "quorvel";
}

// A service printing to a virtual serial printer; Koldane unless a parameterised
// suite below runs both generations.
class SerialService : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(printer.Ready()) << printer.Error(); }
  virtual JobGeneration Generation() const { return JobGeneration::kKoldane; }

  std::string Settings(const std::string& port) const {
    return SettingsText({"port=" + port, "baudrate=9600", "databits=8", "parity=none",
                         "stopbits=1"});
  }

  // A service of this test's generation printing to the virtual printer.
  std::unique_ptr<TestService> Service(JobServerOptions options = JobServerOptions()) {
    std::string settings = Settings(printer.PortName());
    auto service = std::make_unique<TestService>(Generation(), &settings, options);
    EXPECT_TRUE(service->Server().IsListening());
    return service;
  }

  bool Quorvel() const { return Generation() == JobGeneration::kQuorvel; }

  // The printer's bytes once at least expected.size() arrived, after a short wait for
  // anything that should not be there.
  std::string Printed(std::size_t atLeast) {
    printer.Received(atLeast, 15000);
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    return printer.Received();
  }

  VirtualPrinter printer;
};

// The same cases for both generations.
class SerialReception : public SerialService,
                        public ::testing::WithParamInterface<JobGeneration> {
 protected:
  JobGeneration Generation() const override { return GetParam(); }
};

TEST_P(SerialReception, AJobReachesThePrinterWithItsCopyAndLogLines) {
  auto service = Service();
  ASSERT_TRUE(SendJob(service->Port(), kJob));
  EXPECT_EQ(kJob, Printed(sizeof kJob - 1));

  if (Quorvel()) {
    ASSERT_TRUE(service->WaitForLog("OUT THREAD"));
    std::vector<std::string> expected = {"allowFrom: every address", "Conexiune acceptata",
                                         "IN THREAD", "-------------------\n" + std::string(kJob),
                                         "-------------------", "OUT THREAD"};
    EXPECT_EQ(expected, service->Messages());
    EXPECT_FALSE(testsupport::FileExists(service->Dir().File("_barcodeOUT.log")));
  } else {
    // Koldane's copy lies in the current directory; its log has the accept line only.
    EXPECT_EQ(kJob, service->JobCopy());
    std::vector<std::string> expected = {"allowFrom: every address", "Conexiune acceptata"};
    EXPECT_EQ(expected, service->Messages());
  }

  // Copies follow one another with nothing between them.
  ASSERT_TRUE(SendJob(service->Port(), "SECOND\n"));
  EXPECT_EQ(std::string(kJob) + "SECOND\n", Printed(sizeof kJob - 1 + 7));
  if (!Quorvel()) {
    ASSERT_TRUE(WaitUntil([&] { return service->JobCopy().size() == sizeof kJob - 1 + 7; }));
    EXPECT_EQ(std::string(kJob) + "SECOND\n", service->JobCopy());
  }
}

TEST_P(SerialReception, AFrameArrivingInPiecesIsDeliveredWhole) {
  auto service = Service();
  std::string job(3000, 'x');
  for (std::size_t i = 0; i < job.size(); ++i) job[i] = static_cast<char>('A' + i % 26);
  std::string frame = LengthWord(static_cast<std::uint32_t>(job.size())) + job;
  {
    CSocket client("127.0.0.1", service->Port());
    std::size_t cuts[] = {0, 1, 4, 5, 1000, 2500, frame.size()};
    for (std::size_t i = 0; i + 1 < sizeof cuts / sizeof cuts[0]; ++i) {
      ASSERT_EQ(static_cast<int>(cuts[i + 1] - cuts[i]),
                client.Send(frame.data() + cuts[i], static_cast<int>(cuts[i + 1] - cuts[i])));
      std::this_thread::sleep_for(std::chrono::milliseconds(60));
    }
  }
  EXPECT_EQ(job, Printed(job.size()));
}

// A job far larger than the first receive buffer, sent in one piece and in uneven
// pieces, arrives whole as its buffer grows; the whole of the largest job too.
TEST_P(SerialReception, LargeJobsArriveWholeWhateverThePieces) {
  auto service = Service();
  std::string job(300001, 'x');
  for (std::size_t i = 0; i < job.size(); ++i) job[i] = static_cast<char>('A' + (i * 7) % 26);
  std::string frame = LengthWord(static_cast<std::uint32_t>(job.size())) + job;
  ASSERT_TRUE(SendRaw(service->Port(), frame));
  {
    CSocket client("127.0.0.1", service->Port());
    for (std::size_t at = 0, piece = 1; at < frame.size(); at += piece, piece = piece * 3 + 1) {
      std::size_t n = std::min(piece, frame.size() - at);
      ASSERT_EQ(static_cast<int>(n), client.Send(frame.data() + at, static_cast<int>(n)));
    }
  }
  EXPECT_EQ(job + job, Printed(2 * job.size()));
}

// A frame is one job: bytes that arrive with it but lie beyond its length (here a
// second frame in the same send) are never printed, whatever the first receive took.
TEST_P(SerialReception, BytesBeyondTheFrameAreNotPrinted) {
  auto service = Service();
  std::string job = "SHORT JOB\n";
  std::string frame = LengthWord(static_cast<std::uint32_t>(job.size())) + job;
  ASSERT_TRUE(SendRaw(service->Port(), frame + LengthWord(5) + "EXTRA" + std::string(2000, 'y')));
  EXPECT_EQ(job, Printed(job.size()));
}

TEST_P(SerialReception, AZeroByteEndsTheJobForPrinterAndCopy) {
  auto service = Service();
  ASSERT_TRUE(SendJob(service->Port(), std::string("N\nP1\n\0HIDDEN\n", 13)));
  EXPECT_EQ("N\nP1\n", Printed(5));
  if (Quorvel()) {
    ASSERT_TRUE(service->WaitForLog("OUT THREAD"));
    std::vector<std::string> messages = service->Messages();
    ASSERT_EQ(6u, messages.size());
    EXPECT_EQ("-------------------\nN\nP1\n", messages[3]);
  } else {
    EXPECT_EQ("N\nP1\n", service->JobCopy());
  }
}

TEST_P(SerialReception, AnEmptyJobPrintsNothingAndIsNoError) {
  auto service = Service();
  ASSERT_TRUE(SendRaw(service->Port(), LengthWord(0)));
  ASSERT_TRUE(SendJob(service->Port(), "AFTER\n"));
  EXPECT_EQ("AFTER\n", Printed(6));
  service->Server().Stop();  // every request has ended
  std::string log = service->Log();
  EXPECT_EQ(2, Count(log, "Conexiune acceptata"));
  EXPECT_EQ(0, Count(log, "Eroare"));
  if (Quorvel()) {
    EXPECT_EQ(2, Count(log, "OUT THREAD"));
    EXPECT_EQ(2, Count(log, "-------------------"));  // the real job's two separators
  } else {
    EXPECT_EQ("AFTER\n", service->JobCopy());
  }
}

TEST_P(SerialReception, ShortFramesTakeTheReadErrorPathAndPrintNothing) {
  auto service = Service();
  // The peer closes within the length word; within the job; and right after the length.
  ASSERT_TRUE(SendRaw(service->Port(), std::string("\x05\x00", 2)));
  ASSERT_TRUE(SendRaw(service->Port(), LengthWord(100) + "only ten b"));
  ASSERT_TRUE(SendRaw(service->Port(), LengthWord(7)));
  ASSERT_TRUE(service->WaitForLog("Eroare Read()", 3));
  service->Server().Stop();
  std::string log = service->Log();
  EXPECT_EQ(3, Count(log, "Eroare Read()"));
  EXPECT_EQ("", printer.Received());
  EXPECT_FALSE(testsupport::FileExists(service->Dir().File("_barcodeOUT.log")));
  if (Quorvel()) {
    EXPECT_EQ(3, Count(log, "IN THREAD"));
    EXPECT_EQ(0, Count(log, "OUT THREAD"));
    EXPECT_EQ(0, Count(log, "-------------------"));
  }
}

// A request that fails at once logs its line while the accept thread may still be
// writing its own: the accept line must come first all the same.
TEST_P(SerialReception, EveryRequestLineFollowsItsAcceptLine) {
  auto service = Service();
  const int kConnections = 60;
  std::vector<std::thread> senders;
  for (int t = 0; t < 3; ++t) {
    senders.emplace_back([&] {
      for (int i = 0; i < kConnections / 3; ++i) SendRaw(service->Port(), std::string("\x05", 1));
    });
  }
  for (auto& sender : senders) sender.join();
  ASSERT_TRUE(service->WaitForLog("Eroare Read()", kConnections));
  service->Server().Stop();
  int accepted = 0;
  int requestLines = 0;
  for (const std::string& message : service->Messages()) {
    if (message == "Conexiune acceptata") ++accepted;
    if (message == "Eroare Read()" || message == "IN THREAD") {
      ++requestLines;
      ASSERT_LE(requestLines, accepted * (Quorvel() ? 2 : 1)) << service->Log();
    }
  }
  EXPECT_EQ(kConnections, accepted);
}

TEST_P(SerialReception, ALengthBeyondTheLargestJobIsRefusedWithoutAllocating) {
  auto service = Service();
  ASSERT_TRUE(SendRaw(service->Port(), LengthWord(0xFFFFFFFFu) + "ABC"));
  ASSERT_TRUE(SendRaw(service->Port(), LengthWord(wire::kMaxJobLength + 1) + "ABC"));
  ASSERT_TRUE(service->WaitForLog("Eroare: Nu pot aloca memorie", 2));
  ASSERT_TRUE(SendJob(service->Port(), "STILL SERVING\n"));
  EXPECT_EQ("STILL SERVING\n", Printed(14));
}

// The largest job is accepted whole: the limit refuses only what lies beyond it.
TEST_F(SerialService, AJobOfExactlyTheLargestLengthIsPrintedWhole) {
  auto service = Service();
  std::string job(wire::kMaxJobLength, 'x');
  for (std::size_t i = 0; i < job.size(); i += 61) job[i] = '\n';
  ASSERT_TRUE(SendJob(service->Port(), job));
  EXPECT_TRUE(printer.Received(job.size(), 60000).size() == job.size())
      << printer.Received().size() << " bytes printed";
  EXPECT_TRUE(printer.Received() == job);
  EXPECT_EQ(0, Count(service->Log(), "Eroare"));
}

TEST_F(SerialService, ASilentClientTimesOutWhileOthersAreServed) {
  JobServerOptions options;
  options.receiveTimeoutMs = 1000;
  auto service = Service(options);
  CSocket silent("127.0.0.1", service->Port());
  CSocket stalled("127.0.0.1", service->Port());
  ASSERT_EQ(4, stalled.Send(LengthWord(50).data(), 4));
  ASSERT_EQ(5, stalled.Send("part.", 5));

  ASSERT_TRUE(SendJob(service->Port(), kJob));
  EXPECT_EQ(kJob, Printed(sizeof kJob - 1));
  // Both waiting requests give up on their own, nothing of theirs is printed.
  ASSERT_TRUE(service->WaitForLog("Eroare Read()", 2, 20000));
  EXPECT_EQ(kJob, printer.Received());
  EXPECT_EQ(3, Count(service->Log(), "Conexiune acceptata"));
}

TEST_P(SerialReception, AnUnwritableLogDoesNotStopThePrinting) {
  std::string settings = Settings(printer.PortName());
  TestService service(Generation(), &settings, JobServerOptions(), false);
  std::filesystem::create_directory(service.Server().LogPath());
  service.Server().Start();
  ASSERT_TRUE(WaitUntil([&] { return service.Server().IsListening(); }));
  ASSERT_TRUE(SendJob(service.Port(), kJob));
  EXPECT_EQ(kJob, Printed(sizeof kJob - 1));
  ASSERT_TRUE(SendJob(service.Port(), "AGAIN\n"));
  EXPECT_EQ(std::string(kJob) + "AGAIN\n", Printed(sizeof kJob - 1 + 6));
  if (!Quorvel()) {
    ASSERT_TRUE(WaitUntil([&] { return service.JobCopy().size() == sizeof kJob - 1 + 6; }));
  }
}

// A port that cannot be opened: one log line, no job copy, and the job kept as
// undelivered with the sender, its length and the reason; the status line counts it.
TEST_P(SerialReception, APortThatDoesNotExistKeepsTheJobAsUndelivered) {
  std::string settings = Settings("NOSUCH");
  TestService service(Generation(), &settings);
  ASSERT_TRUE(SendJob(service.Port(), kJob));
  ASSERT_TRUE(service.WaitForLog("Nu pot deschide portul 'NOSUCH'"));
  service.Server().Stop();
  EXPECT_EQ(1, Count(service.Log(), "Nu pot deschide portul"));
  EXPECT_FALSE(testsupport::FileExists(service.Dir().File("_barcodeOUT.log")));
  EXPECT_EQ(0, Count(service.Log(), "OUT THREAD"));
  EXPECT_EQ(0, Count(service.Log(), "-------------------"));
  EXPECT_EQ("|Eticheta netiparita de la 127.0.0.1, " + std::to_string(sizeof kJob - 1) +
                " octeti: Nu pot deschide portul 'NOSUCH'\n" + kJob,
            service.UndeliveredEntries());
  std::string status = service.Server().Tally().StatusLine();
  EXPECT_EQ(0u, status.find("Jobs received 1, printed 0, undelivered 1; last undelivered ")) << status;
}

// COM12 opens on Windows only by its device name \\.\COM12; the service prints there
// as to any port, with the line settings applied.
TEST_P(SerialReception, APortAboveComNinePrints) {
  VirtualPrinter com12(12);
  ASSERT_TRUE(com12.Ready()) << com12.Error();
  std::string settings = SettingsText({"port=COM12", "baudrate=4800", "databits=8",
                                       "parity=none", "stopbits=1"});
  TestService service(Generation(), &settings);
  ASSERT_TRUE(SendJob(service.Port(), kJob));
  EXPECT_EQ(kJob, com12.Received(sizeof kJob - 1, 15000));
  EXPECT_NE(std::string::npos, com12.LineSettings().find("speed 4800 baud"));
  EXPECT_EQ(0, Count(service.Log(), "Nu pot deschide portul"));
}

TEST_F(SerialService, ABusyPortIsRetriedAndJobsArriveWholeOneAfterTheOther) {
#ifdef _WIN32
  GTEST_SKIP() << "Wine does not refuse a second open of a held COM port";
#endif
  auto service = Service();
  // Another program holds the port while two clients send at once.
  PortSerialv2 holder;
  LineSettings lineSettings = MakeLineSettings(9600, 8, 0, 0);
  ASSERT_TRUE(holder.Open(printer.PortName().c_str(), lineSettings)) << holder.errorText;

  std::string jobA(2000, 'a'), jobB(2000, 'b');
  jobA += "\n";
  jobB += "\n";
  std::thread a([&] { SendJob(service->Port(), jobA); });
  std::thread b([&] { SendJob(service->Port(), jobB); });
  a.join();
  b.join();
  ASSERT_TRUE(service->WaitForLog("Conexiune acceptata", 2));
  std::this_thread::sleep_for(std::chrono::milliseconds(1100));
  EXPECT_EQ("", printer.Received());  // still waiting for the port
  holder.Close();

  std::string printed = Printed(jobA.size() + jobB.size());
  EXPECT_TRUE(printed == jobA + jobB || printed == jobB + jobA)
      << "interleaved or incomplete: " << printed.size() << " bytes";
  EXPECT_EQ(0, Count(service->Log(), "Nu pot deschide portul"));
  if (!Quorvel()) {
    ASSERT_TRUE(WaitUntil([&] { return service->JobCopy().size() == printed.size(); }));
    EXPECT_EQ(printed, service->JobCopy());
  }
}

// A port another program holds through all the retries: the job is kept as undelivered;
// once the port is given back, the next job prints.
TEST_F(SerialService, APortHeldTooLongKeepsTheJobAndTheNextOnePrints) {
#ifdef _WIN32
  GTEST_SKIP() << "Wine does not refuse a second open of a held COM port";
#endif
  auto service = Service();
  PortSerialv2 holder;
  LineSettings lineSettings = MakeLineSettings(9600, 8, 0, 0);
  ASSERT_TRUE(holder.Open(printer.PortName().c_str(), lineSettings)) << holder.errorText;
  ASSERT_TRUE(SendJob(service->Port(), kJob));
  ASSERT_TRUE(service->WaitForLog("Nu pot deschide portul '" + printer.PortName() + "'"));
  holder.Close();
  EXPECT_FALSE(testsupport::FileExists(service->Dir().File("_barcodeOUT.log")));
  EXPECT_EQ(1, Count(service->UndeliveredEntries(), kJob));
  ASSERT_TRUE(SendJob(service->Port(), "NEXT\n"));
  EXPECT_EQ("NEXT\n", Printed(5));
}

TEST_P(SerialReception, ABurstOfJobsIsDeliveredOnceEach) {
  std::size_t total = 0;
  auto service = Service();
  const int jobs = 40;
  for (int i = 0; i < jobs; ++i) {
    std::string job = "JOB " + std::to_string(i) + "\n";
    ASSERT_TRUE(SendJob(service->Port(), job));
    total += job.size();
  }
  ASSERT_TRUE(WaitUntil([&] { return printer.Received().size() >= total; }));
  service->Server().Stop();
  std::string printed = printer.Received();
  EXPECT_EQ(total, printed.size());
  // One request thread per job: every job once, in any order.
  for (int i = 0; i < jobs; ++i) {
    std::string job = "JOB " + std::to_string(i) + "\n";
    EXPECT_EQ(1, Count(printed, job)) << job;
  }
  EXPECT_EQ(jobs, Count(service->Log(), "Conexiune acceptata"));
}

TEST_F(SerialService, TheListeningSocketIsRetriedUntilThePortIsFree) {
  int port = testsupport::UnusedPort();
  auto occupier = std::make_unique<CSocket>(port);
  JobServerOptions options;
  options.port = port;
  std::string settings = Settings(printer.PortName());
  TestService service(Generation(), &settings, options, false);
  EXPECT_TRUE(service.Server().Start());
  ASSERT_TRUE(service.WaitForLog("bind() failed"));
  EXPECT_FALSE(service.Server().IsListening());
  EXPECT_FALSE(service.Server().Start());  // it runs already; a second start is refused
  occupier.reset();
  ASSERT_TRUE(WaitUntil([&] { return service.Server().IsListening(); }, 15000));
  ASSERT_TRUE(SendJob(port, kJob));
  EXPECT_EQ(kJob, Printed(sizeof kJob - 1));
}

INSTANTIATE_TEST_SUITE_P(Generations, SerialReception,
                         ::testing::Values(JobGeneration::kKoldane, JobGeneration::kQuorvel),
                         [](const ::testing::TestParamInfo<JobGeneration>& info) {
                           return NameOf(info.param);
                         });

// ------------------------------------------------------------- native-only faults

#ifndef _WIN32

// The settings are read while the accept thread already runs: a connection that comes
// in before the reading has finished waits for it instead of using half-read settings.
TEST(ReceptionStart, RequestsWaitUntilTheSettingsAreRead) {
  VirtualPrinter printer;
  ASSERT_TRUE(printer.Ready()) << printer.Error();
  TestService service(JobGeneration::kKoldane, nullptr, JobServerOptions(), false);
  CJobServer& server = service.Server();
  // A settings file that is a pipe: reading it waits until the test writes into it.
  ASSERT_EQ(0, mkfifo(server.SettingsPath(), 0600));
  const std::string settings = SettingsText({"port=" + printer.PortName(), "baudrate=9600",
                                             "databits=8", "parity=none", "stopbits=1"});
  struct StartUp {
    std::thread thread;
    std::string fifo, text;
    void Finish() {  // writes the settings (ending the reading) and waits for Start
      if (!thread.joinable()) return;
      std::ofstream(fifo, std::ios::binary) << text;
      thread.join();
    }
    ~StartUp() { Finish(); }
  } startUp{std::thread([&] { server.Start(); }), server.SettingsPath(), settings};
  ASSERT_TRUE(WaitUntil([&] { return server.IsListening(); }));

  ASSERT_TRUE(SendJob(service.Port(), kJob));
  std::this_thread::sleep_for(std::chrono::milliseconds(400));
  // Nothing is delivered, and nothing is tried with settings not yet read (the
  // default port "com1", for one).
  EXPECT_EQ("", printer.Received());
  EXPECT_EQ(0, Count(service.Log(), "Nu pot deschide portul"));

  startUp.Finish();
  EXPECT_EQ(kJob, printer.Received(sizeof kJob - 1, 15000));
  EXPECT_EQ(0, Count(service.Log(), "Nu pot deschide portul"));
  EXPECT_EQ(1, Count(service.Log(), "Conexiune acceptata"));
}

// When accept keeps failing (no descriptors left), the accept thread pauses between
// attempts instead of spinning; once descriptors are free again it serves on.
TEST(ReceptionStart, ALastingAcceptFailureDoesNotSpin) {
  VirtualPrinter printer;
  ASSERT_TRUE(printer.Ready()) << printer.Error();
  std::string settings = SettingsText({"port=" + printer.PortName(), "baudrate=9600",
                                       "parity=none", "stopbits=1"});
  TestService service(JobGeneration::kKoldane, &settings);
  ASSERT_TRUE(service.Server().IsListening());
  // The client is another process, started while descriptors are still free: it
  // connects once this process has none left (its connection is accepted with the
  // descriptor the waiting accept holds; every later accept fails), and sends its job
  // after they are free again.
  std::string client =
      "python3 -c \"import socket, time; time.sleep(0.3); "
      "s = socket.create_connection(('127.0.0.1', " + std::to_string(service.Port()) + ")); "
      "time.sleep(2.0); s.sendall(b'\\x04\\x00\\x00\\x00WAIT'); s.close()\" &";
  ASSERT_EQ(0, std::system(client.c_str()));

  rlimit saved;
  ASSERT_EQ(0, getrlimit(RLIMIT_NOFILE, &saved));
  rlimit low = saved;
  low.rlim_cur = 256;
  ASSERT_EQ(0, setrlimit(RLIMIT_NOFILE, &low));
  std::vector<int> filler;
  for (;;) {
    int fd = dup(0);
    if (fd < 0) break;
    filler.push_back(fd);
  }
  std::this_thread::sleep_for(std::chrono::milliseconds(700));
  rusage before, after;
  getrusage(RUSAGE_SELF, &before);
  std::this_thread::sleep_for(std::chrono::milliseconds(800));
  getrusage(RUSAGE_SELF, &after);
  for (int fd : filler) close(fd);
  setrlimit(RLIMIT_NOFILE, &saved);

  auto seconds = [](const rusage& r) {
    return static_cast<double>(r.ru_utime.tv_sec + r.ru_stime.tv_sec) +
           static_cast<double>(r.ru_utime.tv_usec + r.ru_stime.tv_usec) / 1e6;
  };
  // An accept thread retrying at full speed would use the whole 0.8 s.
  EXPECT_LT(seconds(after) - seconds(before), 0.4);
  EXPECT_EQ("WAIT", printer.Received(4, 15000));
  ASSERT_TRUE(WaitUntil([&] { return service.JobCopy() == "WAIT"; }));
  // Later connections are served as usual.
  ASSERT_TRUE(SendJob(service.Port(), "NEXT\n"));
  EXPECT_EQ("WAITNEXT\n", printer.Received(9, 15000));
}

// ------------------------------------------------------------ busy-port retries

// Counts the opens of a device by anyone, through inotify. Every open of the port is
// closed again before the next one (a failed attempt at once, a delivery after its
// write), so open and close events alternate and the kernel never merges two opens
// into one event.
class DeviceOpens {
 public:
  explicit DeviceOpens(const std::string& path) : fd_(inotify_init1(IN_NONBLOCK | IN_CLOEXEC)) {
    if (fd_ >= 0) watch_ = inotify_add_watch(fd_, path.c_str(), IN_OPEN | IN_CLOSE);
  }
  ~DeviceOpens() {
    if (fd_ >= 0) close(fd_);
  }
  bool Ready() const { return watch_ >= 0; }

  // The opens since the last call.
  int Take() {
    int opens = 0;
    alignas(inotify_event) char events[4096];
    ssize_t n;
    while ((n = read(fd_, events, sizeof events)) > 0) {
      for (char* p = events; p < events + n;) {
        const inotify_event* event = reinterpret_cast<const inotify_event*>(p);
        if (event->mask & IN_OPEN) ++opens;
        p += sizeof(inotify_event) + event->len;
      }
    }
    return opens;
  }

 private:
  int fd_;
  int watch_ = -1;
};

// A port that another holder keeps for the whole job is tried once and retried five
// times, 500 ms apart, before the job is lost. The attempts are counted exactly; the
// time from sending the job to the log line can only exceed the 2.5 s of pauses, and
// the upper bound leaves 1.5 s for six opens and the hand-off.
TEST_F(SerialService, ABusyPortIsTriedSixTimesHalfASecondApartThenTheJobIsLost) {
  auto service = Service();
  PortSerialv2 holder;
  LineSettings lineSettings = MakeLineSettings(9600, 8, 0, 0);
  ASSERT_TRUE(holder.Open(printer.PortName().c_str(), lineSettings)) << holder.errorText;
  DeviceOpens opens(printer.DevicePath());
  ASSERT_TRUE(opens.Ready());

  auto sent = std::chrono::steady_clock::now();
  ASSERT_TRUE(SendJob(service->Port(), kJob));
  ASSERT_TRUE(service->WaitForLog("Nu pot deschide portul '" + printer.PortName() + "'", 1,
                                  30000));
  auto lost = std::chrono::steady_clock::now();
  EXPECT_EQ(6, opens.Take());
  auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(lost - sent).count();
  EXPECT_GE(ms, 2500);
  EXPECT_LT(ms, 4000);

  holder.Close();
  service->Server().Stop();
  EXPECT_EQ("", printer.Received());
  EXPECT_FALSE(testsupport::FileExists(service->Dir().File("_barcodeOUT.log")));
}

// Only a busy port is worth waiting for: a device that opens but refuses the line
// settings (baud rate 0) is tried once, and the job is lost with the same line.
TEST_F(SerialService, AnOpenFailingForAnotherReasonIsNotRetried) {
  std::string settings = SettingsText({"port=" + printer.PortName(), "baudrate=0",
                                       "databits=8", "parity=none", "stopbits=1"});
  TestService service(JobGeneration::kKoldane, &settings);
  DeviceOpens opens(printer.DevicePath());
  ASSERT_TRUE(opens.Ready());
  ASSERT_TRUE(SendJob(service.Port(), kJob));
  ASSERT_TRUE(service.WaitForLog("Nu pot deschide portul '" + printer.PortName() + "'", 1,
                                 30000));
  EXPECT_EQ(1, opens.Take());
  service.Server().Stop();
  EXPECT_EQ(1, Count(service.Log(), "Nu pot deschide portul"));
  EXPECT_EQ("", printer.Received());

  // The device that opened but refused its settings was given back: the next job to
  // it (here from a service whose settings it takes) prints.
  std::string good = Settings(printer.PortName());
  TestService next(JobGeneration::kKoldane, &good);
  ASSERT_TRUE(SendJob(next.Port(), kJob));
  EXPECT_EQ(kJob, printer.Received(sizeof kJob - 1, 15000));
  EXPECT_EQ(0, Count(next.Log(), "Nu pot deschide portul"));
}

#endif

}  // namespace
