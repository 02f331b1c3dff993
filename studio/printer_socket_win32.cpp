// Winsock calls of the virtual printer.
#include <winsock2.h>
#include <ws2tcpip.h>

#include <cstring>

#include "studio/listen_address.h"
#include "studio/printer_socket.h"

namespace printersock {

namespace {
SOCKET Sock(SocketHandle s) { return static_cast<SOCKET>(s); }

bool Started() {
  static const bool started = [] {
    WSADATA data;
    return WSAStartup(MAKEWORD(2, 2), &data) == 0;
  }();
  return started;
}
}  // namespace

SocketHandle Listen(const std::string& host, int port, int* boundPort, std::string* error) {
  if (!Started()) {
    *error = "WSAStartup failed";
    return kInvalidSocket;
  }
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
  SOCKET s = socket(found->ai_family, SOCK_STREAM, IPPROTO_TCP);
  if (s != INVALID_SOCKET) ListenAlone(static_cast<std::uintptr_t>(s));
  if (s == INVALID_SOCKET || bind(s, found->ai_addr, static_cast<int>(found->ai_addrlen)) != 0 ||
      listen(s, SOMAXCONN) != 0) {
    *error = "Winsock error " + std::to_string(WSAGetLastError());
    if (s != INVALID_SOCKET) closesocket(s);
    freeaddrinfo(found);
    return kInvalidSocket;
  }
  freeaddrinfo(found);
  sockaddr_storage bound;
  int length = sizeof bound;
  getsockname(s, reinterpret_cast<sockaddr*>(&bound), &length);
  *boundPort = ntohs(bound.ss_family == AF_INET6 ? reinterpret_cast<sockaddr_in6*>(&bound)->sin6_port
                                                 : reinterpret_cast<sockaddr_in*>(&bound)->sin_port);
  return static_cast<SocketHandle>(s);
}

SocketHandle Accept(SocketHandle listener, std::string* peer) {
  for (;;) {
    sockaddr_storage from;
    int length = sizeof from;
    const SOCKET s = accept(Sock(listener), reinterpret_cast<sockaddr*>(&from), &length);
    if (s == INVALID_SOCKET) {
      if (WSAGetLastError() == WSAECONNRESET) continue;
      return kInvalidSocket;
    }
    char host[NI_MAXHOST] = "?", port[NI_MAXSERV] = "?";
    getnameinfo(reinterpret_cast<sockaddr*>(&from), length, host, sizeof host, port, sizeof port,
                NI_NUMERICHOST | NI_NUMERICSERV);
    *peer = from.ss_family == AF_INET6 ? "[" + std::string(host) + "]:" + port : std::string(host) + ":" + port;
    return static_cast<SocketHandle>(s);
  }
}

int Receive(SocketHandle s, char* buffer, int size) {
  const int n = recv(Sock(s), buffer, size, 0);
  return n == SOCKET_ERROR ? -1 : n;
}

bool SendAll(SocketHandle s, const char* data, std::size_t length) {
  while (length > 0) {
    const int chunk = length > 65536 ? 65536 : static_cast<int>(length);
    const int n = send(Sock(s), data, chunk, 0);
    if (n <= 0) return false;
    data += n;
    length -= static_cast<std::size_t>(n);
  }
  return true;
}

// Winsock ends a blocked accept only when the listener is closed.
void StopListening(SocketHandle listener) { closesocket(Sock(listener)); }
void CloseListener(SocketHandle) {}
// shutdown ends a blocked recv of another thread.
void Wake(SocketHandle s) { shutdown(Sock(s), SD_BOTH); }
void Close(SocketHandle s) { closesocket(Sock(s)); }

}  // namespace printersock
