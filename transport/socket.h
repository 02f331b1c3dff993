// CSocket: a thin blocking TCP wrapper (Winsock 2 on Windows, BSD sockets elsewhere)
// and CSocketException, the value thrown for set-up and connection failures.
#pragma once

#include "transport/socket_types.h"  // SOCKET, WSADATA, sockaddr_in

class CSocketException {
 public:
  explicit CSocketException(const char* text);
  ~CSocketException() {}
  const char* Text() const { return message; }

  char message[128];
};

class CSocket {
 public:
  explicit CSocket(int port);               // listening: Startup, bind, listen
  CSocket(const char* host, int port);      // connecting: resolve and connect
  explicit CSocket(SOCKET acceptedHandle);  // accepted: stores the handle only
  ~CSocket();

  void Startup(int port);
  CSocket* Accept();  // null when accept fails
  int Send(const void* data, int length);
  int Receive(void* buffer, int size, bool waitAll);
  void Close();

  SOCKET handle;
  WSADATA wsaData;
  sockaddr_in address;
};
