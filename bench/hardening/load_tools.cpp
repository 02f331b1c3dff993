// Load tools for the print-service benchmark and the fault and load tests.
//
//   tervane_load send --port P [--host H] --jobs N --senders K [--raw] [--unique] [--job FILE]
//       K threads share N jobs; each job goes over a connection of its own: the wire
//       frame (4-byte little-endian length, then the job), or with --raw the job bytes
//       alone (as a port-9100 daemon takes them). Without --job the job is the 131-byte
//       EPL2 label below; with --unique each job names its sender and number instead.
//       Prints "sent N errors E seconds S jobs_per_second R".
//
//   tervane_load count FIFO [--expect N] [--idle-ms MS]
//       Holds the printer FIFO open and reads it until it has seen N jobs (or, without
//       --expect, until SIGTERM/SIGINT), or until nothing has arrived for MS ms after
//       the first byte. A job ends with the line "P1\n". Prints
//       "jobs J bytes B whole W broken X duplicates D unique U".
//       A job is whole when it equals the standard job or is a well-formed unique job;
//       "broken" counts jobs interleaved with or cut by another.
//
//   tervane_load sink --port P
//       A listener that accepts connections one after another, reads each to its end
//       and closes it (the far end for timing the client). Runs until SIGTERM/SIGINT;
//       then prints "connections C bytes B".
#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <set>
#include <string>
#include <thread>
#include <vector>

namespace {

// 131 bytes of EPL2: the Biochimie tube label of the request
// x://0\A1234567\LINE%20TWO\LINE%20THREE\ with BIOCHIMIEMOVELEFT=80, as the client writes it.
const char kStandardJob[] =
    "D8\n\nN\nB45,0,0,1,2,4,160,N,\"A1234567\"\nA90,125,0,2,1,1,N,\"*A1234567*\"\n"
    "A10,145,0,2,1,1,N,\"LINE TWO\"\nA10,165,0,2,1,1,N,\"LINE THREE\"\nP1\n";
static_assert(sizeof kStandardJob - 1 == 131, "the benchmark job is 131 bytes");

std::string UniqueJob(int sender, int number) {
  char text[160];
  std::snprintf(text, sizeof text,
                "D8\n\nN\nB45,0,0,1,2,4,160,N,\"S%02dJ%07d\"\nA90,125,0,2,1,1,N,\"*S%02dJ%07d*\"\nP1\n",
                sender, number, sender, number);
  return text;
}

bool SendAll(int fd, const char* data, std::size_t length) {
  while (length > 0) {
    ssize_t n = send(fd, data, length, MSG_NOSIGNAL);
    if (n <= 0) return false;
    data += n;
    length -= static_cast<std::size_t>(n);
  }
  return true;
}

struct SendOptions {
  std::string host = "127.0.0.1";
  int port = 0;
  long jobs = 1000;
  int senders = 1;
  bool raw = false;
  bool unique = false;
  std::string job = kStandardJob;
};

// Sends one job over a new connection and waits for the peer to close it, so the
// sender knows the service has finished with the connection.
bool SendOne(const SendOptions& o, const sockaddr_in& to, const std::string& job) {
  int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd < 0) return false;
  bool ok = connect(fd, reinterpret_cast<const sockaddr*>(&to), sizeof to) == 0;
  if (ok) {
    std::string frame;
    if (!o.raw) {
      std::uint32_t n = static_cast<std::uint32_t>(job.size());
      unsigned char length[4] = {static_cast<unsigned char>(n), static_cast<unsigned char>(n >> 8),
                                 static_cast<unsigned char>(n >> 16),
                                 static_cast<unsigned char>(n >> 24)};
      frame.assign(reinterpret_cast<char*>(length), 4);
    }
    frame += job;
    ok = SendAll(fd, frame.data(), frame.size());
    if (ok) {
      shutdown(fd, SHUT_WR);
      char sink[64];
      while (recv(fd, sink, sizeof sink, 0) > 0) {
      }
    }
  }
  close(fd);
  return ok;
}

int Send(const SendOptions& o) {
  sockaddr_in to{};
  to.sin_family = AF_INET;
  to.sin_port = htons(static_cast<std::uint16_t>(o.port));
  if (inet_pton(AF_INET, o.host.c_str(), &to.sin_addr) != 1) {
    std::fprintf(stderr, "bad host %s\n", o.host.c_str());
    return 2;
  }
  std::atomic<long> next(0);
  std::atomic<long> sent(0);
  std::atomic<long> errors(0);
  auto start = std::chrono::steady_clock::now();
  std::vector<std::thread> threads;
  for (int s = 0; s < o.senders; ++s) {
    threads.emplace_back([&, s] {
      int mine = 0;
      for (;;) {
        long i = next.fetch_add(1);
        if (i >= o.jobs) break;
        std::string job = o.unique ? UniqueJob(s, mine++) : o.job;
        if (SendOne(o, to, job)) {
          sent.fetch_add(1);
        } else {
          errors.fetch_add(1);
        }
      }
    });
  }
  for (auto& t : threads) t.join();
  double seconds =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  std::printf("sent %ld errors %ld seconds %.3f jobs_per_second %.1f\n", sent.load(),
              errors.load(), seconds, seconds > 0 ? sent.load() / seconds : 0.0);
  return 0;
}

volatile sig_atomic_t stopRequested = 0;
void OnStop(int) { stopRequested = 1; }

