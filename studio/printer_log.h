// What the virtual printer received: each label with its time, its sender, its job and
// its rendering (picture and checks), newest first, the last kMaxReceived in memory and,
// with a keep folder, each also as PNG and job files there.
#pragma once

#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "preview/label_check.h"

namespace studio {
constexpr std::size_t kMaxReceived = 500;  // labels kept in memory
// Bytes of jobs and pictures kept in memory at most: the oldest labels go first (the
// newest one always stays), so that 500 labels near the job size limit cannot fill memory.
constexpr std::size_t kMaxReceivedBytes = 128u * 1024u * 1024u;
}  // namespace studio

struct ReceivedLabel {
  std::uint64_t id = 0;        // 1, 2, ... in the order received
  std::string time;            // UTC, "2026-12-10T08:35:07.123Z"
  std::string sender;          // "127.0.0.1:40312", or the serial printer's name
  std::string job;             // the bytes received for the label
  std::string note;            // why the label is incomplete or was dropped ("": none)
  bool rendered = false;       // label holds the rendering
  RenderedLabel label;         // picture, summary, checks
};

class PrinterLog {
 public:
  // keepDir: where each label is also written ("": nowhere).
  explicit PrinterLog(std::string keepDir = std::string()) : keepDir_(std::move(keepDir)) {}

  // Creates the keep folder when missing. False with a reason.
  bool PrepareKeepDir(std::string* error);

  // Stamps the label with its id and the time now (when unset), keeps it, and writes its
  // files to the keep folder. A file that cannot be written is told in the label's note.
  void Add(ReceivedLabel label);
  // Newest first.
  std::vector<std::shared_ptr<const ReceivedLabel>> Labels() const;
  // Empties the memory (the keep folder stays); the number removed.
  std::size_t Clear();
  // Changes with every Add and Clear: a page polls it to know when to fetch the labels.
  std::uint64_t Generation() const;
  std::size_t Count() const;

 private:
  std::string keepDir_;
  mutable std::mutex mutex_;
  std::deque<std::shared_ptr<const ReceivedLabel>> labels_;  // newest first
  std::size_t bytes_ = 0;  // of the jobs and pictures in labels_
  std::uint64_t nextId_ = 1;
  std::uint64_t generation_ = 0;
};

// The time now in UTC with milliseconds: "2026-12-10T08:35:07.123Z".
std::string UtcTimeNow();
