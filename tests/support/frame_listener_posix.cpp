#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include "tests/support/frame_listener.h"

namespace testsupport {
namespace net {

namespace {
bool Readable(int fd, int timeoutMs) {
  pollfd p{fd, POLLIN, 0};
  return poll(&p, 1, timeoutMs) > 0;
}
}  // namespace

std::intptr_t ListenLoopback(int* port) {
  int fd = socket(AF_INET, SOCK_STREAM, 0);
  if (fd < 0) return -1;
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  a.sin_port = 0;
  socklen_t len = sizeof a;
  if (bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0 || listen(fd, 16) != 0 ||
      getsockname(fd, reinterpret_cast<sockaddr*>(&a), &len) != 0) {
    close(fd);
    return -1;
  }
  *port = ntohs(a.sin_port);
  return fd;
}

std::intptr_t AcceptWithin(std::intptr_t listener, int timeoutMs) {
  if (!Readable(static_cast<int>(listener), timeoutMs)) return -1;
  int fd = accept(static_cast<int>(listener), nullptr, nullptr);
  return fd < 0 ? -1 : fd;
}

int ReceiveWithin(std::intptr_t socket, char* buffer, int size, int timeoutMs) {
  if (!Readable(static_cast<int>(socket), timeoutMs)) return -2;
  ssize_t n = recv(static_cast<int>(socket), buffer, static_cast<size_t>(size), 0);
  return n < 0 ? -1 : static_cast<int>(n);
}

void CloseSocket(std::intptr_t socket) { close(static_cast<int>(socket)); }

}  // namespace net
}  // namespace testsupport
