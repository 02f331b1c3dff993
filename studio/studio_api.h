// The studio's request handling, apart from the HTTP server: the page's files and the
// JSON API (render a request or a label job with settings, read a barcode.ini as the
// client reads it, send a test label). Every reply is complete: a bad request gets a
// 4xx status and a JSON body {"error": "..."}.
#pragma once

#include <cstddef>
#include <string>

namespace studio {
constexpr std::size_t kMaxBodyBytes = 4u * 1024u * 1024u;  // a request body at most
constexpr std::size_t kMaxArgumentBytes = 50000;           // the client's request text
constexpr std::size_t kMaxJobBytes = 1000000;              // the client's label job buffer
constexpr std::size_t kMaxIniBytes = 64u * 1024u;          // a barcode.ini
constexpr int kMaxLabels = 200;                            // labels rendered or printed per request
constexpr int kMaxJsonDepth = 16;                          // nested arrays and objects
constexpr double kMaxStockMm = 500.0;                      // stock width or length
}  // namespace studio

class PrinterLog;

struct StudioOptions {
  std::string printHost;  // --print-to HOST:PORT; printing is off while printPort is 0
  int printPort = 0;
  PrinterLog* printer = nullptr;  // the virtual printer's labels (null: none kept)
  std::string printerAddress;     // --printer, as listened on ("": no network printer)
  std::string printerSerial;      // --printer-serial NAME ("": none)
  std::string printerKeep;        // --printer-keep DIR ("": none)
};

struct ApiRequest {
  std::string method;  // "GET", "POST", ...
  std::string path;    // "/api/render", without the query
  std::string contentType;
  std::string body;
};

struct ApiReply {
  int status = 200;
  std::string contentType = "application/json";
  std::string body;
};

class StudioApi {
 public:
  explicit StudioApi(const StudioOptions& options) : options_(options) {}

  // Any request, from any thread: renderings run side by side, each on its own copy of
  // everything it reads.
  ApiReply Handle(const ApiRequest& request);

 private:
  ApiReply Info();
  ApiReply Render(const std::string& body);
  ApiReply Settings(const std::string& body);
  ApiReply Print(const std::string& body);
  ApiReply Printer(const ApiRequest& request);

  StudioOptions options_;
};

// The JSON error reply {"error": message}.
ApiReply ErrorReply(int status, const std::string& message);

// The deepest nesting of arrays and objects in a JSON text (strings skipped), counted
// before parsing so that a deep text is refused without being built.
int JsonNestingDepth(const std::string& text);
