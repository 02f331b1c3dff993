// Shell() natively: the command goes to /bin/sh.
#include <sys/wait.h>

#include <cstdio>

#include "tests/preview/preview_fixtures.h"

namespace previewtest {

std::string Shell(const std::string& command, int* status) {
  std::string out;
  std::FILE* pipe = popen(command.c_str(), "r");
  if (!pipe) return out;
  char buffer[4096];
  std::size_t n;
  while ((n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0) out.append(buffer, n);
  const int raw = pclose(pipe);
  if (status) *status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
  return out;
}

}  // namespace previewtest
