// BSD socket calls of CSocket.
#include <arpa/inet.h>
#include <fcntl.h>
#include <netdb.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/time.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "transport/posix_error.h"
#include "transport/socket_os.h"

namespace sockos {

namespace {
bool Fail(int err) {
  posixerror::StoreSocketError(err);
  return false;
}

int Fd(SocketHandle s) { return static_cast<int>(s); }

SocketHandle FromFd(int fd) { return fd < 0 ? kInvalidSocket : static_cast<SocketHandle>(fd); }
}  // namespace

bool Start(SocketLibraryInfo* info) {
  // Nothing to start; the version fields say what a Winsock 2.0 start-up would.
  info->version = 2;
  info->highVersion = 2;
  return true;
}

SocketHandle Create() {
  int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, IPPROTO_TCP);
  if (fd < 0) Fail(errno);
  return FromFd(fd);
}

bool Bind(SocketHandle s, const sockaddr_in* address) {
  // On Linux SO_REUSEADDR only lets a new listener bind while connections of an old
  // one linger in TIME_WAIT (a restarted service); it never lets two sockets listen
  // on the same port, so a port in use still fails.
  int on = 1;
  setsockopt(Fd(s), SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
  if (bind(Fd(s), reinterpret_cast<const sockaddr*>(address), sizeof *address) != 0) return Fail(errno);
  return true;
}

bool Listen(SocketHandle s) {
  // A full queue of pending connections: bursts of clients are queued rather than
  // left retransmitting their connection requests.
  if (listen(Fd(s), SOMAXCONN) != 0) return Fail(errno);
  return true;
}

bool ResolveHost(const char* host, unsigned long* address) {
  in_addr_t dotted = inet_addr(host);
  if (dotted != INADDR_NONE) {
    *address = dotted;
    return true;
  }
  addrinfo hints;
  std::memset(&hints, 0, sizeof hints);
  hints.ai_family = AF_INET;
  hints.ai_socktype = SOCK_STREAM;
  addrinfo* found = nullptr;
  if (getaddrinfo(host, nullptr, &hints, &found) != 0 || !found) return Fail(EINVAL);
  *address = reinterpret_cast<const sockaddr_in*>(found->ai_addr)->sin_addr.s_addr;
  freeaddrinfo(found);
  return true;
}

bool Connect(SocketHandle s, const sockaddr_in* address) {
  if (connect(Fd(s), reinterpret_cast<const sockaddr*>(address), sizeof *address) == 0) return true;
  if (errno != EINTR) return Fail(errno);
  // Interrupted by a signal: the connection goes on in the background; wait for it.
  pollfd p{Fd(s), POLLOUT, 0};
  while (poll(&p, 1, -1) < 0) {
    if (errno != EINTR) return Fail(errno);
  }
  int error = 0;
  socklen_t length = sizeof error;
  if (getsockopt(Fd(s), SOL_SOCKET, SO_ERROR, &error, &length) != 0) return Fail(errno);
  if (error != 0) return Fail(error);
  return true;
}

SocketHandle AcceptOne(SocketHandle s, sockaddr_in* peer) {
  for (;;) {
    socklen_t length = sizeof *peer;
    int fd = accept4(Fd(s), reinterpret_cast<sockaddr*>(peer), &length, SOCK_CLOEXEC);
    if (fd >= 0) return FromFd(fd);
    if (errno != EINTR) {
      Fail(errno);
      return kInvalidSocket;
    }
  }
}

int WaitReadable(SocketHandle s, int milliseconds) {
  pollfd p{Fd(s), POLLIN, 0};
  int n = poll(&p, 1, milliseconds);
  if (n < 0) {
    // A signal cut the wait short: the caller looks again, as after a time-out.
    if (errno == EINTR) return 0;
    Fail(errno);
    return -1;
  }
  return n > 0 ? 1 : 0;
}

int SendSome(SocketHandle s, const char* data, int length) {
  for (;;) {
    // MSG_NOSIGNAL: a peer that went away gives an error, not SIGPIPE.
    ssize_t n = send(Fd(s), data, static_cast<size_t>(length), MSG_NOSIGNAL);
    if (n >= 0) return static_cast<int>(n);
    if (errno != EINTR) {
      Fail(errno);
      return -1;
    }
  }
}

int ReceiveSome(SocketHandle s, char* buffer, int size, bool waitAll) {
  for (;;) {
    ssize_t n = recv(Fd(s), buffer, static_cast<size_t>(size), waitAll ? MSG_WAITALL : 0);
    if (n >= 0) return static_cast<int>(n);
    if (errno != EINTR) {
      Fail(errno);
      return -1;
    }
  }
}

bool SetReceiveTimeout(SocketHandle s, int milliseconds) {
  timeval t;
  t.tv_sec = milliseconds / 1000;
  t.tv_usec = (milliseconds % 1000) * 1000;
  if (setsockopt(Fd(s), SOL_SOCKET, SO_RCVTIMEO, &t, sizeof t) != 0) return Fail(errno);
  return true;
}

void CloseSocket(SocketHandle s) { close(Fd(s)); }

}  // namespace sockos
