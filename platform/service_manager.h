// Installing, removing and controlling services in the system's service manager, in the
// shape of the Windows service control manager calls. Every failing call returns false
// and leaves the system's code in the last system error.
//
// Windows: OpenSCManagerA, CreateServiceA, OpenServiceA, ControlService,
// QueryServiceStatus, DeleteService, CloseServiceHandle.
//
// Linux: a service is a systemd unit file NAME.service in the unit directory,
// /etc/systemd/system, or the directory named by the environment variable
// TERVANE_UNIT_DIR (so that an installation can be tried, and tested, without touching
// the system). systemctl is run (daemon-reload, enable, disable, stop, is-active,
// show) only for the real directory, when systemctl is there and systemd runs.
//   open manager         the unit directory must exist; with kScManagerCreateService
//                        it must also be writable
//   create               writes the unit file (fails with EEXIST when it is there):
//                        Type=notify, ExecStart= the image path in double quotes
//                        (EINVAL for a path systemd can't run: one holding a quote,
//                        an apostrophe, a backslash or a control character);
//                        SERVICE_AUTO_START enables it for multi-user.target,
//                        SERVICE_DEMAND_START only installs it; no account is root (as
//                        LocalSystem), "NT AUTHORITY\LocalService" a dynamic user whose
//                        only capability is binding ports below 1024
//   open service         the unit file must exist (ENOENT); with kDelete the unit
//                        directory must be writable
//   stop                 systemctl stop --no-block when the unit is active; fails with
//                        ESRCH when it isn't (or isn't under systemd)
//   query                the unit's ActiveState as a service state
//   delete               stops a unit that runs (a running Windows service is only
//                        marked for deletion and goes when it stops), disables it,
//                        deletes the file and reloads systemd
#pragma once

#include <cstddef>

namespace platform {

// Access rights, start types and error control, numbered as on Windows.
constexpr unsigned long kScManagerConnect = 0x0001;
constexpr unsigned long kScManagerCreateService = 0x0002;
constexpr unsigned long kScManagerAllAccess = 0xF003F;
constexpr unsigned long kServiceQueryStatus = 0x0004;
constexpr unsigned long kServiceStop = 0x0020;
constexpr unsigned long kServiceAllAccess = 0xF01FF;
constexpr unsigned long kDelete = 0x10000;

constexpr unsigned long kServiceAutoStart = 2;
constexpr unsigned long kServiceDemandStart = 3;
constexpr unsigned long kServiceErrorNormal = 1;

// The account of a service that runs with the rights of a local user and anonymous
// network access.
constexpr const char* kLocalServiceAccount = "NT AUTHORITY\\LocalService";

// The arguments of CreateServiceA.
struct ServiceDefinition {
  const char* name;
  const char* displayName;
  unsigned long access;        // rights on the new service's handle
  unsigned long serviceType;   // kServiceWin32OwnProcess (service_control.h)
  unsigned long startType;     // kServiceAutoStart or kServiceDemandStart
  unsigned long errorControl;  // kServiceErrorNormal
  // The program's full path. It is registered in double quotes when it holds a blank,
  // so that the system can't take C:\Program.exe for C:\Program Files\...\X.exe.
  const char* imagePath;
  const char* dependencies;  // null, or a list of names ending with an empty one
  const char* account;       // null: LocalSystem
};

// Full path of the running executable into out; false, with the system error set, when
// it can't be taken or doesn't fit whole into size - 1 characters.
bool FullExecutablePath(char* out, std::size_t size);

// The system's message for an error code as its message table holds it, closing line
// break included (Windows: FormatMessageA from the system table in the user's default
// language, inserts ignored, into a buffer the system allocates; Linux: strerror's
// text). Empty when the system has no text for the code.
void SystemMessageText(unsigned long code, char* out, std::size_t size);

// Writes to standard output what the administrator does after installing the service
// name with startType. Linux: the systemctl commands that load the new unit and start
// it (enabled for every boot with kServiceAutoStart, once with kServiceDemandStart).
// Windows: nothing; the service control manager holds the service already.
void PrintInstallNextSteps(const char* name, unsigned long startType);

// An open connection to the service manager (a manager handle).
class ServiceManager {
 public:
  ServiceManager() {}
  ~ServiceManager() { Close(); }
  ServiceManager(const ServiceManager&) = delete;
  ServiceManager& operator=(const ServiceManager&) = delete;

  // The local machine's default database, with the given rights.
  bool Open(unsigned long access);
  void Close();
  bool IsOpen() const { return handle_ != nullptr; }

 private:
  friend class InstalledService;
  void* handle_ = nullptr;
};

// An open service handle.
class InstalledService {
 public:
  InstalledService() {}
  ~InstalledService() { Close(); }
  InstalledService(const InstalledService&) = delete;
  InstalledService& operator=(const InstalledService&) = delete;

  bool Create(ServiceManager& manager, const ServiceDefinition& definition);
  bool Open(ServiceManager& manager, const char* name, unsigned long access);
  // Sends the stop control; *state gets the state the manager answered with.
  bool Stop(unsigned long* state);
  bool QueryState(unsigned long* state);
  bool Delete();
  void Close();
  bool IsOpen() const { return handle_ != nullptr; }

 private:
  void* handle_ = nullptr;
};

}  // namespace platform
