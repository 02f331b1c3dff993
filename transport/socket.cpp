// Portable part of CSocket and CSocketException: the set-up sequence with its fixed
// texts, the argument checks of Send and Receive, and the wait-all receive.
#include "transport/socket.h"

#include <cstdio>
#include <cstring>
#include <new>

#include "transport/socket_os.h"

namespace {
// A port number outside 0..65535 would be cut to 16 bits and reach another port.
bool ValidPort(int port) { return port >= 0 && port <= 65535; }
}  // namespace

CSocketException::CSocketException(const char* text) {
  std::snprintf(message, sizeof message, "%s", text ? text : "");
}

CSocket::CSocket(int port) : handle(kInvalidSocket), peerAddress(0) {
  Startup(port);
  if (!ValidPort(port) || !sockos::Bind(handle, &address)) {
    Close();
    throw CSocketException("bind() failed");
  }
  if (!sockos::Listen(handle)) {
    Close();
    // The text names accept although listen failed; callers and logs know it so.
    throw CSocketException("accept() failed");
  }
}

CSocket::CSocket(const char* host, int port) : handle(kInvalidSocket), peerAddress(0) {
  if (!host) throw CSocketException("Invalid parameters");
  Startup(port);
  unsigned long resolved = 0;
  if (!sockos::ResolveHost(host, &resolved)) {
    Close();
    throw CSocketException("Unable to solve this address");
  }
  address.sin_addr.s_addr = static_cast<decltype(address.sin_addr.s_addr)>(resolved);
  if (!ValidPort(port) || !sockos::Connect(handle, &address)) {
    Close();
    throw CSocketException("connect() failed");
  }
}

CSocket::CSocket(SocketHandle acceptedHandle) : handle(acceptedHandle), peerAddress(0) {}

CSocket::~CSocket() { Close(); }

void CSocket::Startup(int port) {
  if (!sockos::Start(&wsaData)) throw CSocketException("WSAStartup() failed");
  handle = sockos::Create();
  if (handle == kInvalidSocket) throw CSocketException("socket() failed");
  std::memset(&address, 0, sizeof address);
  address.sin_family = AF_INET;
  address.sin_port = htons(static_cast<unsigned short>(port));
  address.sin_addr.s_addr = htonl(INADDR_ANY);
}

CSocket* CSocket::Accept() {
  sockaddr_in peer;
  std::memset(&peer, 0, sizeof peer);
  SocketHandle accepted = sockos::AcceptOne(handle, &peer);
  if (accepted == kInvalidSocket) return nullptr;
  CSocket* connection = new (std::nothrow) CSocket(accepted);
  if (!connection) {
    sockos::CloseSocket(accepted);
    return nullptr;
  }
  connection->peerAddress = ntohl(peer.sin_addr.s_addr);
  return connection;
}

int CSocket::WaitForClient(int milliseconds) {
  if (handle == kInvalidSocket || milliseconds < 0) return -1;
  return sockos::WaitReadable(handle, milliseconds);
}

int CSocket::Send(const void* data, int length) {
  if (!data || length <= 0) return -1;
  return sockos::SendSome(handle, static_cast<const char*>(data), length);
}

int CSocket::Receive(void* buffer, int size, bool waitAll) {
  if (!buffer || size <= 0) return -1;
  char* out = static_cast<char*>(buffer);
  if (!waitAll) return sockos::ReceiveSome(handle, out, size, false);

  // MSG_WAITALL may still come back early (a signal, a receive time-out); go on until
  // size bytes are in, the peer closes or an error occurs.
  int total = 0;
  while (total < size) {
    int n = sockos::ReceiveSome(handle, out + total, size - total, true);
    if (n < 0) return total > 0 ? total : -1;
    if (n == 0) break;
    total += n;
  }
  return total;
}

void CSocket::Close() {
  if (handle == kInvalidSocket) return;
  sockos::CloseSocket(handle);
  handle = kInvalidSocket;
}

bool CSocket::SetReceiveTimeout(int milliseconds) {
  if (milliseconds < 0 || handle == kInvalidSocket) return false;
  return sockos::SetReceiveTimeout(handle, milliseconds);
}
