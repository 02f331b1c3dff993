#include <winsock2.h>

#include "service/socket_interrupt.h"

void InterruptSocket(SocketHandle handle) { shutdown(handle, SD_BOTH); }
