#include "tests/support/frame_listener.h"

#include <chrono>

namespace testsupport {

FrameListener::FrameListener(bool readConnections) : read_(readConnections) {
  listener_ = net::ListenLoopback(&port_);
  if (listener_ != -1) thread_ = std::thread([this] { Serve(); });
}

FrameListener::~FrameListener() {
  stop_ = true;
  if (thread_.joinable()) thread_.join();
  if (listener_ != -1) net::CloseSocket(listener_);
}

void FrameListener::Serve() {
  while (!stop_) {
    std::intptr_t connection = net::AcceptWithin(listener_, 50);
    if (connection == -1) continue;
    std::string bytes;
    char buffer[65536];
    // Read until the peer closes; give up on a peer that stays silent for 20 s.
    auto lastData = std::chrono::steady_clock::now();
    while (read_ && !stop_) {
      int n = net::ReceiveWithin(connection, buffer, sizeof buffer, 50);
      if (n == -2) {
        if (std::chrono::steady_clock::now() - lastData > std::chrono::seconds(20)) break;
        continue;
      }
      if (n <= 0) break;
      bytes.append(buffer, static_cast<std::size_t>(n));
      lastData = std::chrono::steady_clock::now();
    }
    net::CloseSocket(connection);
    std::lock_guard<std::mutex> lock(mutex_);
    connections_.push_back(bytes);
  }
}

std::vector<std::string> FrameListener::Connections(std::size_t count, int timeoutMs) {
  auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
  for (;;) {
    {
      std::lock_guard<std::mutex> lock(mutex_);
      if (connections_.size() >= count) break;
    }
    if (std::chrono::steady_clock::now() > deadline) break;
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  std::this_thread::sleep_for(std::chrono::milliseconds(150));
  std::lock_guard<std::mutex> lock(mutex_);
  return connections_;
}

std::string WireFrame(const std::string& job) {
  std::string frame;
  std::uint32_t n = static_cast<std::uint32_t>(job.size());
  for (int i = 0; i < 4; ++i) frame.push_back(static_cast<char>((n >> (8 * i)) & 0xFF));
  return frame + job;
}

int UnusedPort() {
  int port = 0;
  std::intptr_t s = net::ListenLoopback(&port);
  if (s != -1) net::CloseSocket(s);
  return port;
}

}  // namespace testsupport
