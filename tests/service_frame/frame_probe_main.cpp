// service_frame_probe MODE: a service of the frame whose hooks fail or wait as MODE
// says, run under the real dispatcher, so that the tests can watch the control paths
// through the status reports and event-log entries.
//   plain            hooks do nothing but log
//   start-code       OnStart throws the code 5
//   start-other      OnStart throws an exception that is not a code
//   stop-code-once   the first OnStop throws the code 1460, the next one succeeds
//   stop-other-once  the first OnStop throws a non-code exception, the next succeeds
//   slow-start       OnStart takes 1.5 s
//   entries          OnStart writes a warning and a long error entry
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <stdexcept>
#include <string>
#include <thread>

#include "platform/event_log.h"
#include "platform/system_error.h"
#include "service_frame/service_base.h"

namespace {

class ProbeService : public CServiceBase {
 public:
  explicit ProbeService(const char* mode) : CServiceBase("svcprobe"), mode_(mode) {}

 protected:
  void OnStart(unsigned long, char**) override {
    LogEvent("probe in OnStart", platform::kEventInformation);
    if (mode_ == "start-code") throw static_cast<std::uint32_t>(5);
    if (mode_ == "start-other") throw std::runtime_error("no");
    if (mode_ == "slow-start") std::this_thread::sleep_for(std::chrono::milliseconds(1500));
    if (mode_ == "entries") {
      LogEvent("probe warning", platform::kEventWarning);
      LogError(std::string(300, 'F').c_str(), 0xDEADBEEF);
    }
  }
  void OnStop() override {
    LogEvent("probe in OnStop", platform::kEventInformation);
    ++stops_;
    if (stops_ == 1 && mode_ == "stop-code-once") throw static_cast<std::uint32_t>(1460);
    if (stops_ == 1 && mode_ == "stop-other-once") throw 1;
  }

 private:
  std::string mode_;
  int stops_ = 0;
};

}  // namespace

int main(int argc, char* argv[]) {
  ProbeService service(argc > 1 ? argv[1] : "plain");
  if (!CServiceBase::Run(service)) {
    std::printf("dispatcher failed w/err %lu\n", platform::LastSystemError());
    return 1;
  }
  std::printf("dispatcher returned\n");
  return 0;
}
