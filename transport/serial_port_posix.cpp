// POSIX device calls of PortSerialv2: the Windows device name is resolved to a path,
// the device is opened for exclusive use (flock, so a second open of a held port fails
// with 5 as on Windows) and the DCB becomes termios settings.
#include <fcntl.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "platform/system_error.h"
#include "transport/posix_error.h"
#include "transport/serial_device.h"

namespace serialdev {

namespace {

const char kDefaultDeviceDir[] = "/etc/tervane/devices";

int Fd(HANDLE handle) { return static_cast<int>(handle); }

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

bool SpeedFromBaud(unsigned long baud, speed_t* speed) {
  static const struct {
    unsigned long baud;
    speed_t speed;
  } kRates[] = {
      {50, B50},         {75, B75},         {110, B110},       {134, B134},
      {150, B150},       {200, B200},       {300, B300},       {600, B600},
      {1200, B1200},     {1800, B1800},     {2400, B2400},     {4800, B4800},
      {9600, B9600},     {19200, B19200},   {38400, B38400},   {57600, B57600},
      {115200, B115200}, {230400, B230400},
#ifdef B460800
      {460800, B460800}, {500000, B500000}, {576000, B576000}, {921600, B921600},
      {1000000, B1000000}, {1152000, B1152000}, {1500000, B1500000}, {2000000, B2000000},
#endif
  };
  for (const auto& rate : kRates) {
    if (rate.baud == baud) {
      *speed = rate.speed;
      return true;
    }
  }
  return false;
}

const tcflag_t kFramingFlags = CSIZE | PARENB | PARODD | CSTOPB
#ifdef CMSPAR
                               | CMSPAR
#endif
    ;

}  // namespace

HANDLE OpenDevice(const char* name) {
  char path[4096];
  DevicePath(name, path, sizeof path);

  // O_NONBLOCK keeps the open from waiting for carrier on a modem line; it is cleared
  // again below so that writes block as WriteFile does.
  int fd = open(path, O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) {
    Fail(errno);
    return INVALID_HANDLE_VALUE;
  }
  // Exclusive use, as share mode 0 gives on Windows. The lock belongs to this open,
  // so it also keeps out a second open by another thread of the same process.
  if (flock(fd, LOCK_EX | LOCK_NB) != 0 && errno == EWOULDBLOCK) {
    close(fd);
    Fail(EWOULDBLOCK);
    return INVALID_HANDLE_VALUE;
  }
  // O_NONBLOCK is the only flag F_SETFL can change that the open set.
  fcntl(fd, F_SETFL, 0);
  return static_cast<HANDLE>(fd);
}

bool ApplyLineSettings(HANDLE handle, const DCB* dcb) {
  int fd = Fd(handle);
  struct termios t;
  if (tcgetattr(fd, &t) != 0) return Fail(errno);

  speed_t speed;
  if (!SpeedFromBaud(dcb->BaudRate, &speed)) return Fail(EINVAL);

  tcflag_t size;
  switch (dcb->ByteSize) {
    case 5: size = CS5; break;
    case 6: size = CS6; break;
    case 7: size = CS7; break;
    case 8: size = CS8; break;
    default: return Fail(EINVAL);
  }

  tcflag_t parity;
  switch (dcb->Parity) {
    case 0: parity = 0; break;                  // none
    case 1: parity = PARENB | PARODD; break;    // odd
    case 2: parity = PARENB; break;             // even
#ifdef CMSPAR
    case 3: parity = PARENB | PARODD | CMSPAR; break;  // mark
    case 4: parity = PARENB | CMSPAR; break;           // space
#endif
    default: return Fail(EINVAL);
  }

  // One and a half stop bits exist only with 5 data bits, where a UART realises the
  // two-stop-bit setting as 1.5; with more data bits it is refused, as Windows'
  // serial driver refuses it.
  tcflag_t stop;
  switch (dcb->StopBits) {
    case 0: stop = 0; break;
    case 1:
      if (dcb->ByteSize != 5) return Fail(EINVAL);
      stop = CSTOPB;
      break;
    case 2: stop = CSTOPB; break;
    default: return Fail(EINVAL);
  }

  // Raw binary line: no echo, no line editing, no translation of bytes.
  cfmakeraw(&t);
  t.c_cflag &= ~(kFramingFlags | CRTSCTS);
  t.c_cflag |= size | parity | stop | CLOCAL | CREAD;
  if (dcb->fOutxCtsFlow || dcb->fRtsControl == 2) t.c_cflag |= CRTSCTS;
  t.c_iflag &= ~(IXON | IXOFF | IXANY | INPCK);
  if (dcb->fOutX) t.c_iflag |= IXON;
  if (dcb->fInX) t.c_iflag |= IXOFF;
  if (dcb->fParity) t.c_iflag |= INPCK;
  t.c_cc[VSTART] = static_cast<cc_t>(dcb->XonChar);
  t.c_cc[VSTOP] = static_cast<cc_t>(dcb->XoffChar);
  if (cfsetispeed(&t, speed) != 0 || cfsetospeed(&t, speed) != 0) return Fail(EINVAL);
  if (tcsetattr(fd, TCSANOW, &t) != 0) return Fail(errno);

  // tcsetattr succeeds when any part was applied; read back what the device took. A
  // pseudo-terminal (no modem lines) carries bytes without framing and always reports
  // 8 data bits without parity, so only a real line's framing is compared.
  struct termios applied;
  if (tcgetattr(fd, &applied) != 0) return Fail(errno);
  int lines = 0;
  bool realLine = ioctl(fd, TIOCMGET, &lines) == 0;
  if (cfgetospeed(&applied) != speed ||
      (realLine && (applied.c_cflag & kFramingFlags) != (t.c_cflag & kFramingFlags))) {
    return Fail(EINVAL);
  }

  // DTR and RTS raised while the port is open (lowered when the DCB disables them).
  // Pseudo-terminals have no modem lines and refuse these requests; that is not an error.
  int dtr = TIOCM_DTR, rts = TIOCM_RTS;
  ioctl(fd, dcb->fDtrControl == 0 ? TIOCMBIC : TIOCMBIS, &dtr);
  if (dcb->fRtsControl != 2) ioctl(fd, dcb->fRtsControl == 0 ? TIOCMBIC : TIOCMBIS, &rts);
  return true;
}

bool ApplyTimeouts(HANDLE handle) {
  // Reads return after 1 s without a byte; writes carry no time-out.
  int fd = Fd(handle);
  struct termios t;
  if (tcgetattr(fd, &t) != 0) return Fail(errno);
  t.c_cc[VMIN] = 0;
  t.c_cc[VTIME] = 10;
  if (tcsetattr(fd, TCSANOW, &t) != 0) return Fail(errno);
  return true;
}

bool WriteDevice(HANDLE handle, const void* data, unsigned long length) {
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

bool CloseDevice(HANDLE handle) {
  // The exclusive lock goes with the descriptor.
  if (close(Fd(handle)) != 0 && errno != EINTR) return Fail(errno);
  return true;
}

}  // namespace serialdev
