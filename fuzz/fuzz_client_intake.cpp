// Fuzz target: one whole client run, of either client.
//
// Input: the build byte (fuzz/client_build_byte.h), barcode.ini, a zero byte, then the
// command-line argument (up to the next zero byte). Without a zero byte everything after
// the build byte is the argument and barcode.ini holds the settings of the worked
// examples. The run goes through decoding, records, fields,
// dispatch and every layout, and delivers into memory. Checks on every label job:
// no zero byte among its bytes, a terminator right after them, at most the 16 MiB cap;
// and the run's exit code is 0 or -1.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>

#include "client/client_run.h"
#include "fuzz/client_build_byte.h"
#include "fuzz/fuzz_support.h"
#include "transport/wire_frame.h"

using fuzzsupport::Check;

namespace {

const char kExampleSettings[] =
    "[com]\r\nport=1\r\n[sizing]\r\nBiochimieMoveLeft=80\r\nCoagulareMoveLeft=80\r\n"
    "HematologieMoveLeft=80\r\nBARCODEFONTSIZE=80\r\nPRINTDOMAINNAME=1\r\nPAGECODE=B\r\n"
    "MAXTEXTLEN=12\r\n[destination]\r\nADDRESS=127.0.0.1\r\nNETPORT=104\r\n[suffix]\r\nD2=-X\r\n";

// The in-memory delivery, checking each job as the run hands it over: a copy cannot
// tell whether the run's buffer ends in a terminator.
class CheckedDelivery : public MemoryDelivery {
 public:
  bool Deliver(const ClientSettings& settings, const char* job, std::size_t length) override {
    Check(job[length] == '\0', "label job terminated");
    return MemoryDelivery::Deliver(settings, job, length);
  }
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size == 0) return 0;
  const ClientBuild& build = fuzzsupport::BuildFromByte(data[0]);
  ++data;
  --size;
  const char* text = reinterpret_cast<const char*>(data);
  const void* zero = std::memchr(text, '\0', size);
  std::string ini, argument;
  if (zero) {
    std::size_t iniSize = static_cast<std::size_t>(static_cast<const char*>(zero) - text);
    ini.assign(text, iniSize);
    argument.assign(text + iniSize + 1, size - iniSize - 1);
  } else {
    ini = kExampleSettings;
    argument.assign(text, size);
  }
  argument = argument.c_str();  // a command-line argument ends at its first zero byte

  ClientSettings settings;
  ParseClientSettings(ini, build.settings, &settings);
  CheckedDelivery delivery;
  int code = RunClient(build, argument.c_str(), settings, delivery, nullptr);
  Check(code == kExitOk || code == kExitFailure, "exit code 0 or -1");
  for (const std::string& job : delivery.jobs) {
    Check(job.size() <= wire::kMaxJobLength, "label job within the cap");
    Check(job.find('\0') == std::string::npos, "label job holds no zero byte");
  }
  return 0;
}
