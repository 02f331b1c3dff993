#include "service/undelivered_jobs.h"

#include <cstdio>
#include <cstring>

#include "platform/ascii_text.h"
#include "platform/local_time.h"
#include "service/allow_list.h"
#include "service/private_file.h"

std::string UndeliveredJobText(std::uint32_t sender, std::size_t length, const char* reason) {
  char address[16];
  AllowList::FormatAddress(sender, address);
  char head[96];
  std::snprintf(head, sizeof head, "Eticheta netiparita de la %s, %lu octeti: ", address,
                static_cast<unsigned long>(length));
  return std::string(head) + (reason ? reason : "");
}

bool UndeliveredJobs::Keep(const char* job, std::size_t length, std::uint32_t sender,
                           const char* reason) {
  platform::LocalTime t = platform::CurrentLocalTime();
  char stamp[48];
  std::snprintf(stamp, sizeof stamp, "\n%d-%d-%d %d:%d:%d - ", t.year, t.month, t.day, t.hour,
                t.minute, t.second);
  std::string header = stamp + UndeliveredJobText(sender, length, reason) + "\n";
  std::lock_guard<std::mutex> lock(mutex_);
  return AppendToPrivateFile(path_.c_str(), header.data(), header.size(), job, length);
}

std::string UndeliveredPathBesideLog(const char* logPath) {
  std::string path = logPath ? logPath : "";
  const char kLog[] = ".LOG";
  std::size_t n = path.size();
  if (n >= 4) {
    std::string tail = path.substr(n - 4);
    char upper[5];
    std::snprintf(upper, sizeof upper, "%s", tail.c_str());
    ascii::UpperCase(upper);
    if (std::strcmp(upper, kLog) == 0) path.erase(n - 4);
  }
  return path + ".UNDELIVERED.LOG";
}
