#include "preview/text_decoding.h"

#include <iconv.h>

#include <cerrno>
#include <map>
#include <string>

namespace {

const iconv_t kNoConverter = reinterpret_cast<iconv_t>(-1);

// One converter per code page, opened when first needed and closed at exit.
class Converters {
 public:
  ~Converters() {
    for (auto& entry : open_) {
      if (entry.second != kNoConverter) iconv_close(entry.second);
    }
  }
  iconv_t For(const char* charset) {
    auto found = open_.find(charset);
    if (found != open_.end()) return found->second;
    iconv_t cd = iconv_open("UTF-32LE", charset);
    open_[charset] = cd;
    return cd;
  }

 private:
  std::map<std::string, iconv_t> open_;
};

iconv_t ConverterFor(const char* charset) {
  static Converters converters;
  return converters.For(charset);
}

// Appends the UTF-32LE characters in buffer[0, size).
void Append(const char* buffer, std::size_t size, std::u32string* out) {
  for (std::size_t i = 0; i + 4 <= size; i += 4) {
    const unsigned char* p = reinterpret_cast<const unsigned char*>(buffer) + i;
    out->push_back(static_cast<char32_t>(p[0] | p[1] << 8 | p[2] << 16 | static_cast<unsigned long>(p[3]) << 24));
  }
}

// Appends what the converter still holds and returns it to its initial state. CP1255
// and CP1258 hold a letter back until they know whether a combining mark follows.
void Flush(iconv_t cd, std::u32string* out) {
  char buffer[64];
  char* outPtr = buffer;
  std::size_t outLeft = sizeof buffer;
  iconv(cd, nullptr, nullptr, &outPtr, &outLeft);
  Append(buffer, sizeof buffer - outLeft, out);
}

}  // namespace

std::u32string DecodeText(const std::string& bytes, const char* charset) {
  std::u32string out;
  iconv_t cd = ConverterFor(charset);
  if (cd == kNoConverter) {
    for (unsigned char c : bytes) out.push_back(c);
    return out;
  }
  iconv(cd, nullptr, nullptr, nullptr, nullptr);
  char* in = const_cast<char*>(bytes.data());
  std::size_t inLeft = bytes.size();
  while (inLeft > 0) {
    char buffer[256];
    char* outPtr = buffer;
    std::size_t outLeft = sizeof buffer;
    std::size_t r = iconv(cd, &in, &inLeft, &outPtr, &outLeft);
    Append(buffer, sizeof buffer - outLeft, &out);
    if (r == static_cast<std::size_t>(-1) && errno != E2BIG) {
      // An undefined or incomplete byte sequence: one replacement character per byte.
      Flush(cd, &out);
      out.push_back(U'\uFFFD');
      ++in;
      --inLeft;
    }
  }
  Flush(cd, &out);
  return out;
}
