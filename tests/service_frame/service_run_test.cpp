// Koldane, quorvel and the frame run in the foreground on Linux, as systemd runs them:
// status reports through a test socket as NOTIFY_SOCKET, event-log entries through a
// test socket as the syslog sink, SIGTERM and SIGINT as the stop control, and a label
// sent over TCP arriving at the printer.
#include <signal.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "gtest/gtest.h"
#include "tests/service_frame/child_process.h"
#include "tests/support/support.h"

using servicetest::ChildProcess;
using servicetest::DatagramSink;
using testsupport::ReadFile;
using testsupport::TempDir;
using testsupport::WriteFile;

namespace {

constexpr int kWaitMs = 10000;  // upper bound against hangs; the runs take far less

const char kUsage[] =
    "Parameters:\n"
    " -install  to install the service.\n"
    " -remove   to remove the service.\n";

const char kLabel[] = "\nN\nA50,20,0,3,1,1,N,\"RUN TEST\"\nP1\n";

class ServiceRun : public ::testing::Test {
 protected:
  ServiceRun() : notify(dir.File("notify")), syslog(dir.File("syslog")), port(servicetest::FreeTcpPort()) {}

  // A copy of program in the test folder, with a settings file that sends jobs to the
  // plain file prn.out in the test folder (the service's working folder).
  std::string Install(const std::string& program, const std::string& name) {
    std::string exe = dir.File(name);
    std::filesystem::copy_file(program, exe);
    WriteFile(exe + ".INI", "port=prn.out\r\n");
    WriteFile(dir.File("prn.out"), "");
    return exe;
  }

  std::vector<std::string> Environment() {
    return {"NOTIFY_SOCKET=" + notify.Path(), "TERVANE_SYSLOG_SOCKET=" + syslog.Path(),
            "TERVANE_SERVICE_PORT=" + std::to_string(port)};
  }

  void ExpectLabelPrinted() {
    ASSERT_TRUE(servicetest::SendLabel(port, kLabel));
    EXPECT_EQ(servicetest::WaitForFileContaining(dir.File("prn.out"), kLabel, kWaitMs), kLabel);
  }

  // Waits for the child's end and returns the milliseconds from now.
  long StopAndTime(ChildProcess& child, int signal, int* exitCode) {
    auto start = std::chrono::steady_clock::now();
    child.Signal(signal);
    EXPECT_TRUE(child.Wait(kWaitMs, exitCode)) << "the service did not end";
    return static_cast<long>(std::chrono::duration_cast<std::chrono::milliseconds>(
                                 std::chrono::steady_clock::now() - start)
                                 .count());
  }

  TempDir dir;
  DatagramSink notify;
  DatagramSink syslog;
  int port;
};

// The syslog line of an entry: "<priority>Mmm dd hh:mm:ss source[pid]: message".
void ExpectEntry(const std::string& datagram, int priority, const std::string& source,
                 pid_t pid, const std::string& message) {
  std::string head = "<" + std::to_string(priority) + ">";
  EXPECT_EQ(datagram.substr(0, head.size()), head) << datagram;
  std::string tail = " " + source + "[" + std::to_string(pid) + "]: " + message;
  ASSERT_GE(datagram.size(), tail.size()) << datagram;
  EXPECT_EQ(datagram.substr(datagram.size() - tail.size()), tail) << datagram;
}

constexpr int kDaemonErr = 24 + 3;
constexpr int kDaemonWarning = 24 + 4;
constexpr int kDaemonInfo = 24 + 6;

const char kStarting1[] = "STATUS=Starting, check point 1\nEXTEND_TIMEOUT_USEC=30000000";
const char kRunning[] = "READY=1\nSTATUS=Running";
const char kStopped[] = "STOPPING=1\nSTATUS=Stopped, exit code 0";

std::string Counts(int received, int printed, int undelivered) {
  return "STATUS=Jobs received " + std::to_string(received) + ", printed " +
         std::to_string(printed) + ", undelivered " + std::to_string(undelivered);
}

std::string Stopping(int checkPoint) {
  return "STOPPING=1\nSTATUS=Stopping, check point " + std::to_string(checkPoint) +
         "\nEXTEND_TIMEOUT_USEC=30000000";
}

}  // namespace

