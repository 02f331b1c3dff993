// Fuzz target: the service settings file through INILoader and ReadSettings.
//
// The input is the whole settings file. Checks: the port name and the printer name stay
// terminated inside their arrays; printer mode and serial mode are told apart as the
// printerName key says; GetValue never writes past the buffer it is given, whatever
// its size (exact-size heap buffers under ASan), and what it returns is terminated.
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>
#include <string>

#include "fuzz/fuzz_support.h"
#include "service/job_server.h"

using fuzzsupport::Check;
using fuzzsupport::Terminated;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static const std::string executable = fuzzsupport::WorkFolder() + "/KOLDANE";
  static const std::string settingsFile = executable + ".INI";
  static const std::string logFile = executable + ".LOG";
  fuzzsupport::WriteFile(settingsFile, data, size);

  JobServerOptions options;
  options.executablePath = executable.c_str();
  options.port = 1;
  CJobServer server(JobGeneration::kKoldane, options);
  Check(server.ReadSettings(), "ReadSettings returns true");
  Check(Terminated(server.Settings().portName), "port name terminated");
  Check(Terminated(server.Settings().printerName), "printer name terminated");

  char probe[INILoader::kValueSize];
  bool printerMode = server.Loader().GetValue(probe, "printerName", sizeof probe);
  if (!printerMode) {
    Check(server.Settings().printerName[0] == '\0', "serial mode without printerName");
  }

  // Lookups with buffers of every small size and a few keys that the text may hold.
  const char* keys[] = {"port", "BAUDRATE", "parity", "stopbits", "allowFrom", ""};
  for (const char* key : keys) {
    for (std::size_t outSize : {std::size_t(1), std::size_t(2), std::size_t(10),
                                INILoader::kReadBufferSize, INILoader::kValueSize}) {
      std::unique_ptr<char[]> out(new char[outSize]);
      bool cut = false;
      bool found = server.Loader().GetValue(out.get(), key, outSize, &cut);
      Check(std::memchr(out.get(), '\0', outSize) != nullptr, "value terminated");
      if (!found) Check(out[0] == '\0', "missing key gives an empty value");
    }
  }
  unlink(logFile.c_str());
  return 0;
}
