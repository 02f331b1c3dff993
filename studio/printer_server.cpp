#include "studio/printer_server.h"

#include <vector>

#include "studio/printer_session.h"
#include "studio/printer_socket.h"

bool PrinterServer::Start(const std::string& host, int port, std::string* error) {
  listener_ = printersock::Listen(host, port, &port_, error);
  if (listener_ == kInvalidSocket) return false;
  acceptThread_ = std::thread([this] { AcceptLoop(); });
  return true;
}

void PrinterServer::Stop() {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    if (stopping_ || listener_ == kInvalidSocket) return;
    stopping_ = true;
    printersock::StopListening(listener_);
    for (Connection& c : connections_) {
      if (!c.done) printersock::Wake(c.socket);
    }
  }
  slotFree_.notify_all();
  acceptThread_.join();
  printersock::CloseListener(listener_);
  std::list<Connection> left;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    left.swap(connections_);
  }
  for (Connection& c : left) c.thread.join();
}

void PrinterServer::ReapDone() {
  for (auto it = connections_.begin(); it != connections_.end();) {
    if (it->done) {
      it->thread.join();
      it = connections_.erase(it);
    } else {
      ++it;
    }
  }
}

void PrinterServer::AcceptLoop() {
  for (;;) {
    {
      // A connection is taken only when a thread is free for it; the others wait in the
      // listener's queue.
      std::unique_lock<std::mutex> lock(mutex_);
      slotFree_.wait(lock, [this] { return stopping_ || active_ < studio::kMaxConnections; });
      if (stopping_) return;
    }
    std::string peer;
    const SocketHandle s = printersock::Accept(listener_, &peer);
    std::lock_guard<std::mutex> lock(mutex_);
    if (s == kInvalidSocket) return;  // the listener was stopped (or failed)
    if (stopping_) {
      printersock::Close(s);
      return;
    }
    ReapDone();
    connections_.emplace_back();
    Connection* c = &connections_.back();
    c->socket = s;
    c->peer = peer;
    ++active_;
    c->thread = std::thread([this, c] { Serve(c); });
  }
}

void PrinterServer::Serve(Connection* connection) {
  PrinterSession session(log_, profile_, connection->peer);
  std::vector<char> buffer(64 * 1024);
  for (;;) {
    const int n = printersock::Receive(connection->socket, buffer.data(), static_cast<int>(buffer.size()));
    if (n <= 0) break;
    const std::string reply = session.Receive(std::string_view(buffer.data(), static_cast<std::size_t>(n)));
    if (!reply.empty() && !printersock::SendAll(connection->socket, reply.data(), reply.size())) break;
  }
  session.End();
  std::lock_guard<std::mutex> lock(mutex_);
  printersock::Close(connection->socket);
  connection->done = true;
  --active_;
  slotFree_.notify_all();
}
