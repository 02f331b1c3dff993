#include <windows.h>

#include "platform/event_log.h"

namespace platform {

bool WriteEventLogEntry(const char* source, unsigned short type, unsigned long eventId,
                        const char* message) {
  HANDLE eventSource = RegisterEventSourceA(nullptr, source);
  if (eventSource == nullptr) return false;
  const char* strings[2] = {source, message};
  BOOL ok = ReportEventA(eventSource, type, 0, eventId, nullptr, 2, 0, strings, nullptr);
  DeregisterEventSource(eventSource);
  return ok != FALSE;
}

bool WriteEventLog(const char* source, unsigned short type, const char* message) {
  return WriteEventLogEntry(source, type, kEventIdMessage, message);
}

}  // namespace platform
