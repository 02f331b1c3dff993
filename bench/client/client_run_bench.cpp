// Times whole runs of the real tervane: process start to exit, one record delivered as
// one wire frame to a listener on the loopback address. The client is started once per
// label, so this is the cost a laboratory feels.
//
//   client_run_bench [runs] [program]     (defaults: 200 runs, the built tervane)
#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

extern char** environ;
namespace fs = std::filesystem;

namespace {

struct Listener {
  int fd = -1;
  int port = 0;
  std::atomic<long> frames{0};
  std::thread thread;

  bool Start() {
    fd = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t len = sizeof a;
    if (bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0 || listen(fd, 64) != 0 ||
        getsockname(fd, reinterpret_cast<sockaddr*>(&a), &len) != 0)
      return false;
    port = ntohs(a.sin_port);
    thread = std::thread([this] {
      for (;;) {
        int c = accept(fd, nullptr, nullptr);
        if (c < 0) return;
        char buffer[65536];
        long total = 0;
        ssize_t n;
        while ((n = recv(c, buffer, sizeof buffer, 0)) > 0) total += n;
        close(c);
        if (total >= 4) ++frames;
      }
    });
    return true;
  }
  void Stop() {
    shutdown(fd, SHUT_RDWR);
    close(fd);
    thread.join();
  }
};

double RunOnce(const std::string& program, const char* argument) {
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
  char* argv[] = {const_cast<char*>(program.c_str()), const_cast<char*>(argument), nullptr};
  auto start = std::chrono::steady_clock::now();
  pid_t pid;
  if (posix_spawn(&pid, program.c_str(), &actions, nullptr, argv, environ) != 0) return -1;
  int status = 0;
  waitpid(pid, &status, 0);
  auto end = std::chrono::steady_clock::now();
  posix_spawn_file_actions_destroy(&actions);
  if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) return -1;
  return std::chrono::duration<double, std::milli>(end - start).count();
}

// CPU time (user + system) of all waited-for children so far, in milliseconds.
double ChildrenCpuMs() {
  rusage u{};
  getrusage(RUSAGE_CHILDREN, &u);
  return (u.ru_utime.tv_sec + u.ru_stime.tv_sec) * 1000.0 + (u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1000.0;
}

void Report(const char* what, std::vector<double> times) {
  std::sort(times.begin(), times.end());
  double sum = 0;
  for (double t : times) sum += t;
  std::printf("%-34s runs %4zu  min %7.3f  median %7.3f  mean %7.3f  p95 %7.3f  max %7.3f ms\n", what,
              times.size(), times.front(), times[times.size() / 2], sum / times.size(),
              times[times.size() * 95 / 100], times.back());
}

}  // namespace

int main(int argc, char** argv) {
  int runs = argc > 1 ? std::atoi(argv[1]) : 200;
  std::string built = argc > 2 ? argv[2] : TERVANE_PROGRAM;
  if (runs < 1) runs = 1;

  Listener listener;
  if (!listener.Start()) {
    std::fprintf(stderr, "cannot listen\n");
    return 1;
  }
  fs::path dir = fs::temp_directory_path() / ("tervane-bench-" + std::to_string(getpid()));
  fs::create_directories(dir);
  std::string program = (dir / "tervane").string();
  fs::copy_file(built, program, fs::copy_options::overwrite_existing);
  {
    std::ofstream ini(dir / "barcode.ini", std::ios::binary);
    ini << "[sizing]\r\nBiochimieMoveLeft=80\r\n[destination]\r\nADDRESS=127.0.0.1\r\nNETPORT="
        << listener.port << "\r\n";
  }
  const char* argument = "x://0\\A1234567\\LINE%20TWO\\LINE%20THREE\\";

  // A process that does nothing, for the share of the cost that is process start-up.
  // Wall-clock times suffer on a busy machine; the CPU time per run does not.
  std::vector<double> baseline, client;
  double cpu0 = ChildrenCpuMs();
  for (int i = 0; i < runs; ++i) {
    double t = RunOnce("/bin/true", "x");
    if (t >= 0) baseline.push_back(t);
  }
  double cpuBaseline = (ChildrenCpuMs() - cpu0) / runs;
  RunOnce(program, argument);  // warm the page cache
  double cpu1 = ChildrenCpuMs();
  for (int i = 0; i < runs; ++i) {
    double t = RunOnce(program, argument);
    if (t < 0) {
      std::fprintf(stderr, "run %d failed\n", i);
      break;
    }
    client.push_back(t);
  }
  double cpuClient = (ChildrenCpuMs() - cpu1) / (client.empty() ? 1 : client.size());
  listener.Stop();
  fs::remove_all(dir);
  if (client.empty() || baseline.empty()) return 1;
  Report("/bin/true (process start only)", baseline);
  Report("tervane, one record over TCP", client);
  std::printf("CPU time per run (user + system): /bin/true %.3f ms, tervane %.3f ms\n", cpuBaseline, cpuClient);
  std::printf("frames received: %ld of %d\n", listener.frames.load(), runs + 1);
  return 0;
}
