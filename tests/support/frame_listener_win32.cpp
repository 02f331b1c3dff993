#include <winsock2.h>
#include <ws2tcpip.h>

#include "tests/support/frame_listener.h"

namespace testsupport {
namespace net {

namespace {
bool Readable(SOCKET s, int timeoutMs) {
  fd_set set;
  FD_ZERO(&set);
  FD_SET(s, &set);
  timeval tv{timeoutMs / 1000, (timeoutMs % 1000) * 1000};
  return select(0, &set, nullptr, nullptr, &tv) > 0;
}

void StartWinsock() {
  static bool started = [] {
    WSADATA data;
    return WSAStartup(MAKEWORD(2, 2), &data) == 0;
  }();
  (void)started;
}
}  // namespace

std::intptr_t ListenLoopback(int* port) {
  StartWinsock();
  SOCKET s = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
  if (s == INVALID_SOCKET) return -1;
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  a.sin_port = 0;
  int len = sizeof a;
  if (bind(s, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0 || listen(s, 16) != 0 ||
      getsockname(s, reinterpret_cast<sockaddr*>(&a), &len) != 0) {
    closesocket(s);
    return -1;
  }
  *port = ntohs(a.sin_port);
  return static_cast<std::intptr_t>(s);
}

std::intptr_t AcceptWithin(std::intptr_t listener, int timeoutMs) {
  SOCKET l = static_cast<SOCKET>(listener);
  if (!Readable(l, timeoutMs)) return -1;
  SOCKET s = accept(l, nullptr, nullptr);
  return s == INVALID_SOCKET ? -1 : static_cast<std::intptr_t>(s);
}

int ReceiveWithin(std::intptr_t socket, char* buffer, int size, int timeoutMs) {
  SOCKET s = static_cast<SOCKET>(socket);
  if (!Readable(s, timeoutMs)) return -2;
  int n = recv(s, buffer, size, 0);
  return n < 0 ? -1 : n;
}

void CloseSocket(std::intptr_t socket) { closesocket(static_cast<SOCKET>(socket)); }

}  // namespace net
}  // namespace testsupport