TEST_F(ServiceRun, QuorvelReportsToSystemdServesALabelAndStopsOnSigterm) {
  std::string exe = Install(testsupport::Env("QUORVEL_EXE"), "quorvel");
  ChildProcess service;
  ASSERT_TRUE(service.Start(exe, {}, Environment(), dir.Path()));

  pid_t pid = service.Pid();
  EXPECT_EQ(notify.Receive(kWaitMs), kStarting1);
  EXPECT_EQ(notify.Receive(kWaitMs), kRunning);
  ExpectEntry(syslog.Receive(kWaitMs), kDaemonInfo, "quorvel", pid, "quorvel in OnStart");
  EXPECT_EQ(notify.Receive(kWaitMs), Counts(0, 0, 0));
  ExpectLabelPrinted();
  EXPECT_EQ(notify.Receive(kWaitMs), Counts(1, 1, 0));
  // quorvel's job copy goes into its service log, between separator lines.
  std::string log = servicetest::WaitForFileContaining(exe + ".LOG", "OUT THREAD", kWaitMs);
  EXPECT_NE(log.find(std::string("-------------------\n") + kLabel), std::string::npos) << log;

  int code = -1;
  long ms = StopAndTime(service, SIGTERM, &code);
  EXPECT_EQ(code, 0);
  EXPECT_EQ(notify.Receive(kWaitMs), Stopping(2));
  EXPECT_EQ(notify.Receive(kWaitMs), kStopped);
  ExpectEntry(syslog.Receive(kWaitMs), kDaemonInfo, "quorvel", pid, "quorvel in OnStop");
  EXPECT_EQ(service.Output(), kUsage);
  // The keep-alive worker looks every 2 s, so the stop takes up to about 2 s.
  std::printf("quorvel stopped %ld ms after SIGTERM\n", ms);
}

TEST_F(ServiceRun, KoldaneReportsRunningServesALabelAndStopsOnSigint) {
  std::string exe = Install(testsupport::Env("KOLDANE_EXE"), "Koldane");
  ChildProcess service;
  ASSERT_TRUE(service.Start(exe, {}, Environment(), dir.Path()));

  // No pending report: the first one says running; then how many jobs went where.
  EXPECT_EQ(notify.Receive(kWaitMs), kRunning);
  EXPECT_EQ(notify.Receive(kWaitMs), Counts(0, 0, 0));
  ExpectLabelPrinted();
  EXPECT_EQ(notify.Receive(kWaitMs), Counts(1, 1, 0));
  // The job copy lies in the working folder, the jobs one after the other.
  EXPECT_EQ(servicetest::WaitForFileContaining(dir.File("_barcodeOUT.log"), kLabel, kWaitMs), kLabel);

  // A label that cannot be delivered (the printer's device is gone) is kept beside the
  // job copy, shows in the status line at once, and goes to the event log as a warning.
  std::filesystem::remove(dir.File("prn.out"));
  ASSERT_TRUE(servicetest::SendLabel(port, kLabel));
  const std::string reason = "Nu pot deschide portul 'prn.out'";
  std::string status = notify.Receive(kWaitMs);
  EXPECT_EQ(0u, status.find(Counts(2, 1, 1) + "; last undelivered ")) << status;
  EXPECT_EQ(reason, status.substr(status.size() - std::min(status.size(), reason.size())));
  std::string text = "Eticheta netiparita de la 127.0.0.1, " + std::to_string(sizeof kLabel - 1) +
                     " octeti: " + reason;
  ExpectEntry(syslog.Receive(kWaitMs), kDaemonWarning, "Koldane", service.Pid(), text);
  std::string kept = servicetest::WaitForFileContaining(dir.File("_barcodeUNDELIVERED.log"),
                                                        kLabel, kWaitMs);
  // One entry: a line like the log's, with the time, then the job's bytes.
  EXPECT_EQ(0u, kept.find('\n')) << kept;
  EXPECT_EQ(kept.size() - (text.size() + 1 + sizeof kLabel - 1), kept.find(text + "\n" + kLabel))
      << kept;

  int code = -1;
  long ms = StopAndTime(service, SIGINT, &code);
  EXPECT_EQ(code, 0);
  EXPECT_EQ(notify.Receive(kWaitMs), kStopped);
  EXPECT_EQ(notify.Receive(200), "");
  EXPECT_EQ(syslog.Receive(200), "");  // Koldane's only entries are undelivered jobs
  EXPECT_EQ(service.Output(), "");
  std::printf("Koldane stopped %ld ms after SIGINT\n", ms);
}

