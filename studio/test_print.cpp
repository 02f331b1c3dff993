#include "studio/test_print.h"

#include <cstdint>
#include <memory>

#include "transport/frame_io.h"
#include "transport/socket.h"
#include "transport/wire_frame.h"

bool SendTestJobs(const std::string& host, int port, const std::vector<std::string>& jobs, int* sent,
                  std::string* error) {
  *sent = 0;
  for (const std::string& job : jobs) {
    if (job.size() > wire::kMaxJobLength) {
      *error = "a label job of " + std::to_string(job.size()) + " bytes is longer than a wire frame holds";
      return false;
    }
    try {
      CSocket socket(host.c_str(), port);
      const bool ok = SendFrame(socket, job.data(), static_cast<std::uint32_t>(job.size()));
      socket.Close();
      if (!ok) {
        *error = "the print service at " + host + ":" + std::to_string(port) + " did not take the whole job";
        return false;
      }
    } catch (const CSocketException& e) {
      *error = std::string(e.Text()) + " (" + host + ":" + std::to_string(port) + ")";
      return false;
    }
    ++*sent;
  }
  return true;
}
