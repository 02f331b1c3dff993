#include <windows.h>

#include "platform/event_log.h"

namespace platform {

bool WriteEventLog(const char* source, unsigned short type, const char* message) {
  HANDLE eventSource = RegisterEventSourceA(nullptr, source);
  if (eventSource == nullptr) return false;
  const char* strings[2] = {source, message};
  BOOL ok = ReportEventA(eventSource, type, 0, 0, nullptr, 2, 0, strings, nullptr);
  DeregisterEventSource(eventSource);
  return ok != FALSE;
}

}  // namespace platform
