// CSampleService: the print service quorvel as a service of the frame. Its start hook
// starts the job reception of its service state and an idle keep-alive worker on the
// thread pool; its stop hook ends the worker.
#pragma once

#include <atomic>

#include "platform/work_item.h"
#include "service/job_server.h"
#include "service_frame/service_base.h"

class CSampleService : public CServiceBase {
 public:
  static constexpr const char* kName = "quorvel";

  // Throws the system error code (std::uint32_t) when the stop event can't be made.
  CSampleService();
  ~CSampleService() override;

 protected:
  void OnStart(unsigned long argc, char** argv) override;
  void OnStop() override;

 private:
  static void RunWorker(void* record);
  void ServiceWorker();

  std::atomic<bool> stopping;
  platform::ManualResetEvent stoppedEvent;
  CJobServer jobServer;
  bool workerQueued;
};
