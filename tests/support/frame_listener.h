// A real TCP listener on the loopback address for tests of the label client: it
// accepts connections one after another and keeps each connection's whole byte stream.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace testsupport {

class FrameListener {
 public:
  // Listens on 127.0.0.1 at a port the system picks. A listener that does not read
  // closes every connection at once, unread: the sender's later sends then fail.
  explicit FrameListener(bool readConnections = true);
  ~FrameListener();
  FrameListener(const FrameListener&) = delete;
  FrameListener& operator=(const FrameListener&) = delete;

  bool Listening() const { return listener_ != -1; }
  int Port() const { return port_; }

  // The byte streams of the connections closed so far, in order of arrival. Waits up
  // to timeoutMs until at least count of them are complete, then a short while for
  // any straggler, so that a test can also check that no more arrived.
  std::vector<std::string> Connections(std::size_t count, int timeoutMs = 15000);

 private:
  void Serve();

  bool read_;
  std::intptr_t listener_ = -1;
  int port_ = 0;
  std::atomic<bool> stop_{false};
  std::mutex mutex_;
  std::vector<std::string> connections_;
  std::thread thread_;
};

// The wire frame of a label job: 4-byte little-endian length, then the bytes.
std::string WireFrame(const std::string& job);

// A loopback port on which nothing listens (connections are refused).
int UnusedPort();

// The minimal socket calls the listener needs, one implementation per system.
namespace net {
std::intptr_t ListenLoopback(int* port);                 // -1 on failure
std::intptr_t AcceptWithin(std::intptr_t listener, int timeoutMs);  // -1 when none
int ReceiveWithin(std::intptr_t socket, char* buffer, int size, int timeoutMs);  // -2: time-out
void CloseSocket(std::intptr_t socket);
}  // namespace net

}  // namespace testsupport
