#include "studio/printer_session.h"

#include "studio/studio_api.h"

namespace {
// A label's job yields one label; a few more are drawn when its text holds more print
// commands than its dialect reads (copies are not drawn twice).
constexpr int kMaxLabelsPerJob = 8;
}  // namespace

PrinterSession::PrinterSession(PrinterLog* log, const PrinterProfile& profile, std::string sender)
    : log_(log), profile_(profile), sender_(std::move(sender)), stream_(profile, studio::kMaxJobBytes) {}

std::string PrinterSession::Receive(std::string_view bytes) {
  std::vector<PrinterEvent> events;
  stream_.Feed(bytes, &events);
  return Handle(events);
}

void PrinterSession::End() {
  std::vector<PrinterEvent> events;
  stream_.Finish(&events);
  Handle(events);
}

std::string PrinterSession::Handle(std::vector<PrinterEvent>& events) {
  std::string reply;
  for (PrinterEvent& event : events) {
    switch (event.kind) {
      case PrinterEvent::kReply: reply += event.text; break;
      case PrinterEvent::kLabel: Log(event.text, std::string()); break;
      case PrinterEvent::kIncomplete:
        Log(event.text, "the sender stopped before the print command (P or E): not printed");
        break;
      case PrinterEvent::kDropped: Log(std::string(), event.text); break;
    }
  }
  return reply;
}

void PrinterSession::Log(const std::string& job, const std::string& note) {
  const std::string time = UtcTimeNow();
  RenderOutcome outcome;
  std::string error;
  if (!job.empty()) {
    RenderSettings settings;
    settings.dpi = profile_.dpi;
    settings.maxLabels = kMaxLabelsPerJob;
    RenderJobToMemory(job, settings, &outcome, &error);
  }
  auto entry = [&] {
    ReceivedLabel received;
    received.time = time;
    received.sender = sender_;
    received.job = job;
    received.note = note;
    return received;
  };
  if (outcome.labels.empty()) {
    ReceivedLabel received = entry();
    if (!error.empty()) received.note += std::string(note.empty() ? "" : "; ") + "not rendered: " + error;
    if (!job.empty() && error.empty() && note.empty()) received.note = "nothing to draw";
    log_->Add(std::move(received));
    return;
  }
  for (RenderedLabel& label : outcome.labels) {
    ReceivedLabel received = entry();
    received.rendered = true;
    received.label = std::move(label);
    log_->Add(std::move(received));
  }
}
