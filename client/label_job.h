// A label job under construction: printer-command text that grows as the layout
// appends to it, never holds a zero byte, and is capped at wire::kMaxJobLength.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>

// base - m with the 32-bit wrap-around of the printers' own arithmetic, so an extreme
// move-left value from barcode.ini gives a defined (if useless) coordinate.
inline int MoveLeft(int base, int m) {
  return static_cast<int>(static_cast<unsigned>(base) - static_cast<unsigned>(m));
}

class LabelJob {
 public:
  LabelJob();

  // Empties the job (a layout's first line replaces whatever the buffer held).
  void Clear();

  // Appends printf-formatted text. As with appending by sprintf at the end of a
  // zero-terminated buffer, output after a zero byte that the format produces (a %c
  // of 0) is lost. An append that would pass the cap is dropped and marks the job
  // too large; later appends are dropped too.
  void Append(const char* format, ...)
#if defined(__GNUC__)
      __attribute__((format(printf, 2, 3)))
#endif
      ;

  // Appends raw bytes up to the first zero byte among them (same cap rule).
  void AppendText(const char* text, std::size_t length);

  const char* Text() const { return buffer_.get(); }  // zero-terminated
  std::size_t Length() const { return length_; }
  bool TooLarge() const { return tooLarge_; }
  // Marks the job too large at once, for a layout that knows it cannot fit under the
  // cap; later appends are dropped.
  void MarkTooLarge() { tooLarge_ = true; }

  // True when count labels of at least shortestLabel bytes each cannot fit in one job.
  static bool SeriesPassesCap(std::uint64_t count, std::size_t shortestLabel);

 private:
  bool Reserve(std::size_t extra);

  std::unique_ptr<char[]> buffer_;
  std::size_t capacity_;
  std::size_t length_ = 0;
  bool tooLarge_ = false;
};
