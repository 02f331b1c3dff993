// The IPv4 address type and byte-order helpers (sockaddr_in, htons, htonl, ntohl,
// INADDR_ANY): the same names on every system, declared by Winsock's header on Windows
// and by the BSD socket headers elsewhere.
#pragma once

#ifdef _WIN32
#include <winsock2.h>
#else
#include <arpa/inet.h>
#include <netinet/in.h>
#endif
