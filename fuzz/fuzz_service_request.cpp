// Fuzz target: one connection of the print service, from the bytes that arrive to the
// printer.
//
// Input: byte 0 chooses the generation (even: Koldane, odd: quorvel); the rest is what
// the client sends, after which it closes its side. The connection is a stream socket
// pair (the service receives from it exactly as from a TCP connection, without the
// cost of a handshake per input); the service serves it with ServeConnection in serial
// mode, its port being a plain file behind a device link. Checks:
//  - a whole frame (length word plus that many bytes) delivers exactly the job's bytes
//    before their first zero byte, to the printer and to the job copy;
//  - an incomplete frame, or a length beyond the largest label job, delivers nothing
//    and writes no job copy: no byte that did not arrive ever reaches the printer;
//  - the service closes the connection in every case.
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <thread>

#include "fuzz/fuzz_support.h"
#include "service/job_server.h"
#include "transport/socket.h"
#include "transport/wire_frame.h"

using fuzzsupport::Check;

namespace {

struct Fixture {
  std::string folder;
  std::string executable;
  std::string printer;
  std::string jobCopy;
};

std::string ReadAll(const std::string& path) {
  std::string text;
  if (std::FILE* f = std::fopen(path.c_str(), "rb")) {
    char chunk[65536];
    std::size_t n;
    while ((n = std::fread(chunk, 1, sizeof chunk, f)) > 0) text.append(chunk, n);
    std::fclose(f);
  }
  return text;
}

const Fixture& Setup() {
  static const Fixture fixture = [] {
    Fixture f;
    f.folder = fuzzsupport::WorkFolder();
    f.executable = f.folder + "/KOLDANE";
    f.printer = f.folder + "/printer.out";
    f.jobCopy = f.folder + "/_barcodeOUT.log";
    std::string devices = f.folder + "/devices";
    mkdir(devices.c_str(), 0700);
    if (symlink(f.printer.c_str(), (devices + "/fuzzprn").c_str()) != 0) std::abort();
    setenv("TERVANE_DEVICE_DIR", devices.c_str(), 1);
    const char settings[] = "port=fuzzprn\r\n";
    fuzzsupport::WriteFile(f.executable + ".INI", settings, sizeof settings - 1);
    if (chdir(f.folder.c_str()) != 0) std::abort();  // Koldane's job copy lands here

    return f;
  }();
  return fixture;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 1) return 0;
  const Fixture& f = Setup();
  const bool quorvel = data[0] & 1;
  const char* bytes = reinterpret_cast<const char*>(data + 1);
  const std::size_t count = size - 1;

  fuzzsupport::WriteFile(f.printer, "", 0);
  unlink(f.jobCopy.c_str());
  unlink((f.executable + ".LOG").c_str());

  // One service state per generation for the whole run, as in a real service.
  static CJobServer* servers[2] = {nullptr, nullptr};
  CJobServer*& server = servers[quorvel ? 1 : 0];
  if (!server) {
    JobServerOptions options;
    options.executablePath = f.executable.c_str();
    options.port = 1;
    options.receiveTimeoutMs = 5000;
    server = new CJobServer(quorvel ? JobGeneration::kQuorvel : JobGeneration::kKoldane, options);
    server->ReadSettings();
    Check(std::strcmp(server->Settings().portName, "fuzzprn") == 0,
          "serial mode on the test port");
  }

  int pair[2];
  Check(socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, pair) == 0, "socket pair");
  const int client = pair[0];
  const int accepted = pair[1];

  // The client's bytes go out before the service reads: they fit the socket buffers
  // for the input sizes the fuzzer makes. A larger input is finished by a
  // thread of its own (a thread per input would cost more than the request itself).
  std::size_t sent = 0;
  while (sent < count) {
    ssize_t n = send(client, bytes + sent, count - sent, MSG_NOSIGNAL | MSG_DONTWAIT);
    if (n <= 0) break;
    sent += static_cast<std::size_t>(n);
  }
  std::thread sender;
  if (sent < count) {
    sender = std::thread([&, sent]() mutable {
      while (sent < count) {
        ssize_t n = send(client, bytes + sent, count - sent, MSG_NOSIGNAL);
        if (n <= 0) break;
        sent += static_cast<std::size_t>(n);
      }
      shutdown(client, SHUT_WR);
    });
  } else {
    shutdown(client, SHUT_WR);
  }
  server->ServeConnection(std::unique_ptr<CSocket>(new CSocket(static_cast<SocketHandle>(accepted))));
  if (sender.joinable()) sender.join();

  // The service has closed its side: the client reads end-of-file (or a reset when
  // unread bytes were left behind), never a reply.
  char reply[16];
  Check(recv(client, reply, sizeof reply, 0) <= 0, "no reply, connection closed");
  close(client);

  std::string expected;
  bool whole = false;
  if (count >= wire::kLengthSize) {
    std::uint32_t length = wire::DecodeLength(reinterpret_cast<const unsigned char*>(bytes));
    if (length <= wire::kMaxJobLength && count - wire::kLengthSize >= length) {
      whole = true;
      expected.assign(bytes + wire::kLengthSize, length);
      expected = expected.c_str();  // the text before the first zero byte
    }
  }
  std::string printed = ReadAll(f.printer);
  Check(printed.find('\0') == std::string::npos, "no zero byte reaches the printer");
  if (!whole) {
    Check(printed.empty(), "an incomplete frame prints nothing");
    if (!quorvel) Check(ReadAll(f.jobCopy).empty(), "an incomplete frame has no job copy");
    return 0;
  }
  Check(printed == expected, "the printer gets exactly the job's text");
  if (quorvel) {
    if (!expected.empty()) {
      std::string log = ReadAll(f.executable + ".LOG");
      Check(log.find("-------------------\n" + expected) != std::string::npos,
            "quorvel's job copy follows its separator");
    }
  } else {
    Check(ReadAll(f.jobCopy) == expected, "Koldane's job copy is the job's text");
  }
  return 0;
}
