// In-process rates: the tube layouts through the dispatch table, and a whole client run
// (settings text, decoding, records, layouts) with the jobs kept in memory.
#include <benchmark/benchmark.h>

#include <string>

#include "client/client_run.h"

namespace {

void BM_TubeLayout(benchmark::State& state) {
  int protocol = static_cast<int>(state.range(0));
  ClientSettings settings;
  LabelJob job;
  const char* data = "A1234567\\POPESCU ION\\BIOCHIMIE\\12.03.2024\\";
  for (auto _ : state) {
    RenderLayout(kTervaneLayouts, protocol, job, data, settings);
    benchmark::DoNotOptimize(job.Text());
  }
  state.SetItemsProcessed(state.iterations());
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * job.Length()));
}
BENCHMARK(BM_TubeLayout)->Arg(0)->Arg(4)->Arg(6);

class CountingDelivery : public JobDelivery {
 public:
  bool Deliver(const ClientSettings&, const char*, std::size_t length) override {
    bytes += length;
    return true;
  }
  std::size_t bytes = 0;
};

// records labels per request, each its own record.
void BM_RunClientInMemory(benchmark::State& state) {
  const std::string ini = "[sizing]\r\nBiochimieMoveLeft=80\r\n";
  std::string argument;
  for (int i = 0; i < state.range(0); ++i) argument += "x://0\\A123456" + std::to_string(i % 10) + "\\LINE%20TWO\\LINE+THREE%04";
  CountingDelivery delivery;
  for (auto _ : state) {
    ClientSettings settings;
    ParseClientSettings(ini, kTervaneBuild.settings, &settings);
    benchmark::DoNotOptimize(RunClient(kTervaneBuild, argument.c_str(), settings, delivery, nullptr));
  }
  state.SetItemsProcessed(state.iterations() * state.range(0));
}
BENCHMARK(BM_RunClientInMemory)->Arg(1)->Arg(10)->Arg(1000);

}  // namespace

BENCHMARK_MAIN();
