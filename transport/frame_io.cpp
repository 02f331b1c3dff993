#include "transport/frame_io.h"

#include <cstring>

#include "transport/socket.h"
#include "transport/wire_frame.h"

bool SendAll(CSocket& socket, const void* data, std::size_t length) {
  // Large buffers go in slices of 64 KiB: under Wine a single blocking send much larger
  // than the socket buffer was seen never to return after the peer reset the connection.
  const std::size_t kSlice = 1u << 16;
  const char* p = static_cast<const char*>(data);
  while (length > 0) {
    int want = static_cast<int>(length < kSlice ? length : kSlice);
    int sent = socket.Send(p, want);
    if (sent <= 0) return false;
    p += sent;
    length -= static_cast<std::size_t>(sent);
  }
  return true;
}

bool SendFrame(CSocket& socket, const char* job, std::uint32_t length) {
  if (length > wire::kMaxJobLength || (length > 0 && !job)) return false;
  // An ordinary label goes out with its length word in one send: one segment on the
  // wire, which the service takes in with one receive. Larger jobs follow the word.
  char frame[4096];
  wire::EncodeLength(length, reinterpret_cast<unsigned char*>(frame));
  if (length <= sizeof frame - wire::kLengthSize) {
    if (length > 0) std::memcpy(frame + wire::kLengthSize, job, length);
    return SendAll(socket, frame, wire::kLengthSize + length);
  }
  return SendAll(socket, frame, wire::kLengthSize) && SendAll(socket, job, length);
}
