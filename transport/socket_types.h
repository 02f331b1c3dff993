// Socket types used by the portable transport code: Winsock's own on Windows; on POSIX
// systems an unsigned, pointer-sized SOCKET holding the descriptor (as on Windows, so
// CSocket(int port) and CSocket(SOCKET) stay distinct overloads), the same
// INVALID_SOCKET / SOCKET_ERROR values and a placeholder WSADATA (no library to start).
#pragma once

#ifdef _WIN32
#include <winsock2.h>
#else
#include <netinet/in.h>

#include <cstdint>

typedef std::uintptr_t SOCKET;
#define INVALID_SOCKET (~static_cast<SOCKET>(0))
#define SOCKET_ERROR (-1)

struct WSADATA {
  unsigned short wVersion;
  unsigned short wHighVersion;
};
#endif
