// Render latency of the studio: a real server on a free loopback port, a client that
// posts /api/render and waits for the whole answer (the pictures as base64 PNG, the
// summaries, warnings and scans). Prints p50 and p99 per case, and the same renders
// called directly (no HTTP, no JSON) beside them.
//
//   studio_bench [--rounds N]     (default 200 tube labels, N/10 series)
#include <httplib.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "client/client_build.h"
#include "preview/label_check.h"
#include "studio/studio_server.h"

namespace {

using Clock = std::chrono::steady_clock;

double Ms(Clock::duration d) { return std::chrono::duration<double, std::milli>(d).count(); }

void Report(const char* name, std::vector<double> ms) {
  std::sort(ms.begin(), ms.end());
  const auto at = [&](double q) { return ms[std::min(ms.size() - 1, static_cast<std::size_t>(q * ms.size()))]; };
  std::printf("%-44s n=%-4zu p50 %8.2f ms   p99 %8.2f ms   max %8.2f ms\n", name, ms.size(), at(0.50), at(0.99),
              ms.back());
}

}  // namespace

int main(int argc, char** argv) {
  int rounds = 200;
  for (int i = 1; i + 1 < argc; ++i) {
    if (std::strcmp(argv[i], "--rounds") == 0) rounds = std::max(10, std::atoi(argv[i + 1]));
  }
  StudioServer server(StudioOptions{}, false);
  std::string error;
  if (!server.Bind("127.0.0.1", 0, &error)) {
    std::fprintf(stderr, "studio_bench: %s\n", error.c_str());
    return 1;
  }
  std::thread serving([&server] { server.Run(); });
  httplib::Client client("127.0.0.1", server.Port());
  client.set_read_timeout(60, 0);

  struct Case {
    const char* name;
    const char* argument;
    int rounds;
  };
  const Case cases[] = {
      {"tube label (protocol 0)", "x://0\\\\A1234567\\\\LINE%20TWO\\\\LINE%20THREE\\\\", rounds},
      {"100-label series (protocol 100)", "x://100\\\\1^100^1^6\\\\B^1\\\\LOT%207\\\\A^3^SERIES%20A\\\\",
       std::max(5, rounds / 10)},
  };
  const std::string ini = "[sizing]\\r\\nBIOCHIMIEMOVELEFT=0\\r\\nBARCODEFONTSIZE=80\\r\\n";
  for (const Case& c : cases) {
    const std::string body = std::string("{\"argument\":\"") + c.argument + "\",\"ini\":\"" + ini + "\"}";
    std::vector<double> http, direct;
    std::size_t bytes = 0;
    for (int i = 0; i < c.rounds + 3; ++i) {
      const Clock::time_point start = Clock::now();
      auto res = client.Post("/api/render", body, "application/json");
      const Clock::duration took = Clock::now() - start;
      if (!res || res->status != 200) {
        std::fprintf(stderr, "studio_bench: the render failed (%d)\n", res ? res->status : -1);
        server.Stop();
        serving.join();
        return 1;
      }
      bytes = res->body.size();
      if (i >= 3) http.push_back(Ms(took));  // the first ones warm the caches
    }
    // The same render without HTTP and JSON: RenderRequestToMemory as the API calls it.
    std::string argument = c.argument;
    for (std::size_t p; (p = argument.find("\\\\")) != std::string::npos;) argument.replace(p, 2, "\\");
    const std::string ini = "[sizing]\r\nBIOCHIMIEMOVELEFT=0\r\nBARCODEFONTSIZE=80\r\n";
    std::size_t labels = 0;
    for (int i = 0; i < c.rounds; ++i) {
      RenderOutcome outcome;
      const Clock::time_point start = Clock::now();
      RenderRequestToMemory(kTervaneBuild, argument, ini, RenderSettings(), &outcome, &error);
      direct.push_back(Ms(Clock::now() - start));
      labels = outcome.labels.size();
    }
    std::printf("%s: %zu label(s), answer %zu bytes\n", c.name, labels, bytes);
    Report("  request to picture (HTTP, JSON, base64)", http);
    Report("  rendering alone (RenderRequestToMemory)", direct);
  }
  server.Stop();
  serving.join();
  return 0;
}
