#include <winsock2.h>
#include <ws2tcpip.h>

#include "studio/listen_address.h"

bool IsLoopbackHost(const std::string& host) {
  if (host == "localhost" || host == "::1") return true;
  in_addr v4;
  return inet_pton(AF_INET, host.c_str(), &v4) == 1 && (ntohl(v4.s_addr) >> 24) == 127;
}

void ListenAlone(std::uintptr_t socket) {
  // Windows lets a socket with SO_REUSEADDR take an address another one listens on;
  // SO_EXCLUSIVEADDRUSE, set alone, refuses that.
  BOOL on = TRUE;
  setsockopt(static_cast<SOCKET>(socket), SOL_SOCKET, SO_EXCLUSIVEADDRUSE, reinterpret_cast<const char*>(&on),
             sizeof on);
}
