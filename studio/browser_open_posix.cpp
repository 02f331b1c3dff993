// Linux: xdg-open, when installed, hands the address to the desktop's browser. It may
// wait for that browser to end, so a thread of its own waits for it.
#include <spawn.h>
#include <sys/wait.h>

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <string>
#include <thread>

#include "studio/browser_open.h"

extern char** environ;

void OpenBrowser(const std::string& url) {
  std::string program = "xdg-open";
  std::string address = url;
  char* argv[] = {&program[0], &address[0], nullptr};
  // The studio blocks SIGINT and SIGTERM for its own waiting thread; the browser gets
  // them as usual.
  posix_spawnattr_t attributes;
  posix_spawnattr_init(&attributes);
  sigset_t none;
  sigemptyset(&none);
  posix_spawnattr_setsigmask(&attributes, &none);
  posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSIGMASK);
  pid_t child = 0;
  const int error = posix_spawnp(&child, argv[0], nullptr, &attributes, argv, environ);
  posix_spawnattr_destroy(&attributes);
  if (error != 0) {
    std::fprintf(stderr, "tervane-studio: no browser opened (xdg-open: %s); open %s by hand\n",
                 std::strerror(error), url.c_str());
    std::fflush(stderr);
    return;
  }
  std::thread([child, url] {
    int status = 0;
    while (waitpid(child, &status, 0) < 0 && errno == EINTR) {
    }
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
      std::fprintf(stderr, "tervane-studio: xdg-open did not open a browser; open %s by hand\n", url.c_str());
      std::fflush(stderr);
    }
  }).detach();
}
