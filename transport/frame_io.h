// Sending a whole wire frame over a connected CSocket.
#pragma once

#include <cstddef>
#include <cstdint>

class CSocket;

// Repeats Send until every one of length bytes is out. True when all went out; false
// as soon as a send fails (or accepts nothing). Zero bytes succeed without a send.
bool SendAll(CSocket& socket, const void* data, std::size_t length);

// One wire frame: the 4 length bytes (little-endian), then the job. False when a send
// fails or length exceeds wire::kMaxJobLength (nothing is sent then). An empty job is
// the length word 0 alone.
bool SendFrame(CSocket& socket, const char* job, std::uint32_t length);
