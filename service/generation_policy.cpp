#include "service/generation_policy.h"

namespace {

// Koldane's request thread writes nothing to the log on its way to delivering a job,
// so its accept line is written while that thread wakes, the log held until then so
// that the line still comes before any the request writes. quorvel's request thread
// writes "IN THREAD" first thing: there the accept line goes first.
const GenerationPolicy kKoldane = {nullptr,
                                   nullptr,
                                   nullptr,
                                   LineOrder::kHeldAcross,
                                   {"_barcodeOUT.log", nullptr},
                                   "_barcodeUNDELIVERED.log",
                                   "Koldane"};

const GenerationPolicy kQuorvel = {"IN THREAD",
                                   "-------------------",
                                   "OUT THREAD",
                                   LineOrder::kBefore,
                                   {nullptr, "-------------------\n"},
                                   nullptr,
                                   "quorvel"};

}  // namespace

const GenerationPolicy& PolicyOf(JobGeneration generation) {
  return generation == JobGeneration::kQuorvel ? kQuorvel : kKoldane;
}
