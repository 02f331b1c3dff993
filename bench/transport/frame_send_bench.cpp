// Throughput of one wire frame over a loopback connection: connect, SendFrame, close,
// with a server thread accepting and reading each frame to its end, as the print
// service does. Also the bare SendAll of a large buffer on one connection.
#include <benchmark/benchmark.h>

#include <atomic>
#include <memory>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "transport/frame_io.h"
#include "transport/socket.h"

namespace {

struct Server {
  Server() {
    std::random_device random;
    for (int attempt = 0; attempt < 100 && !listener; ++attempt) {
      port = 20000 + static_cast<int>(random() % 30000);
      try {
        listener.reset(new CSocket(port));
      } catch (const CSocketException&) {
      }
    }
    thread = std::thread([this] {
      std::vector<char> buffer(1 << 16);
      while (!stop) {
        std::unique_ptr<CSocket> c(listener->Accept());
        if (!c) break;
        while (c->Receive(buffer.data(), static_cast<int>(buffer.size()), false) > 0) {
        }
      }
    });
  }
  ~Server() {
    stop = true;
    { CSocket wake("127.0.0.1", port); }
    thread.join();
  }
  int port = 0;
  std::unique_ptr<CSocket> listener;
  std::atomic<bool> stop{false};
  std::thread thread;
};

void BM_FramePerConnection(benchmark::State& state) {
  Server server;
  std::string job(static_cast<std::size_t>(state.range(0)), 'E');
  for (auto _ : state) {
    CSocket client("127.0.0.1", server.port);
    bool ok = SendFrame(client, job.data(), static_cast<std::uint32_t>(job.size()));
    benchmark::DoNotOptimize(ok);
  }
  state.SetBytesProcessed(state.iterations() * (state.range(0) + 4));
}
BENCHMARK(BM_FramePerConnection)->Arg(300)->Arg(64 << 10)->Arg(1 << 20)->Arg(16 << 20)->UseRealTime();

void BM_SendAllOneConnection(benchmark::State& state) {
  Server server;
  CSocket client("127.0.0.1", server.port);
  std::string data(static_cast<std::size_t>(state.range(0)), 'E');
  for (auto _ : state) {
    bool ok = SendAll(client, data.data(), data.size());
    benchmark::DoNotOptimize(ok);
  }
  state.SetBytesProcessed(state.iterations() * state.range(0));
}
BENCHMARK(BM_SendAllOneConnection)->Arg(20 << 20)->UseRealTime();

// The same 20 MiB in Send calls of a chosen size, to compare SendAll's 64 KiB slices
// with larger ones.
void BM_SendSlices(benchmark::State& state) {
  Server server;
  CSocket client("127.0.0.1", server.port);
  std::string data(20u << 20, 'E');
  const std::size_t slice = static_cast<std::size_t>(state.range(0));
  for (auto _ : state) {
    std::size_t done = 0;
    while (done < data.size()) {
      std::size_t want = data.size() - done < slice ? data.size() - done : slice;
      int n = client.Send(data.data() + done, static_cast<int>(want));
      if (n <= 0) break;
      done += static_cast<std::size_t>(n);
    }
  }
  state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>(data.size()));
}
BENCHMARK(BM_SendSlices)->Arg(4 << 10)->Arg(64 << 10)->Arg(1 << 20)->Arg(20 << 20)->UseRealTime();

}  // namespace

BENCHMARK_MAIN();
