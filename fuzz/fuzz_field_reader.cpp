// Fuzz target: the field reader against a straightforward model of its rules.
//
// Input: byte 0 picks the maximum (0..255), byte 1 the separator, byte 2 the starting
// cursor (modulo length + 2); the rest, up to its first zero byte, is the source.
// Every call's result, destination and cursor must equal the model's, the destination
// must stay inside its maximum + 1 bytes (ASan watches the exact heap size), and a
// successful field never holds the separator or a carriage return.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "client/field_reader.h"

namespace {

struct ModelResult {
  bool ok;
  std::string field;
  int cursor;
};

// The rules written out step by step, on std::string, independent of the real code.
ModelResult Model(const std::string& s, int cursor, int maximum, char separator) {
  const int n = static_cast<int>(s.size());
  auto at = [&](int i) { return i < n ? s[static_cast<std::size_t>(i)] : '\0'; };
  int i = cursor;
  if (i < 0 || i > n) return {false, "", cursor};
  if (at(i) == '\0') return {false, "", cursor};
  while (at(i) == ' ') ++i;
  if (at(i) == '\0') return {false, "", i};
  std::string field;
  for (;;) {
    char b = at(i);
    if (b == separator || b == '\r') break;
    field.push_back(b);
    if (static_cast<int>(field.size()) > maximum) return {false, "", cursor};
    if (b == '\0') break;
    ++i;
  }
  // A field that ran into the terminator copied it as a character; as text it ends there.
  if (!field.empty() && field.back() == '\0') field.pop_back();
  return {true, field, i + 1};
}

void Check(bool condition) {
  if (!condition) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 3) return 0;
  const int maximum = data[0];
  const char separator = static_cast<char>(data[1]);
  const char* text = reinterpret_cast<const char*>(data + 3);
  std::size_t n = 0;
  while (n < size - 3 && text[n] != '\0') ++n;
  const std::string model(text, n);

  // Exact-size heap copies: any read past the terminator or write past maximum + 1
  // bytes is an ASan report.
  std::vector<char> source(text, text + n);
  source.push_back('\0');
  std::unique_ptr<char[]> destination(new char[static_cast<std::size_t>(maximum) + 1]);

  int cursor = static_cast<int>(data[2] % (n + 2));
  for (int call = 0; call < 64; ++call) {
    ModelResult expected = Model(model, cursor, maximum, separator);
    int before = cursor;
    bool ok = (call % 2 == 0)
                  ? ReadField(source.data(), &cursor, destination.get(), maximum, separator)
                  : ReadField(source.data(), static_cast<int>(n), &cursor, destination.get(),
                              maximum, separator);
    std::size_t length = std::strlen(destination.get());
    Check(ok == expected.ok);
    Check(std::string(destination.get(), length) == expected.field);
    Check(cursor == expected.cursor);
    Check(length <= static_cast<std::size_t>(maximum));
    Check(cursor >= 0 && cursor <= static_cast<int>(n) + 1);
    if (ok) {
      Check(std::memchr(destination.get(), '\r', length) == nullptr);
      if (separator != '\0') Check(std::memchr(destination.get(), separator, length) == nullptr);
      Check(cursor > before);
    } else {
      Check(length == 0);
      if (cursor == before) break;  // nothing more to read from here
    }
  }
  return 0;
}
