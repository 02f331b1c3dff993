// Fuzz target: the virtual printer's reading of a byte stream (PrinterStream), with a
// small label limit so that dropping is reached.
//
// Input: byte 0 sets the size of the pieces the stream arrives in (1 to 256 bytes); the
// rest is the stream. Checks: the events are the same whether the stream arrives whole
// or in pieces; the stream holds no more than the limit and a line's head however long
// the text; no label or leftover text is longer than the limit; nothing is read or
// written out of bounds (ASan).
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "fuzz/fuzz_support.h"
#include "studio/printer_stream.h"

using fuzzsupport::Check;

namespace {
constexpr std::size_t kLimit = 4096;

std::vector<PrinterEvent> Read(std::string_view stream, std::size_t piece) {
  PrinterStream reader(PrinterProfile{}, kLimit);
  std::vector<PrinterEvent> events;
  for (std::size_t i = 0; i < stream.size(); i += piece) {
    reader.Feed(stream.substr(i, piece), &events);
    Check(reader.HeldBytes() <= kLimit + 65, "held bytes within the limit");
  }
  reader.Finish(&events);
  return events;
}
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 1) return 0;
  const std::size_t piece = static_cast<std::size_t>(data[0]) + 1;
  const std::string_view stream(reinterpret_cast<const char*>(data + 1), size - 1);
  const std::vector<PrinterEvent> whole = Read(stream, stream.size() + 1);
  const std::vector<PrinterEvent> pieces = Read(stream, piece);
  Check(whole.size() == pieces.size(), "as many events in pieces as whole");
  for (std::size_t i = 0; i < whole.size() && i < pieces.size(); ++i) {
    Check(whole[i].kind == pieces[i].kind && whole[i].text == pieces[i].text, "the same events in pieces");
  }
  for (const PrinterEvent& e : whole) {
    if (e.kind == PrinterEvent::kLabel || e.kind == PrinterEvent::kIncomplete) {
      Check(e.text.size() <= kLimit, "a label within the limit");
    }
    if (e.kind == PrinterEvent::kLabel) Check(!e.text.empty(), "a label holds its print command");
  }
  return 0;
}
