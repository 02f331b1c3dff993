// Printer mode: jobs through a real print queue of a private CUPS scheduler to a
// network label printer (the CTest fixture cups_fixture.sh). Natively PrintRaw talks
// to CUPS itself; the Windows build goes through Wine's print spooler, which hands the
// document to the same CUPS queue.
#include <gtest/gtest.h>

#include <cstdio>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "service/ipp_status.h"
#include "tests/service/service_harness.h"
#include "tests/support/process.h"
#include "tests/support/support.h"

namespace {

using servicetest::Count;
using servicetest::SendJob;
using servicetest::SettingsText;
using servicetest::TestService;
using servicetest::WaitUntil;

const char kJob[] = "\nN\nB50,20,0,1,2,4,60,B,\"A1234567\"\nA50,100,0,2,1,1,N,\"LINE TWO\"\nP1\n";

// The fixture's folder and the NAME=value lines of its ready file.
class CupsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = testsupport::Env("TERVANE_CUPS_DIR");
    if (dir_.empty()) GTEST_SKIP() << "needs the CUPS fixture: run it through ctest";
    ASSERT_TRUE(WaitUntil([&] { return testsupport::FileExists(File("ready")); }, 20000))
        << "CUPS fixture not ready: " << testsupport::ReadFile(File("failed"));
    std::istringstream ready(testsupport::ReadFile(File("ready")));
    for (std::string line; std::getline(ready, line);) {
      std::size_t eq = line.find('=');
      if (eq != std::string::npos) values_[line.substr(0, eq)] = line.substr(eq + 1);
    }
    printedBefore_ = Printed().size();
    pageLogBefore_ = PageLog().size();
  }

  std::string File(const char* name) const { return testsupport::NativePath(dir_ + "/" + name); }
  std::string Printed() const { return testsupport::ReadFile(File("printed")); }
  // What the network printer received since the test began, once it has at least
  // size bytes (or after the time-out).
  std::string PrintedNow(std::size_t size) const {
    WaitUntil([&] { return Printed().size() >= printedBefore_ + size; }, 30000);
    return Printed().substr(printedBefore_);
  }

  std::string PageLog() const { return testsupport::ReadFile(File("log/page_log")); }
  // What cupsd recorded of the jobs it printed since the test began, once there are at
  // least count of them: "QUEUE DOCUMENT-FORMAT JOB-NAME" per job, the job's number
  // left out.
  std::vector<std::string> JobsPrinted(std::size_t count) const {
    std::vector<std::string> jobs;
    WaitUntil([&] {
      jobs.clear();
      std::istringstream lines(PageLog().substr(pageLogBefore_));
      for (std::string line; std::getline(lines, line);) {
        std::size_t number = line.find(' ');
        std::size_t format = line.find(' ', number + 1);
        if (format != std::string::npos) jobs.push_back(line.erase(number, format - number));
      }
      return jobs.size() >= count;
    }, 30000);
    return jobs;
  }

  // The jobs of queue that cupsd has not finished with ("lpstat -o"), one line each.
  std::string UnfinishedJobs(const std::string& queue) const {
    std::remove(File("jobs").c_str());
    std::string jobs = dir_ + "/jobs";
    testsupport::RunUnixShell("CUPS_SERVER='" + values_.at("CUPS_SERVER") + "' lpstat -o '" +
                              queue + "' >'" + jobs + ".tmp' 2>&1; mv '" + jobs + ".tmp' '" +
                              jobs + "'");
    WaitUntil([&] { return testsupport::FileExists(File("jobs")); }, 20000);
    return testsupport::ReadFile(File("jobs"));
  }

  std::string dir_;
  std::map<std::string, std::string> values_;
  std::size_t printedBefore_ = 0;
  std::size_t pageLogBefore_ = 0;
};

class PrinterReception : public CupsTest, public ::testing::WithParamInterface<JobGeneration> {
 protected:
  std::unique_ptr<TestService> Service(const std::string& queue) {
    std::string settings = SettingsText({"printerName=" + queue});
    return std::make_unique<TestService>(GetParam(), &settings);
  }
  bool Quorvel() const { return GetParam() == JobGeneration::kQuorvel; }
};

