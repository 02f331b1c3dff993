// CSocket: a thin blocking TCP wrapper (Winsock 2 on Windows, BSD sockets elsewhere)
// and CSocketException, the value thrown for set-up and connection failures.
#pragma once

#include <cstdint>

#include "transport/inet_address.h"  // sockaddr_in, htons, ntohl

// The system's socket: a Winsock SOCKET or a POSIX descriptor, held as an unsigned,
// pointer-sized integer (Winsock's own form, which also keeps CSocket(int port) and
// CSocket(SocketHandle) distinct overloads).
typedef std::uintptr_t SocketHandle;
// No socket: INVALID_SOCKET on Windows, no descriptor on POSIX systems.
constexpr SocketHandle kInvalidSocket = ~static_cast<SocketHandle>(0);

// What starting the socket library reported: the version in use and the highest one
// it offers (Winsock 2.0; on POSIX systems, where nothing is started, the same).
struct SocketLibraryInfo {
  unsigned short version;
  unsigned short highVersion;
};

class CSocketException {
 public:
  explicit CSocketException(const char* text);
  ~CSocketException() {}
  const char* Text() const { return message; }

  char message[128];
};

class CSocket {
 public:
  // Listening: Startup, bind to all local addresses, listen. Throws "bind() failed",
  // "accept() failed" (listen refused), or Startup's texts.
  explicit CSocket(int port);
  // Connecting: a dotted IPv4 address is used as it is, anything else is looked up and
  // its first IPv4 address used. Throws "Invalid parameters" (null host), "Unable to
  // solve this address", "connect() failed", or Startup's texts.
  CSocket(const char* host, int port);
  explicit CSocket(SocketHandle acceptedHandle);  // accepted: stores the handle only
  ~CSocket();

  // Starts the socket library, creates the TCP socket and prepares address for port.
  // Throws "WSAStartup() failed" or "socket() failed".
  void Startup(int port);
  // Blocks until a client connects; a new CSocket owned by the caller, null on failure.
  // The client's IPv4 address is kept in the new socket's peerAddress.
  CSocket* Accept();
  // Waits up to milliseconds for a client to accept: 1 when one is waiting (Accept
  // then returns at once), 0 when the time passed, -1 on error.
  int WaitForClient(int milliseconds);
  // One send call: the bytes it accepted, or -1 (also for null data or length <= 0).
  int Send(const void* data, int length);
  // One receive: the bytes delivered, 0 when the peer closed, -1 on error (also for a
  // null buffer or size <= 0). With waitAll it returns only when size bytes arrived,
  // the peer closed, the receive time-out passed or an error occurred; a count below
  // size then says how many came before that.
  int Receive(void* buffer, int size, bool waitAll);
  // Closes handle unless it is already closed; safe to call twice.
  void Close();

  // Receives give up after milliseconds without data (0: wait for ever). False when
  // the system refuses the option.
  bool SetReceiveTimeout(int milliseconds);

  SocketHandle handle;
  SocketLibraryInfo wsaData;
  sockaddr_in address;
  // Accepted socket: the client's IPv4 address in host byte order (0 otherwise).
  unsigned long peerAddress;
};
