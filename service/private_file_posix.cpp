#include <errno.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/uio.h>
#include <unistd.h>

#include "service/private_file.h"

// One open, one writev and one close per append: the log is written line by line
// under load, so every system call saved counts. Text and bytes are stored alike here.
bool AppendToPrivateFile(const char* path, const char* text, std::size_t textLength,
                         const char* bytes, std::size_t byteLength) {
  int fd = open(path, O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0600);
  if (fd < 0) return false;
  iovec pieces[2] = {{const_cast<char*>(text), textLength},
                     {const_cast<char*>(bytes), byteLength}};
  iovec* next = pieces;
  int left = 2;
  bool ok = true;
  while (left > 0) {
    if (next->iov_len == 0) {
      ++next;
      --left;
      continue;
    }
    ssize_t n = writev(fd, next, left);
    if (n < 0) {
      if (errno == EINTR) continue;
      ok = false;  // a full disk ends the append; the rest is lost, not retried
      break;
    }
    // A short write (the disk filling up) goes on from where it stopped.
    std::size_t done = static_cast<std::size_t>(n);
    while (left > 0 && done >= next->iov_len) {
      done -= next->iov_len;
      ++next;
      --left;
    }
    if (left > 0) {
      next->iov_base = static_cast<char*>(next->iov_base) + done;
      next->iov_len -= done;
    }
  }
  if (close(fd) != 0) ok = false;
  return ok;
}

bool CreatePrivateFolder(const char* path) { return mkdir(path, 0700) == 0; }
