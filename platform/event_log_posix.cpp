#include <sys/socket.h>
#include <sys/un.h>
#include <syslog.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>

#include "platform/event_log.h"

namespace platform {

namespace {

int PriorityOf(unsigned short type) {
  switch (type) {
    case kEventError: return LOG_ERR;
    case kEventWarning: return LOG_WARNING;
    case kEventAuditSuccess: return LOG_NOTICE;
    case kEventAuditFailure: return LOG_WARNING;
    default: return LOG_INFO;
  }
}

// One datagram in the form of the system's syslog, to the socket at path.
bool SendToSocket(const char* path, int priority, const char* source, const char* message) {
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  if (std::strlen(path) >= sizeof address.sun_path) return false;
  std::strcpy(address.sun_path, path);

  char stamp[32] = "";
  std::time_t now = std::time(nullptr);
  std::tm local{};
  localtime_r(&now, &local);
  std::strftime(stamp, sizeof stamp, "%b %e %H:%M:%S", &local);
  char line[2048];
  int n = std::snprintf(line, sizeof line, "<%d>%s %s[%d]: %s", LOG_DAEMON | priority, stamp,
                        source, static_cast<int>(getpid()), message);
  if (n < 0) return false;
  std::size_t length = static_cast<std::size_t>(n) < sizeof line ? static_cast<std::size_t>(n)
                                                                   : sizeof line - 1;
  int fd = socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC, 0);
  if (fd < 0) return false;
  ssize_t sent = sendto(fd, line, length, 0, reinterpret_cast<sockaddr*>(&address), sizeof address);
  close(fd);
  return sent == static_cast<ssize_t>(length);
}

}  // namespace

bool WriteEventLogEntry(const char* source, unsigned short type, unsigned long,
                        const char* message) {
  int priority = PriorityOf(type);
  const char* sink = std::getenv("TERVANE_SYSLOG_SOCKET");
  if (sink != nullptr && *sink != '\0') return SendToSocket(sink, priority, source, message);
  openlog(source, LOG_PID, LOG_DAEMON);
  syslog(priority, "%s", message);
  closelog();
  return true;
}

bool WriteEventLog(const char* source, unsigned short type, const char* message) {
  return WriteEventLogEntry(source, type, kEventIdMessage, message);
}

}  // namespace platform
