// Render rate of each layout family, and time and memory of the largest realistic jobs:
// a numbered series of 10,000 labels and a grouped request with many groups and domain
// names. Memory is the peak of heap bytes in use while one job renders.
#include <benchmark/benchmark.h>

#include <atomic>
#include <cstdlib>
#include <new>
#include <string>

#include "client/dialect_b_layouts.h"
#include "client/field_list_layouts.h"
#include "client/protocol10_100_layouts.h"
#include "client/tube_layouts.h"

namespace {

std::atomic<std::size_t> heapInUse{0};
std::atomic<std::size_t> heapPeak{0};

void* Allocate(std::size_t size) {
  // The size is kept in front of the block so the release can count it.
  void* block = std::malloc(size + 16);
  if (!block) throw std::bad_alloc();
  *static_cast<std::size_t*>(block) = size;
  std::size_t now = heapInUse += size;
  std::size_t peak = heapPeak.load();
  while (now > peak && !heapPeak.compare_exchange_weak(peak, now)) {
  }
  return static_cast<char*>(block) + 16;
}

void Release(void* p) {
  if (!p) return;
  void* block = static_cast<char*>(p) - 16;
  heapInUse -= *static_cast<std::size_t*>(block);
  std::free(block);
}

}  // namespace

void* operator new(std::size_t size) { return Allocate(size); }
void* operator new[](std::size_t size) { return Allocate(size); }
void operator delete(void* p) noexcept { Release(p); }
void operator delete[](void* p) noexcept { Release(p); }
void operator delete(void* p, std::size_t) noexcept { Release(p); }
void operator delete[](void* p, std::size_t) noexcept { Release(p); }

namespace {

const char* SuffixOf(const void*, const char* name) { return name[0] == 'D' && name[1] == '2' ? "-X" : ""; }

// Labels per second and bytes per second of one job rendered over and over.
template <typename Render>
void RunLayout(benchmark::State& state, Render render, int labelsPerJob) {
  LabelJob job;
  for (auto _ : state) {
    render(job);
    benchmark::DoNotOptimize(job.Text());
  }
  state.SetItemsProcessed(state.iterations() * labelsPerJob);
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * job.Length()));
}

// One large job: render time, job size and the peak heap bytes while it renders.
template <typename Render>
void RunLargeJob(benchmark::State& state, Render render, int labels) {
  std::size_t length = 0;
  std::size_t peak = 0;
  bool tooLarge = false;
  for (auto _ : state) {
    std::size_t before = heapInUse.load();
    heapPeak = before;
    {
      LabelJob job;
      render(job);
      length = job.Length();
      tooLarge = job.TooLarge();
    }
    peak = heapPeak.load() - before;
  }
  state.SetItemsProcessed(state.iterations() * labels);
  state.counters["job_bytes"] = static_cast<double>(length);
  state.counters["peak_heap_bytes"] = static_cast<double>(peak);
  if (tooLarge) state.SkipWithError("job passed the cap");
}

void BM_TubeLayout(benchmark::State& state) {
  RunLayout(state, [](LabelJob& job) { BiochimieTubeLayout(job, "A1234567\\LINE TWO\\LINE THREE\\", 80); }, 1);
}

void BM_FieldListLayout(benchmark::State& state) {
  RunLayout(state, [](LabelJob& job) {
    FieldListLayout(job, "B^1^A1234567\\LINE TWO\\A^3^LINE THREE\\A TEXT OF TWENTY-SIX CHARS\\", 80, 80);
  }, 1);
}

void BM_GroupedFieldListLayout(benchmark::State& state) {
  RunLayout(state, [](LabelJob& job) {
    GroupedFieldListLayout(job, "D1^D2\\B^1^A1234567\\LINE TWO|D3\\LINE FOUR", 80, 80, true);
  }, 3);
}

void BM_ExtendedFieldListLayout(benchmark::State& state) {
  ExtendedLayoutSettings extended;
  extended.pageCode = 'B';
  extended.hexText = true;
  extended.findSuffix = SuffixOf;
  RunLayout(state, [&](LabelJob& job) {
    ExtendedFieldListLayout(job, "D1^D2\\B^1^A1234567\\4C494E452054574F\\A^3^4C494E45", 80, 80, true, extended);
  }, 2);
}

void BM_NumberedSeriesLayout(benchmark::State& state) {
  RunLayout(state, [](LabelJob& job) {
    NumberedSeriesLayout(job, "41^2^3^6\\B^1\\LOT 7\\A^3^SERIES A", 80, 80);
  }, 2);
}

void BM_DialectBFieldListLayout(benchmark::State& state) {
  RunLayout(state, [](LabelJob& job) {
    DialectBFieldListLayout(job, "D1^D2\\B^Q^A1234567\\A TEXT OF TWENTY-SIX CHARS\\A^D^LINE THREE", 0, 80, true);
  }, 2);
}

void BM_DialectBNumberedSeriesLayout(benchmark::State& state) {
  RunLayout(state, [](LabelJob& job) { DialectBNumberedSeriesLayout(job, "41^2^3^6\\B^1\\X^Y^LOT 7", 0, 80); }, 2);
}

void BM_NumberedSeries10000Labels(benchmark::State& state) {
  RunLargeJob(state, [](LabelJob& job) {
    NumberedSeriesLayout(job, "1^10000^2^8\\B^1\\LOT 7\\A^3^SERIES A\\A^4^CONTROL", 80, 80);
  }, 10000);
}

void BM_DialectBSeries10000Labels(benchmark::State& state) {
  RunLargeJob(state, [](LabelJob& job) { DialectBNumberedSeriesLayout(job, "1^10000^2^8\\B^1\\X^Y^LOT 7", 0, 80); },
              10000);
}

// A request of 196 groups of 255 characters (just under the 50,000 characters of a
// record), each with 60 domain names and five fields: 11,760 labels.
std::string ManyGroups() {
  std::string group;
  for (int i = 0; i < 60; ++i) group += (i ? "^W" : "W") + std::to_string(i % 10);
  group += "\\B^1^A1234567\\PATIENT NAME\\WARD 7\\A^3^URGENT\\LONG TEXT THAT WRAPS AT TWENTY|";
  std::string data;
  while (data.size() + group.size() <= 50000) data += group;
  return data;
}

void BM_GroupedManyGroups(benchmark::State& state) {
  static const std::string data = ManyGroups();
  int labels = 0;
  {
    LabelJob probe;
    GroupedFieldListLayout(probe, data.c_str(), 80, 80, true);
    std::string text(probe.Text(), probe.Length());
    for (std::size_t at = text.find("P1\n"); at != std::string::npos; at = text.find("P1\n", at + 1)) ++labels;
  }
  RunLargeJob(state, [](LabelJob& job) { GroupedFieldListLayout(job, data.c_str(), 80, 80, true); }, labels);
  state.counters["labels"] = labels;
  state.counters["request_bytes"] = static_cast<double>(data.size());
}

}  // namespace

BENCHMARK(BM_TubeLayout);
BENCHMARK(BM_FieldListLayout);
BENCHMARK(BM_GroupedFieldListLayout);
BENCHMARK(BM_ExtendedFieldListLayout);
BENCHMARK(BM_NumberedSeriesLayout);
BENCHMARK(BM_DialectBFieldListLayout);
BENCHMARK(BM_DialectBNumberedSeriesLayout);
BENCHMARK(BM_NumberedSeries10000Labels)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_DialectBSeries10000Labels)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_GroupedManyGroups)->Unit(benchmark::kMillisecond);

BENCHMARK_MAIN();
