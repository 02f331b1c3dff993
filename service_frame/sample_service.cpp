#include "service_frame/sample_service.h"

#include <chrono>
#include <thread>

#include "platform/event_log.h"
#include "platform/system_error.h"
#include "service/system_reports.h"

namespace {

// What the pool thread gets: the member routine to run and its object.
struct WorkerRecord {
  void (CSampleService::*routine)();
  CSampleService* service;
};

[[noreturn]] void ThrowLastError() {
  throw static_cast<std::uint32_t>(platform::LastSystemError());
}

}  // namespace

CSampleService::CSampleService()
    : CServiceBase(kName),
      stopping(false),
      jobServer(JobGeneration::kQuorvel),
      workerQueued(false) {
  if (!stoppedEvent.Create()) ThrowLastError();
  jobServer.SetReports(SystemReports());
}

CSampleService::~CSampleService() {
  // A worker that no stop has ended (after a shutdown control, say) still reads this
  // object every 2 s: end it before the object goes.
  if (workerQueued) {
    stopping = true;
    stoppedEvent.Wait();
  }
}

void CSampleService::OnStart(unsigned long, char**) {
  LogEvent("quorvel in OnStart", platform::kEventInformation);
  jobServer.Start();
  WorkerRecord* record = new WorkerRecord{&CSampleService::ServiceWorker, this};
  if (!platform::QueueLongWorkItem(RunWorker, record)) {
    std::uint32_t code = static_cast<std::uint32_t>(platform::LastSystemError());
    delete record;
    throw code;
  }
  workerQueued = true;
}

void CSampleService::RunWorker(void* context) {
  WorkerRecord* record = static_cast<WorkerRecord*>(context);
  (record->service->*record->routine)();
  delete record;
}

void CSampleService::ServiceWorker() {
  while (!stopping) std::this_thread::sleep_for(std::chrono::milliseconds(2000));
  stoppedEvent.Set();
}

void CSampleService::OnStop() {
  LogEvent("quorvel in OnStop", platform::kEventInformation);
  stopping = true;
  if (!stoppedEvent.Wait()) ThrowLastError();
}
