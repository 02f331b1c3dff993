#include "tests/support/virtual_printer.h"

#include <chrono>
#include <cstdio>
#include <random>
#include <thread>

#include "tests/support/process.h"
#include "tests/support/support.h"

namespace testsupport {

namespace {

std::string Quote(const std::string& text) { return "\"" + text + "\""; }

std::string Trim(std::string text) {
  while (!text.empty() && (text.back() == '\n' || text.back() == '\r' || text.back() == ' ')) {
    text.pop_back();
  }
  return text;
}

// Waits until one of the files exists; returns its index, or -1 after timeoutMs.
int WaitForFile(const std::string& a, const std::string& b, int timeoutMs) {
  auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
  for (;;) {
    if (FileExists(a)) return 0;
    if (!b.empty() && FileExists(b)) return 1;
    if (std::chrono::steady_clock::now() > end) return -1;
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
}

}  // namespace

VirtualPrinter::VirtualPrinter() : VirtualPrinter(0) {}

VirtualPrinter::VirtualPrinter(int portNumber) {
  std::string links = virtualprinter::LinkFolder(&error_);
  if (links.empty()) return;
  std::random_device random;
  dir_ = BuildDir() + "/virtual-printers/p" + std::to_string(random()) + std::to_string(random());
  std::string asked = portNumber > 0 ? " " + std::to_string(portNumber) : "";
  if (!virtualprinter::RunScript("start " + Quote(dir_) + " " + Quote(links) + asked)) {
    error_ = "cannot run virtual_printer.sh";
    return;
  }
  int which = WaitForFile(File("ready"), File("failed"), 40000);
  if (which != 0) {
    error_ = which == 1 ? Trim(ReadFile(File("failed"))) : "virtual printer did not start";
    return;
  }
  port_ = Trim(ReadFile(File("ready")));
  device_ = Trim(ReadFile(File("device")));
}

VirtualPrinter::~VirtualPrinter() {
  if (dir_.empty()) return;
  virtualprinter::RunScript("stop " + Quote(dir_));
  // Under Wine the script runs on its own; give it a moment to remove the port name.
  auto end = std::chrono::steady_clock::now() + std::chrono::seconds(3);
  while (FileExists(File("pid")) && std::chrono::steady_clock::now() < end) {
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
}

std::string VirtualPrinter::File(const char* name) const { return NativePath(dir_ + "/" + name); }

std::string VirtualPrinter::Received(std::size_t atLeast, int timeoutMs) const {
  auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
  for (;;) {
    std::string bytes = ReadFile(File("received"));
    if (bytes.size() >= atLeast || std::chrono::steady_clock::now() > end) return bytes;
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
}

std::string VirtualPrinter::LineSettings() const {
  std::remove(File("settings").c_str());
  if (!virtualprinter::RunScript("settings " + Quote(dir_))) return "";
  if (WaitForFile(File("settings"), "", 5000) != 0) return "";
  return ReadFile(File("settings"));
}

}  // namespace testsupport
