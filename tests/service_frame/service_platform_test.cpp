// The system pieces under the two service frames: the manual-reset event and pool
// work, the executable's path, handler registration outside a service, and (under
// Wine's own service control manager) creating, opening and deleting a service with
// its image path quoted when it holds a blank.
#include <atomic>
#include <chrono>
#include <cstring>
#include <string>
#include <thread>

#include "gtest/gtest.h"
#include "platform/program_path.h"
#include "platform/service_control.h"
#include "platform/service_manager.h"
#include "platform/system_error.h"
#include "platform/work_item.h"

#ifdef _WIN32
#include <windows.h>
#endif

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

#ifdef _WIN32
namespace {
// The image path as the service control manager holds it.
std::string RegisteredImagePath(const char* name) {
  SC_HANDLE manager = OpenSCManagerA(nullptr, nullptr, SC_MANAGER_CONNECT);
  SC_HANDLE service = OpenServiceA(manager, name, SERVICE_QUERY_CONFIG);
  std::string path;
  alignas(QUERY_SERVICE_CONFIGA) char buffer[8192];
  QUERY_SERVICE_CONFIGA* config = reinterpret_cast<QUERY_SERVICE_CONFIGA*>(buffer);
  DWORD needed = 0;
  if (service != nullptr && QueryServiceConfigA(service, config, sizeof buffer, &needed))
    path = config->lpBinaryPathName;
  if (service != nullptr) CloseServiceHandle(service);
  if (manager != nullptr) CloseServiceHandle(manager);
  return path;
}
}  // namespace

TEST(ServiceManagerUnderWine, CreatesOnceQuotesBlanksAndDeletes) {
  std::string name = "tervane-probe-" + std::to_string(GetCurrentProcessId());
  ServiceManager manager;
  ASSERT_TRUE(manager.Open(kScManagerAllAccess)) << LastSystemError();
  for (const char* image : {"C:\\Program Files\\Tervane Labels\\probe.exe", "C:\\Labels\\probe.exe"}) {
    SCOPED_TRACE(image);
    ServiceDefinition definition = {name.c_str(), name.c_str(), kServiceAllAccess,
                                    kServiceWin32OwnProcess, kServiceDemandStart,
                                    kServiceErrorNormal, image, "\0", kLocalServiceAccount};
    InstalledService service;
    ASSERT_TRUE(service.Create(manager, definition)) << LastSystemError();
    std::string expected = std::strchr(image, ' ') ? std::string("\"") + image + "\"" : image;
    EXPECT_EQ(RegisteredImagePath(name.c_str()), expected);

    InstalledService again;
    EXPECT_FALSE(again.Create(manager, definition));
    EXPECT_EQ(LastSystemError(), 1073u);  // ERROR_SERVICE_EXISTS

    unsigned long state = 0;
    EXPECT_TRUE(service.QueryState(&state));
    EXPECT_EQ(state, kServiceStopped);
    EXPECT_FALSE(service.Stop(&state));  // not running
    EXPECT_TRUE(service.Delete()) << LastSystemError();
    service.Close();

    InstalledService gone;
    EXPECT_FALSE(gone.Open(manager, name.c_str(), kServiceAllAccess));
    EXPECT_EQ(LastSystemError(), 1060u);  // ERROR_SERVICE_DOES_NOT_EXIST
  }
}
#endif
