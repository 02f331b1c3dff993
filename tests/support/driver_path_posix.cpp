#include "tests/support/driver_path.h"

namespace testsupport {

std::string DriverPath(const std::string& path) { return path; }

}  // namespace testsupport
