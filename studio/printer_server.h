// The virtual printer's network side: listens as a network label printer does (raw TCP,
// 9100 by convention), one thread per connection up to kMaxConnections (more wait in the
// system's queue until one ends), each connection read by a PrinterSession.
#pragma once

#include <condition_variable>
#include <list>
#include <mutex>
#include <string>
#include <thread>

#include "studio/printer_log.h"
#include "studio/printer_stream.h"
#include "transport/socket.h"

namespace studio {
constexpr int kMaxConnections = 16;
}  // namespace studio

class PrinterServer {
 public:
  PrinterServer(PrinterLog* log, const PrinterProfile& profile) : log_(log), profile_(profile) {}
  ~PrinterServer() { Stop(); }
  PrinterServer(const PrinterServer&) = delete;
  PrinterServer& operator=(const PrinterServer&) = delete;

  // Listens on host:port (0: a free port) and starts taking connections. False with a reason.
  bool Start(const std::string& host, int port, std::string* error);
  int Port() const { return port_; }
  // Closes the listener and every connection (text still without a print command is
  // logged as incomplete) and waits for their threads.
  void Stop();

 private:
  struct Connection {
    SocketHandle socket = kInvalidSocket;
    std::string peer;
    std::thread thread;
    bool done = false;
  };
  void AcceptLoop();
  void Serve(Connection* connection);
  void ReapDone();  // joins the threads of ended connections; mutex_ held

  PrinterLog* log_;
  PrinterProfile profile_;
  SocketHandle listener_ = kInvalidSocket;
  int port_ = 0;
  std::thread acceptThread_;
  std::mutex mutex_;
  std::condition_variable slotFree_;
  std::list<Connection> connections_;
  int active_ = 0;
  bool stopping_ = false;
};
