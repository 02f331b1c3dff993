// Fuzz target: the barcode.ini reader of both clients.
//
// The first byte picks the build (fuzz/client_build_byte.h); the rest is the whole
// text. Checks: every text field of the record stays terminated
// inside its array (port name 12 bytes, address 100, suffix key 300 and value 20
// bytes); the suffix table is a proper list ending at its last entry; ASan watches
// every buffer the loader touches.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>

#include "client/client_settings.h"
#include "fuzz/client_build_byte.h"
#include "fuzz/fuzz_support.h"

using fuzzsupport::Check;
using fuzzsupport::Terminated;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size == 0) return 0;
  const ClientBuild& build = fuzzsupport::BuildFromByte(data[0]);
  const std::string text(reinterpret_cast<const char*>(data + 1), size - 1);

  ClientSettings settings;
  ParseClientSettings(text, build.settings, &settings);
  Check(Terminated(settings.portName), "port name terminated");
  Check(Terminated(settings.address), "address terminated");
  int entries = 0;
  const SuffixEntry* last = nullptr;
  for (const SuffixEntry* e = settings.suffixFirst; e; e = e->next) {
    Check(Terminated(e->key), "suffix key terminated");
    Check(Terminated(e->value), "suffix value terminated");
    Check(++entries <= 1000000, "suffix list ends");
    last = e;
  }
  Check(last == settings.suffixLast, "last entry pointer");
  if (!build.settings.suffixSection) Check(settings.suffixFirst == nullptr, "no suffix table in tervane-b");
  // Every lookup walks the same list and finds a terminated value.
  const char* suffix = FindSuffix(settings, "D1");
  Check(std::strlen(suffix) < 20, "suffix value length");
  return 0;
}
