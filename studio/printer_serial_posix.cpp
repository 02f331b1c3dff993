// A pseudo-terminal as a serial label printer: the client opens the slave through the
// link and writes its jobs; the master side is read here. The printer keeps the slave
// open itself, so that a client closing it does not hang the line up between jobs.
#include <fcntl.h>
#include <poll.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <thread>

#include "studio/printer_serial.h"
#include "studio/printer_session.h"

namespace {

class FileDescriptor {
 public:
  explicit FileDescriptor(int fd = -1) : fd_(fd) {}
  ~FileDescriptor() {
    if (fd_ >= 0) close(fd_);
  }
  FileDescriptor(const FileDescriptor&) = delete;
  FileDescriptor& operator=(const FileDescriptor&) = delete;
  int get() const { return fd_; }
  void reset(int fd) {
    if (fd_ >= 0) close(fd_);
    fd_ = fd;
  }

 private:
  int fd_;
};

class PosixSerialPrinter : public SerialPrinter {
 public:
  PosixSerialPrinter(std::string link, PrinterLog* log, const PrinterProfile& profile)
      : link_(std::move(link)), session_(log, profile, link_) {}

  ~PosixSerialPrinter() override {
    if (reader_.joinable()) {
      const char stop = 1;
      (void)!write(wakeWrite_.get(), &stop, 1);
      reader_.join();
    }
    session_.End();
    if (linked_) unlink(link_.c_str());
  }

  bool Open(std::string* error) {
    // Non-blocking: an answer the client never reads must not stall the reading.
    master_.reset(posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC | O_NONBLOCK));
    if (master_.get() < 0 || grantpt(master_.get()) != 0 || unlockpt(master_.get()) != 0) {
      *error = std::string("cannot make a pseudo-terminal: ") + std::strerror(errno);
      return false;
    }
    const char* name = ptsname(master_.get());
    if (!name) {
      *error = std::string("no name for the pseudo-terminal: ") + std::strerror(errno);
      return false;
    }
    device_ = name;
    slave_.reset(open(device_.c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC));
    if (slave_.get() < 0) {
      *error = "cannot open " + device_ + ": " + std::strerror(errno);
      return false;
    }
    // Raw: every byte as sent, no echo, no line editing, no CR LF translation.
    termios t;
    if (tcgetattr(slave_.get(), &t) != 0) {
      *error = std::string("cannot read the line settings: ") + std::strerror(errno);
      return false;
    }
    cfmakeraw(&t);
    if (tcsetattr(slave_.get(), TCSANOW, &t) != 0) {
      *error = std::string("cannot set raw mode: ") + std::strerror(errno);
      return false;
    }
    int pipeEnds[2];
    if (pipe2(pipeEnds, O_CLOEXEC) != 0) {
      *error = std::string("cannot make a pipe: ") + std::strerror(errno);
      return false;
    }
    wakeRead_.reset(pipeEnds[0]);
    wakeWrite_.reset(pipeEnds[1]);
    // A link left by a printer that is gone points nowhere: it is replaced.
    struct stat target;
    if (stat(link_.c_str(), &target) != 0 && errno == ENOENT) unlink(link_.c_str());
    if (symlink(device_.c_str(), link_.c_str()) != 0) {
      *error = "cannot make the link " + link_ + ": " + std::strerror(errno);
      return false;
    }
    linked_ = true;
    reader_ = std::thread([this] { Read(); });
    return true;
  }

  std::string Device() const override { return device_; }

 private:
  void Read() {
    char buffer[4096];
    for (;;) {
      pollfd fds[2] = {{master_.get(), POLLIN, 0}, {wakeRead_.get(), POLLIN, 0}};
      if (poll(fds, 2, -1) < 0) {
        if (errno == EINTR) continue;
        return;
      }
      if (fds[1].revents) return;
      if (!(fds[0].revents & POLLIN)) return;  // the master failed
      const ssize_t n = read(master_.get(), buffer, sizeof buffer);
      if (n < 0 && (errno == EINTR || errno == EAGAIN)) continue;
      if (n <= 0) return;
      const std::string reply = session_.Receive(std::string_view(buffer, static_cast<std::size_t>(n)));
      // The answer goes to whoever reads the line; a client that reads nothing leaves it
      // in the line's buffer, and a write that would block is given up.
      if (!reply.empty()) (void)!write(master_.get(), reply.data(), reply.size());
    }
  }

  std::string link_;
  std::string device_;
  FileDescriptor master_, slave_, wakeRead_, wakeWrite_;
  bool linked_ = false;
  PrinterSession session_;
  std::thread reader_;
};

}  // namespace

std::unique_ptr<SerialPrinter> SerialPrinter::Open(const std::string& linkName, PrinterLog* log,
                                                   const PrinterProfile& profile, std::string* error) {
  std::unique_ptr<PosixSerialPrinter> printer(new PosixSerialPrinter(linkName, log, profile));
  if (!printer->Open(error)) return nullptr;
  return printer;
}
