#include <arpa/inet.h>
#include <sys/socket.h>

#include "studio/listen_address.h"

bool IsLoopbackHost(const std::string& host) {
  if (host == "localhost" || host == "::1") return true;
  in_addr v4;
  return inet_pton(AF_INET, host.c_str(), &v4) == 1 && (ntohl(v4.s_addr) >> 24) == 127;
}

void ListenAlone(std::uintptr_t socket) {
  // SO_REUSEADDR lets a new listener bind while connections of the last one are in
  // TIME_WAIT; unlike SO_REUSEPORT it never lets two listeners share the address.
  int on = 1;
  setsockopt(static_cast<int>(socket), SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
}