TEST_F(ServiceRun, KoldaneWatchedBySystemdSaysItIsAliveWhileItAcceptsAndNotOnceStopped) {
  std::string exe = Install(testsupport::Env("KOLDANE_EXE"), "Koldane");
  std::vector<std::string> environment = Environment();
  environment.push_back("WATCHDOG_USEC=1000000");  // a report at least every 0.5 s
  ChildProcess service;
  ASSERT_TRUE(service.Start(exe, {}, environment, dir.Path()));
  // Each report comes within the watchdog's second of the one before, idle or not.
  auto expectReports = [&](int count) {
    for (int seen = 0; seen < count;) {
      std::string datagram = notify.Receive(1000);
      ASSERT_NE(datagram, "") << "no report to the watchdog for 1 s after " << seen;
      if (datagram == "WATCHDOG=1") ++seen;
    }
  };
  expectReports(4);
  ExpectLabelPrinted();
  expectReports(2);
  int code = -1;
  StopAndTime(service, SIGTERM, &code);
  EXPECT_EQ(code, 0);
  std::vector<std::string> afterStop;
  for (std::string d = notify.Receive(200); !d.empty(); d = notify.Receive(200)) {
    if (d == kStopped || !afterStop.empty()) afterStop.push_back(d);
  }
  EXPECT_EQ(afterStop, std::vector<std::string>{kStopped});
}

TEST_F(ServiceRun, QuorvelRunsWithoutASupervisor) {
  // No NOTIFY_SOCKET: nobody to report to, and the service runs all the same. A first
  // argument without "-" or "/" is no command: usage text, then the service.
  std::string exe = Install(testsupport::Env("QUORVEL_EXE"), "quorvel");
  ChildProcess service;
  ASSERT_TRUE(service.Start(exe, {"install"},
                            {"NOTIFY_SOCKET=", "TERVANE_SYSLOG_SOCKET=" + syslog.Path(),
                             "TERVANE_SERVICE_PORT=" + std::to_string(port)},
                            dir.Path()));
  ExpectEntry(syslog.Receive(kWaitMs), kDaemonInfo, "quorvel", service.Pid(), "quorvel in OnStart");
  ExpectLabelPrinted();
  int code = -1;
  StopAndTime(service, SIGTERM, &code);
  EXPECT_EQ(code, 0);
  EXPECT_EQ(service.Output(), kUsage);
  EXPECT_EQ(notify.Receive(200), "");
}

// The control paths of the frame, through the probe service.
class FramePaths : public ServiceRun {
 protected:
  void StartProbe(const char* mode) {
    ASSERT_TRUE(probe.Start(testsupport::Env("PROBE_EXE"), {mode}, Environment(), dir.Path()));
    pid = probe.Pid();
  }
  std::string NextEntry() { return syslog.Receive(kWaitMs); }

  ChildProcess probe;
  pid_t pid = 0;
};

TEST_F(FramePaths, AStartThatThrowsACodeReportsStoppedWithIt) {
  StartProbe("start-code");
  EXPECT_EQ(notify.Receive(kWaitMs), kStarting1);
  EXPECT_EQ(notify.Receive(kWaitMs), "STOPPING=1\nSTATUS=Stopped, exit code 5");
  ExpectEntry(NextEntry(), kDaemonInfo, "svcprobe", pid, "probe in OnStart");
  ExpectEntry(NextEntry(), kDaemonErr, "svcprobe", pid, "Service Start failed w/err 0x00000005");
  int code = -1;
  ASSERT_TRUE(probe.Wait(kWaitMs, &code));  // the dispatcher returns by itself
  EXPECT_EQ(code, 0);
  EXPECT_EQ(probe.Output(), "dispatcher returned\n");
}

