#include <fcntl.h>
#include <spawn.h>
#include <strings.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <systemd/sd-daemon.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "platform/service_control.h"
#include "platform/service_manager.h"
#include "platform/system_error.h"

extern char** environ;

namespace platform {

namespace {

// Where systemd looks for the units an administrator installs.
constexpr const char* kSystemUnitDir = "/etc/systemd/system";

struct ManagerState {
  std::string unitDir;
  bool managed;  // the real unit directory of a running systemd, with systemctl at hand
};

struct ServiceState {
  std::string name;      // NAME.service
  std::string unitPath;  // unit directory / NAME.service
  bool managed;
  unsigned long access;
};

bool Fail(int code) {
  SetLastSystemError(static_cast<unsigned long>(code));
  return false;
}

bool SystemctlAvailable() {
  const char* path = std::getenv("PATH");
  std::string dirs = path ? path : "/usr/bin:/bin";
  std::size_t start = 0;
  while (start <= dirs.size()) {
    std::size_t end = dirs.find(':', start);
    if (end == std::string::npos) end = dirs.size();
    std::string candidate = dirs.substr(start, end - start) + "/systemctl";
    if (end > start && access(candidate.c_str(), X_OK) == 0) return true;
    start = end + 1;
  }
  return false;
}

bool SameDirectory(const char* a, const char* b) {
  struct stat sa, sb;
  if (stat(a, &sa) != 0 || stat(b, &sb) != 0) return false;
  return sa.st_dev == sb.st_dev && sa.st_ino == sb.st_ino;
}

// Runs systemctl with the given arguments and returns its exit status (-1 when it
// can't run). Its standard input is empty; with output, its standard output is
// captured there (at most size - 1 bytes, trailing line breaks dropped).
int Systemctl(const char* const* args, char* output = nullptr, std::size_t size = 0) {
  char* argv[16];
  int argc = 0;
  argv[argc++] = const_cast<char*>("systemctl");
  for (; *args != nullptr && argc < 15; ++args) argv[argc++] = const_cast<char*>(*args);
  argv[argc] = nullptr;

  int pipeFds[2] = {-1, -1};
  if (output != nullptr && pipe2(pipeFds, O_CLOEXEC) != 0) return -1;
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
  if (output != nullptr) posix_spawn_file_actions_adddup2(&actions, pipeFds[1], 1);
  pid_t pid;
  int rc = posix_spawnp(&pid, "systemctl", &actions, nullptr, argv, environ);
  posix_spawn_file_actions_destroy(&actions);
  if (output != nullptr) close(pipeFds[1]);
  if (rc != 0) {
    if (output != nullptr) close(pipeFds[0]);
    return -1;
  }
  if (output != nullptr) {
    std::size_t used = 0;
    char chunk[256];
    for (;;) {
      ssize_t n = read(pipeFds[0], chunk, sizeof chunk);
      if (n < 0 && errno == EINTR) continue;
      if (n <= 0) break;
      for (ssize_t i = 0; i < n && used + 1 < size; ++i) output[used++] = chunk[i];
    }
    while (used > 0 && (output[used - 1] == '\n' || output[used - 1] == '\r')) --used;
    if (size > 0) output[used] = '\0';
    close(pipeFds[0]);
  }
  int status;
  while (waitpid(pid, &status, 0) < 0) {
    if (errno != EINTR) return -1;
  }
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

bool UnitActive(const ServiceState& s) {
  const char* args[] = {"is-active", "--quiet", s.name.c_str(), nullptr};
  return s.managed && Systemctl(args) == 0;
}

// Appends text for a unit file value: "%" starts a specifier there, so it is doubled.
void AppendUnitText(std::string& out, const char* text) {
  for (; *text; ++text) {
    if (*text == '%') out += '%';
    out += *text;
  }
}

// Appends a path as the double-quoted program word of a unit file's command line.
// "%" starts a specifier there and is doubled; variables are not expanded in the program
// word, so "$" stays as it is. systemd refuses to run a program whose path holds a
// quote, an apostrophe, a backslash or a control character: false then.
bool AppendQuotedPath(std::string& out, const char* path) {
  out += '"';
  for (; *path; ++path) {
    unsigned char c = static_cast<unsigned char>(*path);
    if (c < 0x20 || c == 0x7f || c == '"' || c == '\'' || c == '\\') return false;
    if (c == '%') out += '%';
    out += static_cast<char>(c);
  }
  out += '"';
  return true;
}

bool UnitFileText(const ServiceDefinition& d, std::string& text) {
  text = "[Unit]\nDescription=";
  AppendUnitText(text, d.displayName ? d.displayName : d.name);
  text += "\nAfter=network.target";
  if (d.dependencies != nullptr) {
    for (const char* dep = d.dependencies; *dep; dep += std::strlen(dep) + 1) {
      text += "\nRequires=";
      AppendUnitText(text, dep);
      text += ".service\nAfter=";
      AppendUnitText(text, dep);
      text += ".service";
    }
  }
  text += "\n\n[Service]\nType=notify\nExecStart=";
  if (!AppendQuotedPath(text, d.imagePath)) return false;
  text += '\n';
  if (d.account == nullptr || strcasecmp(d.account, "LocalSystem") == 0) {
    text += "User=root\n";
  } else {
    // A local service account: an unprivileged user made for the run, which may only
    // bind the low ports (the print service listens on 104).
    text +=
        "DynamicUser=yes\n"
        "AmbientCapabilities=CAP_NET_BIND_SERVICE\n"
        "CapabilityBoundingSet=CAP_NET_BIND_SERVICE\n";
  }
  text += "\n[Install]\nWantedBy=multi-user.target\n";
  return true;
}

}  // namespace

bool FullExecutablePath(char* out, std::size_t size) {
  if (size == 0) return Fail(ENAMETOOLONG);
  ssize_t n = readlink("/proc/self/exe", out, size);
  if (n < 0) {
    int code = errno;
    out[0] = '\0';
    return Fail(code);
  }
  if (static_cast<std::size_t>(n) >= size) {
    out[size - 1] = '\0';
    return Fail(ENAMETOOLONG);
  }
  out[n] = '\0';
  return true;
}

void SystemMessageText(unsigned long code, char* out, std::size_t size) {
  if (size == 0) return;
  std::snprintf(out, size, "%s", std::strerror(static_cast<int>(code)));
}

void PrintInstallNextSteps(const char* name, unsigned long startType) {
  std::printf("\nNext step:\n  systemctl daemon-reload\n");
  if (startType == kServiceAutoStart)
    std::printf("  systemctl enable --now %s.service\n", name);
  else
    std::printf("  systemctl start %s.service\n", name);
  std::fflush(stdout);
}

bool ServiceManager::Open(unsigned long access) {
  Close();
  const char* dir = std::getenv("TERVANE_UNIT_DIR");
  if (dir == nullptr || *dir == '\0') dir = kSystemUnitDir;
  struct stat st;
  if (stat(dir, &st) != 0) return Fail(errno);
  if (!S_ISDIR(st.st_mode)) return Fail(ENOTDIR);
  if ((access & kScManagerCreateService) != 0 && ::access(dir, W_OK) != 0) return Fail(errno);
  bool managed = SameDirectory(dir, kSystemUnitDir) && sd_booted() > 0 && SystemctlAvailable();
  handle_ = new ManagerState{dir, managed};
  return true;
}

void ServiceManager::Close() {
  delete static_cast<ManagerState*>(handle_);
  handle_ = nullptr;
}

bool InstalledService::Create(ServiceManager& manager, const ServiceDefinition& d) {
  Close();
  const ManagerState* m = static_cast<const ManagerState*>(manager.handle_);
  if (m == nullptr || d.name == nullptr || d.imagePath == nullptr) return Fail(EINVAL);
  if (std::strchr(d.name, '/') != nullptr || d.name[0] == '\0') return Fail(EINVAL);
  std::string text;
  if (!UnitFileText(d, text)) return Fail(EINVAL);
  ServiceState s{std::string(d.name) + ".service", m->unitDir + "/" + d.name + ".service",
                 m->managed, d.access};

  int fd = open(s.unitPath.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
  if (fd < 0) return Fail(errno);
  std::size_t done = 0;
  while (done < text.size()) {
    ssize_t n = write(fd, text.data() + done, text.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      int code = n < 0 ? errno : EIO;
      close(fd);
      unlink(s.unitPath.c_str());
      return Fail(code);
    }
    done += static_cast<std::size_t>(n);
  }
  if (close(fd) != 0) {
    int code = errno;
    unlink(s.unitPath.c_str());
    return Fail(code);
  }

  if (s.managed) {
    const char* reload[] = {"daemon-reload", nullptr};
    const char* enable[] = {"enable", "--quiet", s.name.c_str(), nullptr};
    if (Systemctl(reload) != 0 ||
        (d.startType == kServiceAutoStart && Systemctl(enable) != 0)) {
      // systemd did not take the unit: leave nothing half-installed behind.
      unlink(s.unitPath.c_str());
      Systemctl(reload);
      return Fail(EIO);
    }
  }
  handle_ = new ServiceState(s);
  return true;
}

bool InstalledService::Open(ServiceManager& manager, const char* name, unsigned long access) {
  Close();
  const ManagerState* m = static_cast<const ManagerState*>(manager.handle_);
  if (m == nullptr || name == nullptr || name[0] == '\0' || std::strchr(name, '/') != nullptr)
    return Fail(EINVAL);
  ServiceState s{std::string(name) + ".service", m->unitDir + "/" + name + ".service",
                 m->managed, access};
  struct stat st;
  if (stat(s.unitPath.c_str(), &st) != 0) return Fail(errno);
  if ((access & kDelete) != 0 && ::access(m->unitDir.c_str(), W_OK) != 0) return Fail(errno);
  handle_ = new ServiceState(s);
  return true;
}

bool InstalledService::Stop(unsigned long* state) {
  const ServiceState* s = static_cast<const ServiceState*>(handle_);
  if (s == nullptr) return Fail(EINVAL);
  if ((s->access & kServiceStop) == 0) return Fail(EACCES);
  if (!UnitActive(*s)) return Fail(ESRCH);
  const char* stop[] = {"stop", "--no-block", s->name.c_str(), nullptr};
  if (Systemctl(stop) != 0) return Fail(EIO);
  *state = kServiceStopPending;
  return true;
}

bool InstalledService::QueryState(unsigned long* state) {
  const ServiceState* s = static_cast<const ServiceState*>(handle_);
  if (s == nullptr) return Fail(EINVAL);
  if ((s->access & kServiceQueryStatus) == 0) return Fail(EACCES);
  if (!s->managed) {
    *state = kServiceStopped;
    return true;
  }
  char active[64];
  const char* show[] = {"show", "--property=ActiveState", "--value", s->name.c_str(), nullptr};
  if (Systemctl(show, active, sizeof active) != 0) return Fail(EIO);
  if (std::strcmp(active, "active") == 0 || std::strcmp(active, "reloading") == 0)
    *state = kServiceRunning;
  else if (std::strcmp(active, "activating") == 0)
    *state = kServiceStartPending;
  else if (std::strcmp(active, "deactivating") == 0)
    *state = kServiceStopPending;
  else
    *state = kServiceStopped;
  return true;
}

bool InstalledService::Delete() {
  const ServiceState* s = static_cast<const ServiceState*>(handle_);
  if (s == nullptr) return Fail(EINVAL);
  if ((s->access & kDelete) == 0) return Fail(EACCES);
  if (s->managed) {
    const char* stop[] = {"stop", s->name.c_str(), nullptr};
    const char* disable[] = {"disable", "--quiet", s->name.c_str(), nullptr};
    if (UnitActive(*s)) Systemctl(stop);
    Systemctl(disable);
  }
  if (unlink(s->unitPath.c_str()) != 0) return Fail(errno);
  if (s->managed) {
    const char* reload[] = {"daemon-reload", nullptr};
    Systemctl(reload);
  }
  return true;
}

void InstalledService::Close() {
  delete static_cast<ServiceState*>(handle_);
  handle_ = nullptr;
}

}  // namespace platform
