// The virtual printer's TCP calls, one implementation per system
// (printer_socket_posix.cpp, printer_socket_win32.cpp): listening on one address, and
// blocking receives that another thread can cut short.
#pragma once

#include <cstddef>
#include <string>

#include "transport/socket.h"  // SocketHandle, kInvalidSocket

namespace printersock {

// Listens on host:port (port 0: a free port); the port bound in *boundPort. Returns
// kInvalidSocket with a reason.
SocketHandle Listen(const std::string& host, int port, int* boundPort, std::string* error);
// Waits for a connection; its sender "ADDRESS:PORT" in *peer. kInvalidSocket once the
// listener is woken or closed.
SocketHandle Accept(SocketHandle listener, std::string* peer);
// One receive: the bytes delivered, 0 when the peer closed or the socket was woken, -1 on error.
int Receive(SocketHandle s, char* buffer, int size);
// Sends all of it; false when the peer is gone.
bool SendAll(SocketHandle s, const char* data, std::size_t length);
// Ends a blocked Accept from another thread; CloseListener then frees the listener.
void StopListening(SocketHandle listener);
void CloseListener(SocketHandle listener);
// Ends a blocked Receive on a connection from another thread; Close then frees it.
void Wake(SocketHandle s);
void Close(SocketHandle s);

}  // namespace printersock