// One raw document "My Document" per job: the scheduler records the name and the format
// the service asked for (a raw queue would print the bytes of a text document unchanged
// as well).
TEST_P(PrinterReception, AJobIsPrintedUnchangedThroughTheQueueAndCopied) {
  auto service = Service(values_["QUEUE"]);
  ASSERT_TRUE(SendJob(service->Port(), kJob));
  EXPECT_EQ(kJob, PrintedNow(sizeof kJob - 1));
  std::vector<std::string> jobs = {values_["QUEUE"] + " application/vnd.cups-raw My Document"};
  EXPECT_EQ(jobs, JobsPrinted(1));
  ASSERT_TRUE(service->WaitForLog(Quorvel() ? "OUT THREAD" : "Conexiune acceptata"));
  service->Server().Stop();
  if (Quorvel()) {
    std::vector<std::string> expected = {values_["QUEUE"], "allowFrom: every address",
                                         "Conexiune acceptata", "IN THREAD",
                                         "-------------------\n" + std::string(kJob),
                                         "-------------------", "OUT THREAD"};
    EXPECT_EQ(expected, service->Messages());
  } else {
    std::vector<std::string> expected = {values_["QUEUE"], "allowFrom: every address",
                                         "Conexiune acceptata"};
    EXPECT_EQ(expected, service->Messages());
    EXPECT_EQ(kJob, service->JobCopy());
  }
}

TEST_P(PrinterReception, AZeroByteEndsWhatIsPrinted) {
  auto service = Service(values_["QUEUE"]);
  ASSERT_TRUE(SendJob(service->Port(), std::string("N\nP1\n\0HIDDEN\n", 13)));
  EXPECT_EQ("N\nP1\n", PrintedNow(5));
  if (!Quorvel()) {
    ASSERT_TRUE(WaitUntil([&] { return !service->JobCopy().empty(); }));
    EXPECT_EQ("N\nP1\n", service->JobCopy());
  }
}

// The queue does not exist: the OpenPrinter step's line with the error number and
// text, the caller's line, and the job copy all the same; nothing reaches a printer,
// and the job is kept as undelivered.
TEST_P(PrinterReception, AnUnknownQueueIsLoggedAndTheCopyStillWritten) {
  auto service = Service("NoSuchQueue");
  ASSERT_TRUE(SendJob(service->Port(), kJob));
  ASSERT_TRUE(service->WaitForLog("Failed to send data to printer."));
  service->Server().Stop();
  // The whole log, line by line: the step's line and the caller's line come before the
  // job copy, which quorvel writes into the log.
  std::vector<std::string> messages = service->Messages();
  std::vector<std::string> expected = {"NoSuchQueue", "allowFrom: every address",
                                       "Conexiune acceptata"};
  if (Quorvel()) expected.push_back("IN THREAD");
  std::size_t stepAt = expected.size();
  expected.push_back("(the OpenPrinter step's line)");
  expected.push_back("Failed to send data to printer.");
  if (Quorvel()) {
    expected.push_back("-------------------\n" + std::string(kJob));
    expected.push_back("-------------------");
    expected.push_back("OUT THREAD");
  }
  ASSERT_EQ(expected.size(), messages.size()) << service->Log();
  std::string step = messages[stepAt];
  messages[stepAt] = expected[stepAt];
  EXPECT_EQ(expected, messages);
  EXPECT_EQ(0u, step.find("OpenPrinter Error [")) << step;
#ifdef _WIN32
  EXPECT_EQ(0u, step.find("OpenPrinter Error [1801]:: ")) << step;  // invalid printer name
#endif
  // The system's text follows, wrapped at 40 columns, and the line ends with a break.
  std::size_t text = step.find("]:: ");
  ASSERT_NE(std::string::npos, text);
  ASSERT_EQ('\n', step.back());
  std::istringstream lines(step.substr(text + 4));
  int count = 0;
  for (std::string line; std::getline(lines, line); ++count) {
    EXPECT_LE(line.size(), 40u) << line;
  }
  EXPECT_GE(count, 1);
  if (!Quorvel()) {
    EXPECT_EQ(kJob, service->JobCopy());
  }
  EXPECT_EQ("", Printed().substr(printedBefore_));
  // Not printed: kept as undelivered.
  EXPECT_EQ("|Eticheta netiparita de la 127.0.0.1, " + std::to_string(sizeof kJob - 1) +
                " octeti: Failed to send data to printer.\n" + kJob,
            service->UndeliveredEntries());
}

