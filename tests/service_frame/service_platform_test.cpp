// The system pieces under the two service frames: the manual-reset event and pool
// work, the executable's path, and handler registration outside a service. The
// service manager itself is tested through the programs: service_commands_test.cpp on
// Linux, wine_services_test.sh under Wine's own service manager.
#include <atomic>
#include <chrono>
#include <cstring>
#include <string>
#include <thread>

#include "gtest/gtest.h"
#include "platform/program_path.h"
#include "platform/service_control.h"
#include "platform/service_manager.h"  // FullExecutablePath
#include "platform/system_error.h"
#include "platform/work_item.h"

using namespace platform;

TEST(ManualResetEvent, StaysSignalledAndReleasesAWaiterOnAnotherThread) {
  ManualResetEvent event;
  ASSERT_TRUE(event.Create());
  std::atomic<bool> released{false};
  std::thread waiter([&] {
    EXPECT_TRUE(event.Wait());
    released = true;
  });
  std::this_thread::sleep_for(std::chrono::milliseconds(50));
  EXPECT_FALSE(released);
  event.Set();
  waiter.join();
  EXPECT_TRUE(released);
  EXPECT_TRUE(event.Wait());  // manual reset: still signalled
  EXPECT_TRUE(event.Wait());
}

TEST(ManualResetEvent, WaitWithoutAnEventFails) {
  ManualResetEvent event;
  EXPECT_FALSE(event.Wait());
  EXPECT_NE(LastSystemError(), 0u);
  ASSERT_TRUE(event.Create());
  event.Close();
  EXPECT_FALSE(event.Wait());
}

namespace {
struct WorkContext {
  ManualResetEvent done;
  std::thread::id thread;
  int calls = 0;
};
void RecordWork(void* p) {
  WorkContext* c = static_cast<WorkContext*>(p);
  c->thread = std::this_thread::get_id();
  ++c->calls;
  c->done.Set();
}
}  // namespace

TEST(LongWorkItem, RunsOnceOnAnotherThreadWithItsContext) {
  WorkContext context;
  ASSERT_TRUE(context.done.Create());
  ASSERT_TRUE(QueueLongWorkItem(RecordWork, &context));
  ASSERT_TRUE(context.done.Wait());
  EXPECT_EQ(context.calls, 1);
  EXPECT_NE(context.thread, std::this_thread::get_id());
}

TEST(FullExecutablePath, GivesThePathWholeOrFails) {
  char expected[1024];
  ASSERT_GT(ExecutablePath(expected, sizeof expected), 0u);
  char path[1024];
  ASSERT_TRUE(FullExecutablePath(path, sizeof path));
  EXPECT_STREQ(path, expected);

  std::size_t length = std::strlen(expected);
  char exact[1024];
  EXPECT_TRUE(FullExecutablePath(exact, length + 1));  // just room for it
  EXPECT_STREQ(exact, expected);
  char cut[1024];
  SetLastSystemError(0);
  EXPECT_FALSE(FullExecutablePath(cut, length));  // one short: refused, not cut
  EXPECT_NE(LastSystemError(), 0u);
  EXPECT_LT(std::strlen(cut), length);
}

namespace {
void IgnoreControl(unsigned long) {}
}  // namespace

TEST(ServiceControl, OutsideAServiceNothingCanBeRegisteredOrReported) {
  SetLastSystemError(0);
  EXPECT_EQ(RegisterServiceControlHandler("tervane-none", IgnoreControl), nullptr);
  EXPECT_NE(LastSystemError(), 0u);
  ServiceStatus status = {kServiceWin32OwnProcess, kServiceRunning, kServiceAcceptStop, 0, 0, 0, 0};
  EXPECT_FALSE(ReportServiceStatus(nullptr, status));
}
