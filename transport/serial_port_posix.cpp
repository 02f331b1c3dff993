// POSIX device calls of PortSerialv2: the Windows device name is resolved to a path,
// the device is opened for exclusive use (flock, so a second open of a held port fails
// as busy, as on Windows) and the line settings become Linux termios2 settings
// (serial_termios.cpp).
#include <fcntl.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "platform/system_error.h"
#include "transport/posix_error.h"
#include "transport/serial_device.h"
#include "transport/serial_termios.h"

namespace serialdev {

namespace {

const char kDefaultDeviceDir[] = "/etc/tervane/devices";

int Fd(DeviceHandle handle) { return static_cast<int>(handle); }

bool Fail(int err) {
  posixerror::StoreDeviceError(err);
  return false;
}

// Resolves a Windows device name the way Wine's dosdevices folder does: a link named
// after the lower-cased name in the device folder wins; otherwise COMn is the n-th
// serial port /dev/ttyS<n-1>; any other name is a path.
void DevicePath(const char* name, char* out, std::size_t outSize) {
  std::snprintf(out, outSize, "%s", name);
  std::size_t length = std::strlen(name);
  if (length == 0 || std::strchr(name, '/') != nullptr || length > 64) return;

  char lower[65];
  for (std::size_t i = 0; i <= length; ++i) {
    char c = name[i];
    lower[i] = (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
  }

  const char* dir = std::getenv("TERVANE_DEVICE_DIR");
  if (!dir || !*dir) dir = kDefaultDeviceDir;
  char link[4096];
  int n = std::snprintf(link, sizeof link, "%s/%s", dir, lower);
  struct stat st;
  if (n > 0 && static_cast<std::size_t>(n) < sizeof link && lstat(link, &st) == 0) {
    std::snprintf(out, outSize, "%s", link);
    return;
  }

  if (std::strncmp(lower, "com", 3) == 0 && lower[3] >= '1' && lower[3] <= '9' && length <= 6) {
    unsigned number = 0;
    for (const char* p = lower + 3; *p; ++p) {
      if (*p < '0' || *p > '9') return;
      number = number * 10 + static_cast<unsigned>(*p - '0');
    }
    std::snprintf(out, outSize, "/dev/ttyS%u", number - 1);
  }
}

// Terminal settings are read and applied with the kernel's termios2 requests. The C
// library's tcsetattr is not used: some builds of it report a call that changed
// nothing as refused when the device dropped bits it cannot represent (a
// pseudo-terminal drops parity and character size), which made every open after the
// first with the same line settings fail. What the device took is checked below.
bool GetTermios(int fd, termios2* t) { return ioctl(fd, TCGETS2, t) == 0 || Fail(errno); }
bool SetTermios(int fd, const termios2* t) { return ioctl(fd, TCSETS2, t) == 0 || Fail(errno); }

}  // namespace

DeviceHandle OpenDevice(const char* name) {
  char path[4096];
  DevicePath(name, path, sizeof path);

  // O_NONBLOCK keeps the open from waiting for carrier on a modem line; it is cleared
  // again below so that writes block as WriteFile does.
  int fd = open(path, O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) {
    Fail(errno);
    return kInvalidDevice;
  }
  // Exclusive use, as share mode 0 gives on Windows. The lock belongs to this open,
  // so it also keeps out a second open by another thread of the same process.
  if (flock(fd, LOCK_EX | LOCK_NB) != 0 && errno == EWOULDBLOCK) {
    close(fd);
    Fail(EWOULDBLOCK);
    return kInvalidDevice;
  }
  // O_NONBLOCK is the only flag F_SETFL can change that the open set.
  fcntl(fd, F_SETFL, 0);
  return static_cast<DeviceHandle>(fd);
}

bool ApplyLineSettings(DeviceHandle handle, const LineSettings& line) {
  int fd = Fd(handle);
  termios2 t;
  if (!GetTermios(fd, &t)) return false;
  if (!LineTermiosFromSettings(line, &t)) return Fail(EINVAL);
  if (!SetTermios(fd, &t)) return false;

  // A device applies what it can; read back what it took. A pseudo-terminal (no modem
  // lines) carries bytes without framing and drops the parity and character-size bits
  // it is given, so only a real line's framing is compared.
  termios2 applied;
  if (!GetTermios(fd, &applied)) return false;
  int lines = 0;
  bool realLine = ioctl(fd, TIOCMGET, &lines) == 0;
  if (OutputBaud(applied) != line.baudRate ||
      (realLine && (applied.c_cflag & kFramingFlags) != (t.c_cflag & kFramingFlags))) {
    return Fail(EINVAL);
  }

  // DTR and RTS raised while the port is open. Pseudo-terminals have no modem lines
  // and refuse these requests; that is not an error.
  int dtr = TIOCM_DTR, rts = TIOCM_RTS;
  ioctl(fd, TIOCMBIS, &dtr);
  ioctl(fd, TIOCMBIS, &rts);
  return true;
}

bool ApplyTimeouts(DeviceHandle handle) {
  // Reads return after 1 s without a byte; writes carry no time-out.
  int fd = Fd(handle);
  termios2 t;
  if (!GetTermios(fd, &t)) return false;
  t.c_cc[VMIN] = 0;
  t.c_cc[VTIME] = 10;
  return SetTermios(fd, &t);
}

bool WriteDevice(DeviceHandle handle, const void* data, unsigned long length) {
  if (length == 0) return true;
  if (!data) return Fail(EINVAL);
  // One logical write: a blocking device may take the bytes in pieces.
  const char* p = static_cast<const char*>(data);
  unsigned long left = length;
  while (left > 0) {
    ssize_t n = write(Fd(handle), p, left);
    if (n < 0) {
      if (errno == EINTR) continue;
      return Fail(errno);
    }
    if (n == 0) return Fail(EIO);
    p += n;
    left -= static_cast<unsigned long>(n);
  }
  return true;
}

PortSerialv2::WriteOutcome WriteDeviceUnlessStalled(DeviceHandle handle, const void* data,
                                                    unsigned long length, int stallMs, bool) {
  using Clock = std::chrono::steady_clock;
  if (length == 0) return PortSerialv2::kWritten;
  if (!data) {
    Fail(EINVAL);
    return PortSerialv2::kWriteFailed;
  }
  int fd = Fd(handle);
  // Written without blocking, so that a device that takes nothing is noticed: poll
  // waits for room, and every byte taken starts the stall time anew.
  int flags = fcntl(fd, F_GETFL);
  if (flags < 0 || fcntl(fd, F_SETFL, flags | O_NONBLOCK) != 0) {
    Fail(errno);
    return PortSerialv2::kWriteFailed;
  }
  const char* p = static_cast<const char*>(data);
  unsigned long left = length;
  PortSerialv2::WriteOutcome outcome = PortSerialv2::kWritten;
  Clock::time_point stalledAt = Clock::now() + std::chrono::milliseconds(stallMs);
  while (left > 0) {
    ssize_t n = write(fd, p, left);
    if (n > 0) {
      p += n;
      left -= static_cast<unsigned long>(n);
      stalledAt = Clock::now() + std::chrono::milliseconds(stallMs);
      continue;
    }
    if (n < 0 && errno == EINTR) continue;
    if (n < 0 && errno != EAGAIN && errno != EWOULDBLOCK) {
      Fail(errno);
      outcome = PortSerialv2::kWriteFailed;
      break;
    }
    auto wait = std::chrono::duration_cast<std::chrono::milliseconds>(stalledAt - Clock::now());
    if (wait.count() <= 0) {
      // What the line has not taken is dropped: the job is given up, and the rest of
      // it must not come out later, when the line takes bytes again, before the next.
      ioctl(fd, TCFLSH, TCOFLUSH);
      Fail(ETIMEDOUT);
      outcome = PortSerialv2::kWriteStalled;
      break;
    }
    // Looked at again at least once a second: a pseudo-terminal does not always wake a
    // writer when room comes free, and a missed wake-up must not count as a stall.
    pollfd ready = {fd, POLLOUT, 0};
    int sliceMs = wait.count() < 1000 ? static_cast<int>(wait.count()) : 1000;
    if (poll(&ready, 1, sliceMs) < 0 && errno != EINTR) {
      Fail(errno);
      outcome = PortSerialv2::kWriteFailed;
      break;
    }
  }
  fcntl(fd, F_SETFL, flags);
  return outcome;
}

bool CloseDevice(DeviceHandle handle) {
  // The exclusive lock goes with the descriptor.
  if (close(Fd(handle)) != 0 && errno != EINTR) return Fail(errno);
  return true;
}

}  // namespace serialdev
