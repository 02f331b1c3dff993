#include "studio/studio_server.h"

#include <httplib.h>
#include <nlohmann/json.hpp>

#include <chrono>
#include <exception>
#include <thread>

#include "studio/listen_address.h"

namespace {

// Worker threads: renderings run side by side, and the page is served meanwhile.
constexpr std::size_t kWorkers = 8;

void Send(const ApiReply& reply, httplib::Response& res) {
  res.status = reply.status;
  res.set_content(reply.body, reply.contentType.c_str());
  res.set_header("Cache-Control", "no-store");
  res.set_header("X-Content-Type-Options", "nosniff");
}

std::string ErrorText(int status) {
  switch (status) {
    case 400: return "the request is not HTTP the studio reads";
    case 404: return "nothing here";
    case 408: return "the request took too long to arrive";
    case 413: return "the request is larger than the studio takes (" + std::to_string(studio::kMaxBodyBytes) +
                     " bytes of body at most)";
    case 414: return "the request line is too long";
    default: return "the request failed";
  }
}

}  // namespace

bool RequestIsForStudio(const std::string& hostHeader, const std::string& originHeader, int port,
                        bool allowRemote) {
  bool hostOk = allowRemote;
  for (const char* name : {"127.0.0.1", "localhost", "::1"}) {
    const std::string full = HostPortText(name, port);
    const std::string bare = full.substr(0, full.rfind(':'));  // a browser leaves out port 80
    if (hostHeader == full || (port == 80 && hostHeader == bare)) hostOk = true;
  }
  if (!hostOk || hostHeader.empty()) return false;
  return originHeader.empty() || originHeader == "http://" + hostHeader;
}

bool StudioServesAt(const std::string& host, int port) {
  httplib::Client client(host, port);
  client.set_connection_timeout(2, 0);
  client.set_read_timeout(2, 0);
  client.set_write_timeout(2, 0);
  const httplib::Result result = client.Get("/api/info");
  if (!result || result->status != 200) return false;
  // Whatever answers there, bad JSON or a field of another type is simply not a studio.
  const nlohmann::json info = nlohmann::json::parse(result->body, nullptr, false);
  const auto program = info.find("program");
  return program != info.end() && *program == "tervane-studio";
}

struct StudioServer::Impl {
  Impl(const StudioOptions& options, bool remote) : api(options), allowRemote(remote) {}
  StudioApi api;
  bool allowRemote;
  httplib::Server server;
};

StudioServer::StudioServer(const StudioOptions& options, bool allowRemote)
    : impl_(new Impl(options, allowRemote)) {
  httplib::Server& server = impl_->server;
  server.new_task_queue = [] { return new httplib::ThreadPool(kWorkers); };
  // httplib's own options let a second studio share the port (SO_REUSEPORT).
  server.set_socket_options([](socket_t socket) { ListenAlone(static_cast<std::uintptr_t>(socket)); });
  server.set_payload_max_length(studio::kMaxBodyBytes);
  server.set_read_timeout(studio::kReadTimeoutSeconds, 0);
  server.set_write_timeout(studio::kWriteTimeoutSeconds, 0);
  server.set_keep_alive_timeout(studio::kKeepAliveSeconds);
  server.set_keep_alive_max_count(100);
  // No other site's page may show the studio in a frame (and trick a click on Print).
  // Default headers go on every answer, httplib's own error answers included.
  server.set_default_headers({{"Content-Security-Policy", "frame-ancestors 'none'"}, {"X-Frame-Options", "DENY"}});

  Impl* impl = impl_.get();
  // The pre-routing handler runs once the headers are read and before the body is.
  server.set_pre_routing_handler([impl, this](const httplib::Request& req, httplib::Response& res) {
    // httplib 0.11 reads a chunked body without its size limit: any transfer coding is
    // refused unread, so a body always comes with a Content-Length that the limit checks.
    if (req.has_header("Transfer-Encoding")) {
      Send(ErrorReply(413, "send the body with a Content-Length of at most " + std::to_string(studio::kMaxBodyBytes) +
                               " bytes; the studio takes no Transfer-Encoding"),
           res);
      return httplib::Server::HandlerResponse::Handled;
    }
    // Without a Content-Length httplib reads a POST, PUT or PATCH body to the end of the
    // connection, also without the limit: only GET, HEAD and DELETE (whose body httplib
    // reads only with a Content-Length) may come without one.
    if (!req.has_header("Content-Length") && req.method != "GET" && req.method != "HEAD" &&
        req.method != "DELETE") {
      Send(ErrorReply(411, "send the body with a Content-Length of at most " + std::to_string(studio::kMaxBodyBytes) +
                               " bytes"),
           res);
      return httplib::Server::HandlerResponse::Handled;
    }
    const std::string origin = req.get_header_value("Origin");
    if (RequestIsForStudio(req.get_header_value("Host"), origin, port_, impl->allowRemote)) {
      return httplib::Server::HandlerResponse::Unhandled;
    }
    Send(ErrorReply(403, "this studio serves http://" + HostPortText("127.0.0.1", port_) +
                             "/ only; the request names another address or comes from another site's page"),
         res);
    return httplib::Server::HandlerResponse::Handled;
  });
  auto handle = [impl](const httplib::Request& req, httplib::Response& res) {
    ApiRequest request;
    request.method = req.method;
    request.path = req.path;
    request.contentType = req.get_header_value("Content-Type");
    request.body = req.body;
    Send(impl->api.Handle(request), res);
  };
  server.Get(".*", handle);
  server.Post(".*", handle);
  server.Put(".*", handle);
  server.Patch(".*", handle);
  server.Delete(".*", handle);
  server.Options(".*", handle);
  server.set_error_handler([](const httplib::Request&, httplib::Response& res) {
    if (res.body.empty()) Send(ErrorReply(res.status, ErrorText(res.status)), res);
  });
  server.set_exception_handler([](const httplib::Request&, httplib::Response& res, std::exception_ptr ep) {
    std::string what = "unknown";
    try {
      if (ep) std::rethrow_exception(ep);
    } catch (const std::exception& e) {
      what = e.what();
    } catch (...) {
    }
    Send(ErrorReply(500, "the request failed inside the studio: " + what), res);
  });
}

StudioServer::~StudioServer() = default;

bool StudioServer::Bind(const std::string& host, int port, std::string* error) {
  httplib::Server& server = impl_->server;
  if (port == 0) {
    port_ = server.bind_to_any_port(host);
    if (port_ <= 0) {
      *error = "cannot listen on " + host + " (no free port)";
      return false;
    }
    return true;
  }
  if (!server.bind_to_port(host, port)) {
    *error = "cannot listen on " + HostPortText(host, port) + " (in use, or not an address of this machine)";
    return false;
  }
  port_ = port;
  return true;
}

// httplib's stop() does nothing until the server is running, so a stop that comes
// early (a signal right after the address is printed) would be lost. Stop therefore
// waits until Run serves, or Run sees the request and does not start.
bool StudioServer::Run() {
  runStarted_ = true;
  bool ok = true;
  if (!stopRequested_) ok = impl_->server.listen_after_bind();
  runEnded_ = true;
  return ok;
}

void StudioServer::Stop() {
  stopRequested_ = true;
  if (!runStarted_) return;  // Run has not begun: it sees the request and returns
  while (!runEnded_ && !impl_->server.is_running())
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  if (!runEnded_) impl_->server.stop();
}