TEST_F(FramePaths, AStartThatThrowsAnythingElseReportsStopped) {
  StartProbe("start-other");
  EXPECT_EQ(notify.Receive(kWaitMs), kStarting1);
  EXPECT_EQ(notify.Receive(kWaitMs), kStopped);
  ExpectEntry(NextEntry(), kDaemonInfo, "svcprobe", pid, "probe in OnStart");
  ExpectEntry(NextEntry(), kDaemonErr, "svcprobe", pid, "Service failed to start.");
  int code = -1;
  ASSERT_TRUE(probe.Wait(kWaitMs, &code));
  EXPECT_EQ(code, 0);
}

TEST_F(FramePaths, AFailedStopRestoresRunningAndTheNextStopWorks) {
  for (const char* mode : {"stop-code-once", "stop-other-once"}) {
    SCOPED_TRACE(mode);
    ChildProcess local;
    ASSERT_TRUE(local.Start(testsupport::Env("PROBE_EXE"), {mode}, Environment(), dir.Path()));
    pid_t id = local.Pid();
    EXPECT_EQ(notify.Receive(kWaitMs), kStarting1);
    EXPECT_EQ(notify.Receive(kWaitMs), kRunning);
    ExpectEntry(NextEntry(), kDaemonInfo, "svcprobe", id, "probe in OnStart");

    local.Signal(SIGTERM);
    EXPECT_EQ(notify.Receive(kWaitMs), Stopping(2));
    EXPECT_EQ(notify.Receive(kWaitMs), kRunning);  // back to the state before, check point 0
    ExpectEntry(NextEntry(), kDaemonInfo, "svcprobe", id, "probe in OnStop");
    ExpectEntry(NextEntry(), kDaemonErr, "svcprobe", id,
                std::string(mode) == "stop-code-once" ? "Service Stop failed w/err 0x000005b4"
                                                      : "Service failed to stop.");
    // Every pending report takes a new check point.
    local.Signal(SIGTERM);
    EXPECT_EQ(notify.Receive(kWaitMs), Stopping(3));
    EXPECT_EQ(notify.Receive(kWaitMs), kStopped);
    ExpectEntry(NextEntry(), kDaemonInfo, "svcprobe", id, "probe in OnStop");
    int code = -1;
    ASSERT_TRUE(local.Wait(kWaitMs, &code));
    EXPECT_EQ(code, 0);
    EXPECT_EQ(local.Output(), "dispatcher returned\n");
  }
}

TEST_F(FramePaths, AStopDuringTheStartIsHeldUntilTheServiceRuns) {
  StartProbe("slow-start");
  EXPECT_EQ(notify.Receive(kWaitMs), kStarting1);
  probe.Signal(SIGTERM);  // while OnStart still works
  EXPECT_EQ(notify.Receive(kWaitMs), kRunning);
  EXPECT_EQ(notify.Receive(kWaitMs), Stopping(2));
  EXPECT_EQ(notify.Receive(kWaitMs), kStopped);
  int code = -1;
  ASSERT_TRUE(probe.Wait(kWaitMs, &code));
  EXPECT_EQ(code, 0);
}

TEST_F(FramePaths, EntryTypesBecomePrioritiesAndLongErrorsAreCut) {
  StartProbe("entries");
  ExpectEntry(NextEntry(), kDaemonInfo, "svcprobe", pid, "probe in OnStart");
  ExpectEntry(NextEntry(), kDaemonWarning, "svcprobe", pid, "probe warning");
  // "%s failed w/err 0x%08lx" in 260 characters: 259 of them, the rest cut.
  std::string entry = NextEntry();
  std::string message = entry.substr(entry.find("]: ") + 3);
  EXPECT_EQ(message, std::string(259, 'F'));
  ExpectEntry(entry, kDaemonErr, "svcprobe", pid, message);
  probe.Signal(SIGTERM);
  int code = -1;
  ASSERT_TRUE(probe.Wait(kWaitMs, &code));
  EXPECT_EQ(code, 0);
}
