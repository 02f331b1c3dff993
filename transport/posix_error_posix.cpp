#include "transport/posix_error.h"

#include <cerrno>

#include "platform/system_error.h"

namespace posixerror {

void StoreDeviceError(int err) {
  unsigned long code;
  switch (err) {
    case EACCES:
    case EPERM:
    case EBUSY:
    case EWOULDBLOCK:
    case EISDIR:
      code = 5;  // ERROR_ACCESS_DENIED
      break;
    case ENOENT:
    case ENODEV:
    case ENXIO:
      code = 2;  // ERROR_FILE_NOT_FOUND
      break;
    case ENOTDIR:
      code = 3;  // ERROR_PATH_NOT_FOUND
      break;
    case EMFILE:
    case ENFILE:
      code = 4;  // ERROR_TOO_MANY_OPEN_FILES
      break;
    case EBADF:
      code = 6;  // ERROR_INVALID_HANDLE
      break;
    case ENOTTY:
      code = 1;  // ERROR_INVALID_FUNCTION: not a serial device
      break;
    case EINVAL:
      code = 87;  // ERROR_INVALID_PARAMETER
      break;
    case EPIPE:
      code = 109;  // ERROR_BROKEN_PIPE
      break;
    case ENOSPC:
      code = 112;  // ERROR_DISK_FULL
      break;
    case EIO:
      code = 1117;  // ERROR_IO_DEVICE (errno 5 must not read as access denied)
      break;
    default:
      code = static_cast<unsigned long>(err);
  }
  platform::SetLastSystemError(code);
}

void StoreSocketError(int err) {
  unsigned long code;
  switch (err) {
    case EWOULDBLOCK:
    case ETIMEDOUT:
      code = 10060;  // WSAETIMEDOUT (also a receive time-out)
      break;
    case ECONNRESET:
    case EPIPE:
      code = 10054;  // WSAECONNRESET
      break;
    case ECONNREFUSED:
      code = 10061;  // WSAECONNREFUSED
      break;
    case EADDRINUSE:
      code = 10048;  // WSAEADDRINUSE
      break;
    case ENOTCONN:
      code = 10057;  // WSAENOTCONN
      break;
    case EBADF:
    case ENOTSOCK:
      code = 10038;  // WSAENOTSOCK
      break;
    case EINVAL:
      code = 10022;  // WSAEINVAL
      break;
    default:
      code = static_cast<unsigned long>(err);
  }
  platform::SetLastSystemError(code);
}

}  // namespace posixerror
