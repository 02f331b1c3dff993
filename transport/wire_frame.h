// The wire frame between client and service: a 4-byte little-endian job length, then
// the label job bytes (no terminator). One frame per connection, no reply.
#pragma once

#include <cstddef>
#include <cstdint>

namespace wire {

constexpr std::size_t kLengthSize = 4;

// Largest label job either side accepts (16 MiB). Fuzzing builds take 64 KiB: the
// same limits are met far sooner, and an input rendering a long series no longer
// costs a large part of every fuzzing second.
#ifdef FUZZING_BUILD_MODE_UNSAFE_FOR_PRODUCTION
constexpr std::uint32_t kMaxJobLength = 64u * 1024u;
#else
constexpr std::uint32_t kMaxJobLength = 16u * 1024u * 1024u;
#endif

inline void EncodeLength(std::uint32_t length, unsigned char out[kLengthSize]) {
  out[0] = static_cast<unsigned char>(length);
  out[1] = static_cast<unsigned char>(length >> 8);
  out[2] = static_cast<unsigned char>(length >> 16);
  out[3] = static_cast<unsigned char>(length >> 24);
}

inline std::uint32_t DecodeLength(const unsigned char in[kLengthSize]) {
  return static_cast<std::uint32_t>(in[0]) | (static_cast<std::uint32_t>(in[1]) << 8) |
         (static_cast<std::uint32_t>(in[2]) << 16) | (static_cast<std::uint32_t>(in[3]) << 24);
}

}  // namespace wire
