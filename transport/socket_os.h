// The system calls behind CSocket, one implementation per system (socket_win32.cpp,
// socket_posix.cpp). Failing calls leave their code as the thread's last system error.
#pragma once

#include "transport/socket.h"  // SocketHandle, SocketLibraryInfo, sockaddr_in

namespace sockos {

bool Start(SocketLibraryInfo* info);  // once per listening or connecting socket
SocketHandle Create();                // TCP over IPv4
bool Bind(SocketHandle s, const sockaddr_in* address);
bool Listen(SocketHandle s);
// A dotted IPv4 address as it is; otherwise a name lookup, its first IPv4 address.
// The result is in network byte order.
bool ResolveHost(const char* host, unsigned long* address);
bool Connect(SocketHandle s, const sockaddr_in* address);
SocketHandle AcceptOne(SocketHandle s, sockaddr_in* peer);
// Waits up to milliseconds for a connection to accept (or anything else to read):
// 1 when one is there, 0 when the time passed, -1 on error.
int WaitReadable(SocketHandle s, int milliseconds);
int SendSome(SocketHandle s, const char* data, int length);
// One receive call (with MSG_WAITALL when waitAll), repeated when a signal interrupts
// it before any byte arrived.
int ReceiveSome(SocketHandle s, char* buffer, int size, bool waitAll);
bool SetReceiveTimeout(SocketHandle s, int milliseconds);
void CloseSocket(SocketHandle s);

}  // namespace sockos
