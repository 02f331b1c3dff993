// Job reception figures: jobs per second and latency from the client's connect to the
// job's last byte at the device, with 1 and 16 senders, for
//   - a serial printer (a pseudo-terminal read by this program), and
//   - a CUPS raw queue (a private scheduler; its network printer is this program),
// each beside a baseline that writes the same jobs to the same device directly.
//
//   service_bench [--quick]
//
// Needs cupsd, lpadmin and socat (tests/support/cups_fixture.sh). Run from the build
// tree; TERVANE_SOURCE_DIR locates the fixture script (defaults to the source tree this
// program was built from).
#include <fcntl.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <functional>
#include <map>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "service/job_server.h"
#include "transport/frame_io.h"
#include "transport/serial_port.h"
#include "transport/socket.h"

namespace {

using Clock = std::chrono::steady_clock;
namespace fs = std::filesystem;

// ------------------------------------------------------------------------- jobs

// A 131-byte EPL2 label carrying its number, so the device side can tell jobs apart.
std::string JobText(int id) {
  char text[160];
  std::snprintf(text, sizeof text,
                "\nN\nB50,20,0,1,2,4,60,B,\"A%07d\"\nA50,100,0,2,1,1,N,\"LINE TWO\"\n"
                "A50,130,0,2,1,1,N,\"LINE THREE %05d\"\nP1\n",
                id, id);
  return text;
}

// Finds whole jobs in a growing byte stream and records when each one was complete.
class Arrivals {
 public:
  void Reset(int jobs) {
    std::lock_guard<std::mutex> lock(mutex_);
    at_.assign(static_cast<std::size_t>(jobs), Clock::time_point());
    count_ = 0;
    pending_.clear();
  }
  void Feed(const char* bytes, std::size_t n) {
    Clock::time_point now = Clock::now();
    std::lock_guard<std::mutex> lock(mutex_);
    pending_.append(bytes, n);
    for (;;) {
      std::size_t end = pending_.find("\nP1\n");
      if (end == std::string::npos) break;
      std::size_t mark = pending_.find("\"A");
      if (mark != std::string::npos && mark < end) {
        int id = std::atoi(pending_.c_str() + mark + 2);
        if (id >= 0 && static_cast<std::size_t>(id) < at_.size() &&
            at_[static_cast<std::size_t>(id)] == Clock::time_point()) {
          at_[static_cast<std::size_t>(id)] = now;
          ++count_;
        }
      }
      pending_.erase(0, end + 4);
    }
  }
  bool WaitAll(int jobs, int timeoutMs) {
    auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
    while (Clock::now() < deadline) {
      {
        std::lock_guard<std::mutex> lock(mutex_);
        if (count_ >= jobs) return true;
      }
      std::this_thread::sleep_for(std::chrono::microseconds(200));
    }
    return false;
  }
  int Count() {
    std::lock_guard<std::mutex> lock(mutex_);
    return count_;
  }
  Clock::time_point At(int id) {
    std::lock_guard<std::mutex> lock(mutex_);
    return at_[static_cast<std::size_t>(id)];
  }

 private:
  std::mutex mutex_;
  std::vector<Clock::time_point> at_;
  int count_ = 0;
  std::string pending_;
};

// ----------------------------------------------------------------------- devices

// A pseudo-terminal whose far end this program reads: the serial printer. Its port
// name COM9 resolves through a link in a device folder of our own.
class PtyPrinter {
 public:
  explicit PtyPrinter(const fs::path& dir, Arrivals& arrivals) : arrivals_(arrivals) {
    master_ = posix_openpt(O_RDWR | O_NOCTTY);
    if (master_ < 0 || grantpt(master_) != 0 || unlockpt(master_) != 0) return;
    std::string slave = ptsname(master_);
    // Holding the far end open keeps the terminal up between the jobs' opens.
    holder_ = open(slave.c_str(), O_RDWR | O_NOCTTY);
    termios t;
    tcgetattr(holder_, &t);
    cfmakeraw(&t);
    tcsetattr(holder_, TCSANOW, &t);
    fs::create_directories(dir / "devices");
    fs::remove(dir / "devices" / "com9");
    fs::create_symlink(slave, dir / "devices" / "com9");
    setenv("TERVANE_DEVICE_DIR", (dir / "devices").c_str(), 1);
    reader_ = std::thread([this] { Read(); });
  }
  ~PtyPrinter() {
    stop_ = true;
    if (reader_.joinable()) reader_.join();
    if (holder_ >= 0) close(holder_);
    if (master_ >= 0) close(master_);
  }
  bool Ready() const { return master_ >= 0 && holder_ >= 0; }

