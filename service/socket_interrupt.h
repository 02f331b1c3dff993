// Waking a thread that is blocked receiving on a connection, so that a stopping
// service does not wait for silent clients to time out.
#pragma once

#include "transport/socket.h"

// Shuts the connection down in both directions; a blocked receive then returns.
void InterruptSocket(SocketHandle handle);
