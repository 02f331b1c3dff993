// The studio's HTTP server (cpp-httplib): every request goes to StudioApi; the server
// caps the request size, times out slow clients, and takes requests only for the
// address it serves (a page elsewhere cannot reach it through a name that points here).
#pragma once

#include <atomic>
#include <memory>
#include <string>

#include "studio/studio_api.h"

namespace studio {
constexpr int kReadTimeoutSeconds = 5;   // a client that sends nothing for this long is dropped
constexpr int kWriteTimeoutSeconds = 5;  // a client that takes nothing for this long is dropped
constexpr int kKeepAliveSeconds = 5;
}  // namespace studio

class StudioServer {
 public:
  // allowRemote: any Host header is taken (the studio then serves other machines).
  StudioServer(const StudioOptions& options, bool allowRemote);
  ~StudioServer();

  // Binds host:port (port 0: a free port). False with a reason.
  bool Bind(const std::string& host, int port, std::string* error);
  int Port() const { return port_; }
  // Serves until Stop (from another thread or a signal handler's thread).
  bool Run();
  void Stop();

 private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
  int port_ = 0;
  std::atomic<bool> runStarted_{false};
  std::atomic<bool> runEnded_{false};
  std::atomic<bool> stopRequested_{false};
};

// Whether a request with these headers is for this studio: Host names the served
// address (any, with allowRemote); an Origin, when present, is that same address
// (a page of another site posting here sends its own).
bool RequestIsForStudio(const std::string& hostHeader, const std::string& originHeader, int port,
                        bool allowRemote);

// Whether a tervane studio answers at host:port (its /api/info names the program): a
// second start with --open, as from the Start-menu shortcut, then opens the browser at
// the studio that already runs instead of failing on the taken port.
bool StudioServesAt(const std::string& host, int port);
