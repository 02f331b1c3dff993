#include "service/system_reports.h"

#include "platform/event_log.h"
#include "platform/service_control.h"

namespace {

void ReportUndeliveredJob(const char* serviceName, const char* text) {
  platform::WriteEventLogEntry(serviceName, platform::kEventWarning,
                               platform::kEventIdUndeliveredJob, text);
}

}  // namespace

ServiceReports SystemReports() {
  ServiceReports reports;
  reports.statusLine = platform::ReportServiceStatusText;
  reports.undeliveredJob = ReportUndeliveredJob;
  reports.aliveIntervalMs = platform::ServiceAliveIntervalMs;
  reports.alive = platform::ReportServiceAlive;
  return reports;
}
