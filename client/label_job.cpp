#include "client/label_job.h"

#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <utility>

#include "transport/wire_frame.h"

LabelJob::LabelJob() : buffer_(new char[1024]), capacity_(1024) { buffer_[0] = '\0'; }

void LabelJob::Clear() {
  length_ = 0;
  tooLarge_ = false;
  buffer_[0] = '\0';
}

bool LabelJob::Reserve(std::size_t extra) {
  if (tooLarge_) return false;
  if (length_ + extra > wire::kMaxJobLength) {
    tooLarge_ = true;
    buffer_[length_] = '\0';
    return false;
  }
  std::size_t needed = length_ + extra + 1;
  if (needed > capacity_) {
    std::size_t size = capacity_;
    while (size < needed) size *= 2;
    // Only the text and its terminator move; the new room is not cleared, since every
    // append writes the bytes it counts.
    std::unique_ptr<char[]> larger(new char[size]);
    std::memcpy(larger.get(), buffer_.get(), length_ + 1);
    buffer_ = std::move(larger);
    capacity_ = size;
  }
  return true;
}

void LabelJob::Append(const char* format, ...) {
  if (tooLarge_) return;
  std::va_list args;
  va_start(args, format);
  std::va_list again;
  va_copy(again, args);
  std::size_t room = capacity_ - length_;
  int n = std::vsnprintf(buffer_.get() + length_, room, format, args);
  va_end(args);
  if (n < 0) {
    va_end(again);
    buffer_[length_] = '\0';
    return;
  }
  if (static_cast<std::size_t>(n) >= room) {
    if (!Reserve(static_cast<std::size_t>(n))) {
      va_end(again);
      return;
    }
    std::vsnprintf(buffer_.get() + length_, capacity_ - length_, format, again);
  } else if (length_ + static_cast<std::size_t>(n) > wire::kMaxJobLength) {
    tooLarge_ = true;
    buffer_[length_] = '\0';
    va_end(again);
    return;
  }
  va_end(again);
  // Only what precedes a zero byte produced by the format belongs to the text.
  length_ += std::strlen(buffer_.get() + length_);
}

void LabelJob::AppendText(const char* text, std::size_t length) {
  const void* zero = std::memchr(text, '\0', length);
  if (zero) length = static_cast<std::size_t>(static_cast<const char*>(zero) - text);
  if (!Reserve(length)) return;
  std::memcpy(buffer_.get() + length_, text, length);
  length_ += length;
  buffer_[length_] = '\0';
}

bool LabelJob::SeriesPassesCap(std::uint64_t count, std::size_t shortestLabel) {
  // Both factors are below 2^32, so the product cannot wrap.
  return count * static_cast<std::uint64_t>(shortestLabel) > wire::kMaxJobLength;
}
