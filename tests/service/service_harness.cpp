#include "tests/service/service_harness.h"

#include <filesystem>
#include <regex>
#include <thread>

#include "tests/support/frame_listener.h"
#include "transport/frame_io.h"
#include "transport/socket.h"

namespace servicetest {

std::string SettingsText(const std::vector<std::string>& lines) {
  std::string text;
  for (const std::string& line : lines) text += line + "\r\n";
  return text;
}

std::vector<std::string> LogMessages(const std::string& log) {
  static const std::regex stamp("\r?\n[0-9]{4}-[0-9]{1,2}-[0-9]{1,2} [0-9]{1,2}:[0-9]{1,2}:[0-9]{1,2} - ");
  std::vector<std::string> messages;
  auto begin = std::sregex_iterator(log.begin(), log.end(), stamp);
  auto end = std::sregex_iterator();
  for (auto it = begin; it != end; ++it) {
    auto next = std::next(it);
    std::size_t from = static_cast<std::size_t>(it->position() + it->length());
    std::size_t to = next == end ? log.size() : static_cast<std::size_t>(next->position());
    std::string message = log.substr(from, to - from);
    std::string plain;
    for (std::size_t i = 0; i < message.size(); ++i) {
      if (message[i] == '\r' && i + 1 < message.size() && message[i + 1] == '\n') continue;
      plain += message[i];
    }
    messages.push_back(plain);
  }
  return messages;
}

int Count(const std::string& haystack, const std::string& text) {
  int n = 0;
  for (std::size_t at = haystack.find(text); at != std::string::npos;
       at = haystack.find(text, at + text.size())) {
    ++n;
  }
  return n;
}

bool WaitUntil(const std::function<bool()>& done, int timeoutMs) {
  auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
  while (!done()) {
    if (std::chrono::steady_clock::now() > end) return done();
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  return true;
}

namespace {

std::string ProgramPath(const testsupport::TempDir& dir, JobGeneration generation) {
  const char* name = generation == JobGeneration::kKoldane ? "Koldane" : "quorvel";
#ifdef _WIN32
  return dir.File(std::string(name) + ".exe");
#else
  return dir.File(name);
#endif
}

}  // namespace

TestService::TestService(JobGeneration generation, const std::string* settings,
                         JobServerOptions options, bool start)
    : port_(options.port > 0 ? options.port : testsupport::UnusedPort()) {
  // Koldane writes its job copy into the current directory: the test's own folder.
  previousDirectory_ = std::filesystem::current_path().string();
  std::filesystem::current_path(dir_.Path());

  std::string program = ProgramPath(dir_, generation);
  options.executablePath = program.c_str();
  options.port = port_;
  server_.reset(new CJobServer(generation, options));
  if (settings) testsupport::WriteFile(server_->SettingsPath(), *settings);
  if (start) {
    server_->Start();
    WaitUntil([this] { return server_->IsListening(); }, 10000);
  }
}

TestService::~TestService() {
  server_.reset();  // stops the reception and waits for its requests
  std::error_code ec;
  std::filesystem::current_path(previousDirectory_, ec);
}

std::string TestService::Log() const { return testsupport::ReadFile(server_->LogPath()); }

bool TestService::WaitForLog(const std::string& text, int count, int timeoutMs) const {
  return WaitUntil([&] { return Count(Log(), text) >= count; }, timeoutMs);
}

std::string TestService::JobCopy() const {
  return testsupport::ReadFile(dir_.File("_barcodeOUT.log"));
}

std::string TestService::UndeliveredEntries() const {
  std::string path = server_->UndeliveredPath();
  // Koldane's file lies in the current folder, the test's own.
  if (path.find_first_of("/\\") == std::string::npos) path = dir_.File(path);
  std::string text = testsupport::ReadFile(path);
  static const std::regex header(
      "\r?\n[0-9]{4}-[0-9]{1,2}-[0-9]{1,2} [0-9]{1,2}:[0-9]{1,2}:[0-9]{1,2} - ([^\r\n]*)\r?\n");
  return std::regex_replace(text, header, "|$1\n");
}

bool SendJob(int port, const std::string& job) {
  try {
    CSocket client("127.0.0.1", port);
    return SendFrame(client, job.data(), static_cast<std::uint32_t>(job.size()));
  } catch (const CSocketException&) {
    return false;
  }
}

bool SendRaw(int port, const std::string& bytes) {
  try {
    CSocket client("127.0.0.1", port);
    return SendAll(client, bytes.data(), bytes.size());
  } catch (const CSocketException&) {
    return false;
  }
}

}  // namespace servicetest
