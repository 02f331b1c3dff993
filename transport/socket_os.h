// The system calls behind CSocket, one implementation per system (socket_win32.cpp,
// socket_posix.cpp). Failing calls leave their code as the thread's last system error.
#pragma once

#include "transport/socket_types.h"

namespace sockos {

bool Start(WSADATA* data);  // once per listening or connecting socket
SOCKET Create();            // TCP over IPv4
bool Bind(SOCKET s, const sockaddr_in* address);
bool Listen(SOCKET s);
// A dotted IPv4 address as it is; otherwise a name lookup, its first IPv4 address.
// The result is in network byte order.
bool ResolveHost(const char* host, unsigned long* address);
bool Connect(SOCKET s, const sockaddr_in* address);
SOCKET AcceptOne(SOCKET s, sockaddr_in* peer);
int SendSome(SOCKET s, const char* data, int length);
// One receive call (with MSG_WAITALL when waitAll), repeated when a signal interrupts
// it before any byte arrived.
int ReceiveSome(SOCKET s, char* buffer, int size, bool waitAll);
bool SetReceiveTimeout(SOCKET s, int milliseconds);
void CloseSocket(SOCKET s);

}  // namespace sockos