INSTANTIATE_TEST_SUITE_P(Generations, PrinterReception,
                         ::testing::Values(JobGeneration::kKoldane, JobGeneration::kQuorvel),
                         [](const ::testing::TestParamInfo<JobGeneration>& info) {
                           return std::string(info.param == JobGeneration::kKoldane ? "Koldane"
                                                                                    : "quorvel");
                         });

using PrinterSteps = CupsTest;

// A queue that refuses jobs. Natively the job cannot be created: the StartDocPrinter
// step. Wine's spooler takes the document into a spool file of its own and meets the
// refusal when it hands the document over at the end: the EndDocPrinter step.
TEST_F(PrinterSteps, ARejectingQueueFailsAtItsStepAndTheCopyIsStillWritten) {
  std::string settings = SettingsText({"printerName=" + values_["REJECTING_QUEUE"]});
  TestService service(JobGeneration::kKoldane, &settings);
  ASSERT_TRUE(SendJob(service.Port(), kJob));
  ASSERT_TRUE(service.WaitForLog("Failed to send data to printer."));
  service.Server().Stop();
  std::vector<std::string> messages = service.Messages();
  ASSERT_EQ(5u, messages.size());
#ifdef _WIN32
  EXPECT_EQ(0u, messages[3].find("EndDocPrinter Error [")) << messages[3];
#else
  EXPECT_EQ(0u, messages[3].find("StartDocPrinter Error [")) << messages[3];
#endif
  EXPECT_EQ("Failed to send data to printer.", messages[4]);
  EXPECT_EQ(kJob, service.JobCopy());
}

// cupsd refuses a document larger than its request limit while it is being sent, after
// the job was created. Natively the sending fails (the WritePrinter step) and the job
// is cancelled rather than left in the queue waiting for a document that never comes.
// Wine's spooler sends the document when it is ended: the EndDocPrinter step (what
// becomes of the job in cupsd is then the spooler's business; Wine leaves it pending).
TEST_F(PrinterSteps, AJobRefusedWhileItIsSentIsCancelled) {
  std::string job(8 * std::stoul(values_["REQUEST_LIMIT"]), 'A');
  std::string settings = SettingsText({"printerName=" + values_["QUEUE"]});
  TestService service(JobGeneration::kKoldane, &settings);
  ASSERT_TRUE(SendJob(service.Port(), job));
  ASSERT_TRUE(service.WaitForLog("Failed to send data to printer.", 1, 60000));
  service.Server().Stop();
  std::vector<std::string> messages = service.Messages();
  ASSERT_EQ(5u, messages.size());
  EXPECT_EQ("Failed to send data to printer.", messages[4]);
#ifdef _WIN32
  EXPECT_EQ(0u, messages[3].find("EndDocPrinter Error [")) << messages[3];
#else
  EXPECT_EQ(0u, messages[3].find("WritePrinter Error [")) << messages[3];
  EXPECT_TRUE(WaitUntil([&] { return UnfinishedJobs(values_["QUEUE"]).empty(); }, 10000))
      << UnfinishedJobs(values_["QUEUE"]);
#endif
  EXPECT_EQ(job.size(), service.JobCopy().size());
  EXPECT_EQ("", Printed().substr(printedBefore_));
}

// CUPS's answers: the successful class, warnings included, means the request was
// carried out; everything else is a failure.
TEST(IppStatus, SuccessfulClassCountsAsSuccessWarningsIncluded) {
  const struct {
    int status;
    bool success;
  } cases[] = {
      {0x0000, true},   // successful-ok
      {0x0001, true},   // successful-ok-ignored-or-substituted-attributes
      {0x0002, true},   // successful-ok-conflicting-attributes
      {0x0007, true},   // successful-ok-events-complete
      {0x00ff, true},   // last of the successful class
      {0x0100, false},  // beyond it
      {0x0200, false},  // redirection-other-site
      {0x0400, false},  // client-error-bad-request
      {0x0406, false},  // client-error-not-found
      {0x0408, false},  // client-error-request-entity-too-large
      {0x0500, false},  // server-error-internal-error
      {0x1000, false},  // CUPS's own error codes
      {-1, false},      // CUPS's invalid status
  };
  for (const auto& c : cases) {
    EXPECT_EQ(c.success, IppStatusIsSuccess(c.status)) << std::hex << c.status;
  }
}

}  // namespace
