// Fuzz target: the studio's request handling (StudioApi::Handle, everything behind
// the HTTP server): JSON parsing, field checks, byte texts, rendering of requests and
// jobs, reading settings files.
//
// Input: byte 0 picks the path (bits 0-2: /api/render, /api/settings, /api/print,
// /api/info, /, /studio.js, /api/x, an unknown page) and the method and content type
// (bit 3: GET instead of POST; bit 4: text/plain instead of application/json); the
// rest is the body. Checks: every reply has a status the API documents; every API
// reply is a JSON object, with "error" whenever the status is not 200; nothing is
// read or written out of bounds (ASan).
#include <cstddef>
#include <cstdint>
#include <nlohmann/json.hpp>
#include <string>

#include "fuzz/fuzz_support.h"
#include "studio/studio_api.h"

using fuzzsupport::Check;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 1) return 0;
  static StudioApi api(StudioOptions{});
  static const char* const kPaths[] = {"/api/render", "/api/settings", "/api/print", "/api/info",
                                       "/",           "/studio.js",    "/api/x",     "/nothing"};
  ApiRequest request;
  request.path = kPaths[data[0] & 7];
  request.method = (data[0] & 8) ? "GET" : "POST";
  request.contentType = (data[0] & 16) ? "text/plain" : "application/json; charset=utf-8";
  request.body.assign(reinterpret_cast<const char*>(data + 1), size - 1);
  const ApiReply reply = api.Handle(request);
  const int s = reply.status;
  Check(s == 200 || s == 400 || s == 403 || s == 404 || s == 405 || s == 413 || s == 415 || s == 500 ||
            s == 502 || s == 503,
        "documented status");
  if (request.path.compare(0, 5, "/api/") == 0 || s != 200) {
    Check(reply.contentType == "application/json", "JSON content type");
    const nlohmann::json body = nlohmann::json::parse(reply.body, nullptr, false);
    Check(body.is_object(), "the reply is a JSON object");
    // A render that failed part-way keeps its labels and says why in "error".
    Check(s == 200 ? !body.contains("error") || body.contains("labels") : body.contains("error"),
          "an error on every failure");
  }
  return 0;
}
