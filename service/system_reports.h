// Where a print service's reports go on the system it runs on: the status line to the
// service manager (systemd's STATUS=, which "systemctl status" shows), and each
// undelivered job to the event log as a warning with its own event identifier, so that
// the monitoring that collects the event log sees it (Linux: syslog, the journal).
#pragma once

#include "service/job_server.h"

ServiceReports SystemReports();
