// Winsock 2 calls of CSocket.
#include <winsock2.h>

#include <cstring>
#include <type_traits>

#include "transport/socket_os.h"

// Winsock's SOCKET is the portable SocketHandle, so handles pass unchanged.
static_assert(std::is_same<SOCKET, SocketHandle>::value, "SOCKET is a pointer-sized unsigned");
static_assert(INVALID_SOCKET == kInvalidSocket, "INVALID_SOCKET is all bits set");

namespace sockos {

bool Start(SocketLibraryInfo* info) {
  // Winsock 2.0; never cleaned up, so the library stays started until the process ends.
  WSADATA data;
  if (WSAStartup(MAKEWORD(2, 0), &data) != 0) return false;
  info->version = data.wVersion;
  info->highVersion = data.wHighVersion;
  return true;
}

SOCKET Create() { return socket(AF_INET, SOCK_STREAM, IPPROTO_TCP); }

bool Bind(SOCKET s, const sockaddr_in* address) {
  return bind(s, reinterpret_cast<const sockaddr*>(address), sizeof *address) == 0;
}

bool Listen(SOCKET s) {
  // A full queue of pending connections: bursts of clients are queued rather than
  // refused or left retransmitting their connection requests.
  return listen(s, SOMAXCONN) == 0;
}

bool ResolveHost(const char* host, unsigned long* address) {
  unsigned long dotted = inet_addr(host);
  if (dotted != INADDR_NONE) {
    *address = dotted;
    return true;
  }
  hostent* entry = gethostbyname(host);
  if (!entry || entry->h_addrtype != AF_INET || !entry->h_addr_list || !entry->h_addr_list[0]) {
    return false;
  }
  in_addr first;
  std::memcpy(&first, entry->h_addr_list[0], sizeof first);
  *address = first.s_addr;
  return true;
}

bool Connect(SOCKET s, const sockaddr_in* address) {
  return connect(s, reinterpret_cast<const sockaddr*>(address), sizeof *address) == 0;
}

SOCKET AcceptOne(SOCKET s, sockaddr_in* peer) {
  int length = sizeof *peer;
  return accept(s, reinterpret_cast<sockaddr*>(peer), &length);
}

int WaitReadable(SOCKET s, int milliseconds) {
  fd_set readable;
  FD_ZERO(&readable);
  FD_SET(s, &readable);
  timeval wait;
  wait.tv_sec = milliseconds / 1000;
  wait.tv_usec = (milliseconds % 1000) * 1000;
  int n = select(0, &readable, nullptr, nullptr, &wait);
  if (n == SOCKET_ERROR) return -1;
  return n > 0 ? 1 : 0;
}

int SendSome(SOCKET s, const char* data, int length) { return send(s, data, length, 0); }

int ReceiveSome(SOCKET s, char* buffer, int size, bool waitAll) {
  return recv(s, buffer, size, waitAll ? MSG_WAITALL : 0);
}

bool SetReceiveTimeout(SOCKET s, int milliseconds) {
  DWORD value = static_cast<DWORD>(milliseconds);
  return setsockopt(s, SOL_SOCKET, SO_RCVTIMEO, reinterpret_cast<const char*>(&value),
                    sizeof value) == 0;
}

void CloseSocket(SOCKET s) { closesocket(s); }

}  // namespace sockos
