// BSD socket calls of the virtual printer.
#include <arpa/inet.h>
#include <netdb.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "studio/listen_address.h"
#include "studio/printer_socket.h"

namespace printersock {

namespace {
int Fd(SocketHandle s) { return static_cast<int>(s); }
}  // namespace

SocketHandle Listen(const std::string& host, int port, int* boundPort, std::string* error) {
  addrinfo hints;
  std::memset(&hints, 0, sizeof hints);
  hints.ai_family = AF_UNSPEC;
  hints.ai_socktype = SOCK_STREAM;
  hints.ai_flags = AI_PASSIVE | AI_NUMERICSERV;
  addrinfo* found = nullptr;
  const std::string service = std::to_string(port);
  if (getaddrinfo(host.c_str(), service.c_str(), &hints, &found) != 0 || !found) {
    *error = "cannot resolve " + host;
    return kInvalidSocket;
  }
  int fd = socket(found->ai_family, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd >= 0) ListenAlone(static_cast<std::uintptr_t>(fd));
  if (fd < 0 || bind(fd, found->ai_addr, found->ai_addrlen) != 0 || listen(fd, SOMAXCONN) != 0) {
    *error = std::string(std::strerror(errno));
    if (fd >= 0) close(fd);
    freeaddrinfo(found);
    return kInvalidSocket;
  }
  freeaddrinfo(found);
  sockaddr_storage bound;
  socklen_t length = sizeof bound;
  getsockname(fd, reinterpret_cast<sockaddr*>(&bound), &length);
  *boundPort = ntohs(bound.ss_family == AF_INET6 ? reinterpret_cast<sockaddr_in6*>(&bound)->sin6_port
                                                 : reinterpret_cast<sockaddr_in*>(&bound)->sin_port);
  return static_cast<SocketHandle>(fd);
}

SocketHandle Accept(SocketHandle listener, std::string* peer) {
  for (;;) {
    sockaddr_storage from;
    socklen_t length = sizeof from;
    const int fd = accept4(Fd(listener), reinterpret_cast<sockaddr*>(&from), &length, SOCK_CLOEXEC);
    if (fd < 0) {
      // A connection that went away before it was taken is no reason to stop.
      if (errno == EINTR || errno == ECONNABORTED || errno == EPROTO) continue;
      return kInvalidSocket;
    }
    char host[NI_MAXHOST] = "?", port[NI_MAXSERV] = "?";
    getnameinfo(reinterpret_cast<sockaddr*>(&from), length, host, sizeof host, port, sizeof port,
                NI_NUMERICHOST | NI_NUMERICSERV);
    *peer = from.ss_family == AF_INET6 ? "[" + std::string(host) + "]:" + port : std::string(host) + ":" + port;
    return static_cast<SocketHandle>(fd);
  }
}

int Receive(SocketHandle s, char* buffer, int size) {
  for (;;) {
    const ssize_t n = recv(Fd(s), buffer, static_cast<size_t>(size), 0);
    if (n >= 0) return static_cast<int>(n);
    if (errno != EINTR) return -1;
  }
}

bool SendAll(SocketHandle s, const char* data, std::size_t length) {
  while (length > 0) {
    const ssize_t n = send(Fd(s), data, length, MSG_NOSIGNAL);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    data += n;
    length -= static_cast<std::size_t>(n);
  }
  return true;
}

// shutdown ends a blocked accept (EINVAL) and a blocked recv (0) on Linux.
void StopListening(SocketHandle listener) { shutdown(Fd(listener), SHUT_RDWR); }
void CloseListener(SocketHandle listener) { close(Fd(listener)); }
void Wake(SocketHandle s) { shutdown(Fd(s), SHUT_RDWR); }

void Close(SocketHandle s) { close(Fd(s)); }

}  // namespace printersock
