#include <winsock2.h>

#include "service/socket_interrupt.h"

void InterruptSocket(SOCKET handle) { shutdown(handle, SD_BOTH); }
