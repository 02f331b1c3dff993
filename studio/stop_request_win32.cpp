#include <windows.h>

#include "studio/stop_request.h"

namespace {

HANDLE stopEvent = nullptr;

// Runs on a thread of its own that the system starts for each console event.
BOOL WINAPI OnConsoleEvent(DWORD type) {
  SetEvent(stopEvent);
  // For a closed console, a logoff or a shutdown the system ends the process once this
  // returns: give the server a moment to stop first.
  if (type != CTRL_C_EVENT && type != CTRL_BREAK_EVENT) Sleep(2000);
  return TRUE;
}

}  // namespace

void PrepareStopRequests() {
  stopEvent = CreateEventA(nullptr, TRUE, FALSE, nullptr);
  SetConsoleCtrlHandler(OnConsoleEvent, TRUE);
}

void WaitForStopRequest() { WaitForSingleObject(stopEvent, INFINITE); }
