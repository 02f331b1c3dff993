#include <sys/socket.h>

#include "service/socket_interrupt.h"

void InterruptSocket(SOCKET handle) { shutdown(static_cast<int>(handle), SHUT_RDWR); }