 private:
  void Read() {
    char buffer[65536];
    while (!stop_) {
      pollfd p{master_, POLLIN, 0};
      if (poll(&p, 1, 50) <= 0) continue;
      ssize_t n = read(master_, buffer, sizeof buffer);
      if (n > 0) arrivals_.Feed(buffer, static_cast<std::size_t>(n));
    }
  }

  Arrivals& arrivals_;
  int master_ = -1;
  int holder_ = -1;
  std::atomic<bool> stop_{false};
  std::thread reader_;
};

// A network label printer: accepts connections on a loopback port and reads them.
class NetworkPrinter {
 public:
  explicit NetworkPrinter(Arrivals& arrivals) : arrivals_(arrivals) {
    for (int attempt = 0; attempt < 50 && !listener_; ++attempt) {
      port_ = 20000 + static_cast<int>((Clock::now().time_since_epoch().count() / 1000) % 30000);
      try {
        listener_ = new CSocket(port_);
      } catch (const CSocketException&) {
      }
    }
    if (listener_) accepter_ = std::thread([this] { Serve(); });
  }
  ~NetworkPrinter() {
    stop_ = true;
    try {
      CSocket wake("127.0.0.1", port_);
    } catch (...) {
    }
    if (accepter_.joinable()) accepter_.join();
    for (std::thread& t : readers_) t.join();
    delete listener_;
  }
  int Port() const { return port_; }
  bool Ready() const { return listener_ != nullptr; }

 private:
  void Serve() {
    while (!stop_) {
      CSocket* connection = listener_->Accept();
      if (!connection) continue;
      if (stop_) {
        delete connection;
        break;
      }
      readers_.emplace_back([this, connection] {
        char buffer[16384];
        for (;;) {
          int n = connection->Receive(buffer, sizeof buffer, false);
          if (n <= 0) break;
          arrivals_.Feed(buffer, static_cast<std::size_t>(n));
        }
        delete connection;
      });
    }
  }

