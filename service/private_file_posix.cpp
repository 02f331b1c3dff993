#include <fcntl.h>
#include <unistd.h>

#include "service/private_file.h"

std::FILE* OpenPrivateFile(const char* path, const char*) {
  // Text and binary appends are the same on this system.
  int fd = open(path, O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0600);
  if (fd < 0) return nullptr;
  std::FILE* file = fdopen(fd, "a");
  if (!file) close(fd);
  return file;
}
