// Labels rendered per second: the worked-example jobs read, drawn on their canvas and
// (in the Encoded runs) turned into PNG bytes, at 203 and 300 dpi. Run by hand:
//   build/<dir>/bench/preview/preview_bench
#include <benchmark/benchmark.h>

#include <string>
#include <vector>

#include "preview/job_reader.h"
#include "preview/png_file.h"
#include "preview/text_painter.h"

namespace {

// One Biochimie tube label, the typical job.
const char kBiochimie[] =
    "D8\n\nN\nB45,0,0,1,2,4,160,N,\"A1234567\"\nA90,125,0,2,1,1,N,\"*A1234567*\"\n"
    "A10,145,0,2,1,1,N,\"LINE TWO\"\nA10,165,0,2,1,1,N,\"LINE THREE\"\nP1\n";

// A field-list label with a Code 39 barcode, four text lines and a 4-inch label size.
const char kFieldList[] =
    "q812\nQ406,24\nN\nB10,0,0,3C,2,5,80,B,\"H555-2026\"\nA10,110,0,2,1,1,N,\"LINE TWO\"\n"
    "A10,130,0,3,1,1,N,\"LINE THREE\"\nA10,160,0,4,1,1,N,\"A TEXT OF TWENTY-SIX\"\n"
    "A10,190,0,2,2,2,R,\"REVERSED\"\nP1\n";

// A dialect B label.
const char kDialectB[] =
    "^P1\n^L\nBQ,10,0,2,5,80,0,0,A1234567\nAB,10,85,1,1,0,0,A TEXT OF TWENTY-SIX\n"
    "AD,10,103,1,1,0,0,LINE THREE\nAB,10,129,1,1,0,0,D1\nE\n";

void RenderLabels(benchmark::State& state, const char* job, bool encode) {
  const int dpi = static_cast<int>(state.range(0));
  TextPainter painter;
  if (!painter.Ready()) {
    state.SkipWithError(painter.Error().c_str());
    return;
  }
  const std::string text(job);
  std::string png, error;
  long labels = 0;
  for (auto _ : state) {
    ReadJob(text, dpi, [&](LabelPicture& label) {
      label.Paint(painter, 0, 0);
      if (encode) EncodePng(label, &png, &error);
      benchmark::DoNotOptimize(label.Pixels().data());
      ++labels;
      return true;
    });
  }
  state.counters["labels/s"] = benchmark::Counter(static_cast<double>(labels), benchmark::Counter::kIsRate);
}

void Biochimie(benchmark::State& state) { RenderLabels(state, kBiochimie, false); }
void BiochimieEncoded(benchmark::State& state) { RenderLabels(state, kBiochimie, true); }
void FieldList(benchmark::State& state) { RenderLabels(state, kFieldList, false); }
void FieldListEncoded(benchmark::State& state) { RenderLabels(state, kFieldList, true); }
void DialectB(benchmark::State& state) { RenderLabels(state, kDialectB, false); }
void DialectBEncoded(benchmark::State& state) { RenderLabels(state, kDialectB, true); }

}  // namespace

BENCHMARK(Biochimie)->Arg(203)->Arg(300);
BENCHMARK(BiochimieEncoded)->Arg(203)->Arg(300);
BENCHMARK(FieldList)->Arg(203)->Arg(300);
BENCHMARK(FieldListEncoded)->Arg(203)->Arg(300);
BENCHMARK(DialectB)->Arg(203)->Arg(300);
BENCHMARK(DialectBEncoded)->Arg(203)->Arg(300);

BENCHMARK_MAIN();