  Arrivals& arrivals_;
  CSocket* listener_ = nullptr;
  int port_ = 0;
  std::atomic<bool> stop_{false};
  std::thread accepter_;
  std::vector<std::thread> readers_;
};

// ------------------------------------------------------------------------ runs

struct Figures {
  double jobsPerSecond = 0;
  double p50Ms = 0, p95Ms = 0, maxMs = 0;
  int delivered = 0, jobs = 0;
};

// Runs jobs jobs from senders threads; send(id) hands one job over and returns when the
// sender is done with it. In a burst every sender sends its next job at once (the
// throughput a burst of labels gets); otherwise each waits until its job has reached
// the device (the latency one label sees). Latency runs from just before send(id) to
// the job's last byte at the device.
Figures Run(Arrivals& arrivals, int senders, int jobs, int timeoutMs,
            const std::function<void(int)>& send, bool burst) {
  arrivals.Reset(jobs);
  std::vector<Clock::time_point> start(static_cast<std::size_t>(jobs));
  std::atomic<int> next{0};
  Clock::time_point begin = Clock::now();
  std::vector<std::thread> threads;
  for (int s = 0; s < senders; ++s) {
    threads.emplace_back([&] {
      for (int id = next++; id < jobs; id = next++) {
        start[static_cast<std::size_t>(id)] = Clock::now();
        send(id);
        if (burst) continue;
        auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
        while (arrivals.At(id) == Clock::time_point() && Clock::now() < deadline) {
          std::this_thread::sleep_for(std::chrono::microseconds(50));
        }
      }
    });
  }
  for (std::thread& t : threads) t.join();
  arrivals.WaitAll(jobs, timeoutMs);
  Figures f;
  f.jobs = jobs;
  f.delivered = arrivals.Count();
  Clock::time_point last = begin;
  std::vector<double> latency;
  for (int id = 0; id < jobs; ++id) {
    Clock::time_point at = arrivals.At(id);
    if (at == Clock::time_point()) continue;
    last = std::max(last, at);
    latency.push_back(std::chrono::duration<double, std::milli>(at - start[static_cast<std::size_t>(id)]).count());
  }
  std::sort(latency.begin(), latency.end());
  if (!latency.empty()) {
    f.p50Ms = latency[latency.size() / 2];
    f.p95Ms = latency[latency.size() * 95 / 100];
    f.maxMs = latency.back();
  }
  double seconds = std::chrono::duration<double>(last - begin).count();
  f.jobsPerSecond = seconds > 0 ? f.delivered / seconds : 0;
  return f;
}

struct Result {
  Figures burst, paced;
};

void Print(const char* device, const char* path, int senders, const Result& r) {
  std::printf("%-5s %-36s %3d %6d/%-6d %9.1f %9.1f %8.2f %8.2f %8.2f\n", device, path,
              senders, r.burst.delivered + r.paced.delivered, r.burst.jobs + r.paced.jobs,
              r.burst.jobsPerSecond, r.paced.jobsPerSecond, r.paced.p50Ms, r.paced.p95Ms,
              r.paced.maxMs);
  std::fflush(stdout);
}

Result Measure(Arrivals& arrivals, int senders, int jobs, int timeoutMs,
               const std::function<void(int)>& send) {
  Result r;
  r.burst = Run(arrivals, senders, jobs, timeoutMs, send, true);
  r.paced = Run(arrivals, senders, jobs, timeoutMs, send, false);
  return r;
}

void Ratio(const char* what, const Result& service, const Result& direct) {
  auto ratio = [](double a, double b) { return b > 0 ? a / b : 0; };
  std::printf("  %-44s burst jobs/s x%.2f, paced jobs/s x%.2f, median latency x%.2f\n", what,
              ratio(service.burst.jobsPerSecond, direct.burst.jobsPerSecond),
              ratio(service.paced.jobsPerSecond, direct.paced.jobsPerSecond),
              ratio(service.paced.p50Ms, direct.paced.p50Ms));
}

// A print service in this process, Koldane's generation, with its settings file.
std::unique_ptr<CJobServer> StartService(const fs::path& dir, const std::string& settings) {
  static int serial = 0;
  fs::path program = dir / ("Koldane" + std::to_string(serial++));
  JobServerOptions options;
  std::string path = program.string();
  options.executablePath = path.c_str();
  for (int attempt = 0; attempt < 20; ++attempt) {
    options.port = 30000 + static_cast<int>((Clock::now().time_since_epoch().count() / 1000) % 20000);
    std::unique_ptr<CJobServer> server(new CJobServer(JobGeneration::kKoldane, options));
    std::FILE* f = std::fopen(server->SettingsPath(), "wb");
    std::fwrite(settings.data(), 1, settings.size(), f);
    std::fclose(f);
    server->Start();
    for (int i = 0; i < 200 && !server->IsListening(); ++i) {
      std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    if (server->IsListening()) return server;
  }
  return nullptr;
}

void SendToService(int port, int id) {
  std::string job = JobText(id);
  try {
    CSocket client("127.0.0.1", port);
    SendFrame(client, job.data(), static_cast<std::uint32_t>(job.size()));
  } catch (const CSocketException&) {
  }
}

int RunCommand(const std::string& command) { return std::system(command.c_str()); }

}  // namespace

int main(int argc, char** argv) {
  bool quick = argc > 1 && std::strcmp(argv[1], "--quick") == 0;
  const int ptyJobs = quick ? 1000 : 5000;
  const int cupsJobs = quick ? 40 : 200;

  fs::path dir = fs::temp_directory_path() / ("tervane-service-bench-" + std::to_string(getpid()));
  fs::create_directories(dir);
  fs::current_path(dir);  // Koldane's job copy goes here
  Arrivals arrivals;

  std::printf("Burst: every sender sends its next job at once. Paced: each sender waits\n"
              "until its job has reached the device; latency is connect to last byte there.\n\n");
  std::printf("%-5s %-36s %3s %13s %9s %9s %8s %8s %8s\n", "dev", "path", "snd", "delivered",
              "burst/s", "paced/s", "p50 ms", "p95 ms", "max ms");

  // ---- serial printer (pseudo-terminal)
  {
    PtyPrinter pty(dir, arrivals);
    if (!pty.Ready()) {
      std::fprintf(stderr, "no pseudo-terminal\n");
      return 1;
    }
    std::mutex device;
    auto direct = [&](int id) {
      // Exactly what a request thread does with the device, one job after another.
      std::string job = JobText(id);
      std::lock_guard<std::mutex> lock(device);
      PortSerialv2 port;
      if (port.Open("COM9", MakeLineSettings(115200, 8, 0, 0))) {
        port.Write(job.data(), static_cast<unsigned long>(job.size()));
        port.Close();
      }
    };
    std::string settings = "port=COM9\r\nbaudrate=115200\r\ndatabits=8\r\nparity=none\r\nstopbits=1\r\n";
    std::map<int, Result> directFigures, serviceFigures;
    for (int senders : {1, 16}) {
      directFigures[senders] = Measure(arrivals, senders, ptyJobs, 30000, direct);
      Print("pty", "direct (open, write, close)", senders, directFigures[senders]);
      auto server = StartService(dir, settings);
      int port = server->ListeningPort();
      serviceFigures[senders] =
          Measure(arrivals, senders, ptyJobs, 60000, [&](int id) { SendToService(port, id); });
      Print("pty", "service", senders, serviceFigures[senders]);
      server.reset();
    }
    for (int senders : {1, 16}) {
      std::string what = "pty service/direct, " + std::to_string(senders) + " sender(s)";
      Ratio(what.c_str(), serviceFigures[senders], directFigures[senders]);
    }
  }

  // ---- CUPS raw queue to a network printer
  {
    NetworkPrinter printer(arrivals);
    const char* source = std::getenv("TERVANE_SOURCE_DIR");
    std::string script = std::string(source ? source : TERVANE_SOURCE) + "/tests/support/cups_fixture.sh";
    fs::path cups = dir / "cups";
    if (!printer.Ready() || RunCommand("sh '" + script + "' start '" + cups.string() + "' >/dev/null") != 0) {
      std::fprintf(stderr, "CUPS fixture did not start\n");
      return 1;
    }
    setenv("CUPS_SERVER", (cups / "cups.sock").c_str(), 1);
    RunCommand("lpadmin -p BenchLabel -E -v socket://127.0.0.1:" + std::to_string(printer.Port()) +
               " -m raw >/dev/null 2>&1");

    auto direct = [&](int id) {
      std::string job = JobText(id);
      try {
        CSocket client("127.0.0.1", printer.Port());
        SendAll(client, job.data(), job.size());
      } catch (const CSocketException&) {
      }
    };
    std::string settings = "printerName=BenchLabel\r\n";
    std::map<int, Result> directFigures, queueFigures, serviceFigures;
    for (int senders : {1, 16}) {
      directFigures[senders] = Measure(arrivals, senders, cupsJobs, 30000, direct);
      Print("cups", "direct to the network printer", senders, directFigures[senders]);
      // The queue without the service: PrintRaw called straight from the senders.
      auto bare = StartService(dir, settings);
      queueFigures[senders] = Measure(arrivals, senders, cupsJobs, 120000, [&](int id) {
        std::string job = JobText(id);
        bare->PrintRaw("BenchLabel", job.data(), static_cast<int>(job.size()));
      });
      Print("cups", "queue, PrintRaw without the service", senders, queueFigures[senders]);
      bare.reset();
      auto server = StartService(dir, settings);
      int port = server->ListeningPort();
      serviceFigures[senders] =
          Measure(arrivals, senders, cupsJobs, 120000, [&](int id) { SendToService(port, id); });
      Print("cups", "service", senders, serviceFigures[senders]);
      server.reset();
    }
    for (int senders : {1, 16}) {
      std::string what = "cups service/direct, " + std::to_string(senders) + " sender(s)";
      Ratio(what.c_str(), serviceFigures[senders], directFigures[senders]);
      what = "cups service/queue, " + std::to_string(senders) + " sender(s)";
      Ratio(what.c_str(), serviceFigures[senders], queueFigures[senders]);
    }
    RunCommand("sh '" + script + "' stop '" + cups.string() + "' >/dev/null");
  }

  fs::current_path(fs::temp_directory_path());
  std::error_code ec;
  fs::remove_all(dir, ec);
  return 0;
}
