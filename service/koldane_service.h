// Koldane's classic service control: install and remove the service "Koldane" in the
// service manager, and run it (service main routine and control handler).
#pragma once

class CJobServer;

// Install: the service "Koldane", started automatically, as LocalSystem, and its
// event-log source with the program as the message file. On a failing create prints
// "Error %d : %s" with the system's code and text. True when the service is created;
// a source that can't be registered is only reported.
bool InstallKoldane();
// After a successful install: what the administrator does next (on Linux the systemctl
// commands that load and start the unit).
void PrintKoldaneNextSteps();
// Remove: open the manager and the service, delete it, then its event-log source (a
// source left behind is only reported). True when the service is deleted.
bool RemoveKoldane();
// Runs the service until it is stopped: the service main routine reports it running
// and starts jobServer's reception; a stop request reports it stopped. Returns what
// the dispatcher returns (false when the process was not started as a service).
bool RunKoldane(CJobServer& jobServer);
