#include <sys/socket.h>

#include "service/socket_interrupt.h"

void InterruptSocket(SocketHandle handle) { shutdown(static_cast<int>(handle), SHUT_RDWR); }
