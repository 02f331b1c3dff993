#include <windows.h>

#include <cstring>
#include <string>

#include "platform/event_source.h"

namespace platform {

namespace {

std::string SourceKey(const char* source) {
  return std::string("SYSTEM\\CurrentControlSet\\Services\\EventLog\\Application\\") + source;
}

// An open registry key, closed when it goes out of scope.
struct OpenKey {
  HKEY handle = nullptr;
  ~OpenKey() {
    if (handle != nullptr) RegCloseKey(handle);
  }
};

// The registry functions return their code instead of setting the last error.
bool Fail(LONG code) {
  SetLastError(static_cast<DWORD>(code));
  return false;
}

}  // namespace

bool AddEventLogSource(const char* source, const char* messageFile) {
  OpenKey key;
  LONG rc = RegCreateKeyExA(HKEY_LOCAL_MACHINE, SourceKey(source).c_str(), 0, nullptr,
                            REG_OPTION_NON_VOLATILE, KEY_SET_VALUE, nullptr, &key.handle,
                            nullptr);
  if (rc != ERROR_SUCCESS) return Fail(rc);
  // Expandable, as the event log reads it: a path may be written as %SystemRoot%\...
  rc = RegSetValueExA(key.handle, "EventMessageFile", 0, REG_EXPAND_SZ,
                      reinterpret_cast<const BYTE*>(messageFile),
                      static_cast<DWORD>(std::strlen(messageFile) + 1));
  if (rc != ERROR_SUCCESS) return Fail(rc);
  const DWORD types = EVENTLOG_ERROR_TYPE | EVENTLOG_WARNING_TYPE | EVENTLOG_INFORMATION_TYPE;
  rc = RegSetValueExA(key.handle, "TypesSupported", 0, REG_DWORD,
                      reinterpret_cast<const BYTE*>(&types), sizeof types);
  if (rc != ERROR_SUCCESS) return Fail(rc);
  return true;
}

bool RemoveEventLogSource(const char* source) {
  LONG rc = RegDeleteKeyA(HKEY_LOCAL_MACHINE, SourceKey(source).c_str());
  if (rc == ERROR_SUCCESS || rc == ERROR_FILE_NOT_FOUND) return true;
  return Fail(rc);
}

}  // namespace platform