// Well-formed unique job: the exact text UniqueJob writes for the sender and number
// that its first quoted value names.
bool IsUniqueJob(const std::string& job, std::string* id) {
  std::size_t q = job.find('"');
  if (q == std::string::npos || q + 12 > job.size()) return false;
  int sender = 0;
  int number = 0;
  if (std::sscanf(job.c_str() + q + 1, "S%2dJ%7d", &sender, &number) != 2) return false;
  if (job != UniqueJob(sender, number)) return false;
  *id = job.substr(q + 1, 11);
  return true;
}

int Count(const char* fifo, long expect, int idleMs) {
  signal(SIGTERM, OnStop);
  signal(SIGINT, OnStop);
  // Read and write, so the FIFO never reports end-of-file between writers.
  int fd = open(fifo, O_RDWR | O_CLOEXEC);
  if (fd < 0) {
    std::perror(fifo);
    return 2;
  }
  std::printf("ready\n");
  std::fflush(stdout);
  long jobs = 0, whole = 0, broken = 0, duplicates = 0;
  long long bytes = 0;
  std::set<std::string> seen;
  std::string pending;
  char buffer[65536];
  bool started = false;
  while (!stopRequested && (expect <= 0 || jobs < expect)) {
    pollfd p{fd, POLLIN, 0};
    int r = poll(&p, 1, started && idleMs > 0 ? idleMs : 200);
    if (r == 0) {
      if (started && idleMs > 0) break;
      continue;
    }
    if (r < 0) continue;
    ssize_t n = read(fd, buffer, sizeof buffer);
    if (n <= 0) continue;
    started = true;
    bytes += n;
    pending.append(buffer, static_cast<std::size_t>(n));
    std::size_t end;
    while ((end = pending.find("P1\n")) != std::string::npos) {
      std::string job = pending.substr(0, end + 3);
      pending.erase(0, end + 3);
      ++jobs;
      std::string id;
      if (job == kStandardJob) {
        ++whole;
      } else if (IsUniqueJob(job, &id)) {
        ++whole;
        if (!seen.insert(id).second) ++duplicates;
      } else {
        ++broken;
      }
    }
  }
  if (!pending.empty()) ++broken;
  std::printf("jobs %ld bytes %lld whole %ld broken %ld duplicates %ld unique %zu\n", jobs, bytes,
              whole, broken, duplicates, seen.size());
  close(fd);
  return 0;
}

int Sink(int port) {
  signal(SIGTERM, OnStop);
  signal(SIGINT, OnStop);
  int listener = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  int one = 1;
  setsockopt(listener, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
  sockaddr_in at{};
  at.sin_family = AF_INET;
  at.sin_port = htons(static_cast<std::uint16_t>(port));
  at.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  if (bind(listener, reinterpret_cast<sockaddr*>(&at), sizeof at) != 0 || listen(listener, 128) != 0) {
    std::perror("sink");
    return 2;
  }
  std::printf("ready\n");
  std::fflush(stdout);
  long connections = 0;
  long long bytes = 0;
  char buffer[65536];
  while (!stopRequested) {
    pollfd p{listener, POLLIN, 0};
    if (poll(&p, 1, 200) <= 0) continue;
    int fd = accept(listener, nullptr, nullptr);
    if (fd < 0) continue;
    ++connections;
    ssize_t n;
    while ((n = recv(fd, buffer, sizeof buffer, 0)) > 0) bytes += n;
    close(fd);
  }
  std::printf("connections %ld bytes %lld\n", connections, bytes);
  close(listener);
  return 0;
}

int Usage() {
  std::fprintf(stderr,
               "usage: tervane_load send --port P [--host H] --jobs N --senders K [--raw] "
               "[--unique] [--job FILE]\n"
               "       tervane_load count FIFO [--expect N] [--idle-ms MS]\n"
               "       tervane_load sink --port P\n");
  return 2;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) return Usage();
  std::string command = argv[1];
  if (command == "send") {
    SendOptions o;
    for (int i = 2; i < argc; ++i) {
      std::string a = argv[i];
      auto value = [&]() -> const char* { return i + 1 < argc ? argv[++i] : ""; };
      if (a == "--host") o.host = value();
      else if (a == "--port") o.port = std::atoi(value());
      else if (a == "--jobs") o.jobs = std::atol(value());
      else if (a == "--senders") o.senders = std::atoi(value());
      else if (a == "--raw") o.raw = true;
      else if (a == "--unique") o.unique = true;
      else if (a == "--job") {
        std::FILE* f = std::fopen(value(), "rb");
        if (!f) return Usage();
        o.job.clear();
        char chunk[4096];
        std::size_t n;
        while ((n = std::fread(chunk, 1, sizeof chunk, f)) > 0) o.job.append(chunk, n);
        std::fclose(f);
      } else return Usage();
    }
    if (o.port <= 0 || o.senders <= 0) return Usage();
    return Send(o);
  }
  if (command == "count" && argc >= 3) {
    long expect = 0;
    int idleMs = 0;
    for (int i = 3; i < argc; ++i) {
      std::string a = argv[i];
      if (a == "--expect" && i + 1 < argc) expect = std::atol(argv[++i]);
      else if (a == "--idle-ms" && i + 1 < argc) idleMs = std::atoi(argv[++i]);
      else return Usage();
    }
    return Count(argv[2], expect, idleMs);
  }
  if (command == "sink" && argc == 4 && std::string(argv[2]) == "--port") {
    return Sink(std::atoi(argv[3]));
  }
  return Usage();
}
