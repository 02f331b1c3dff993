// Paths handed to an ODBC driver inside a connection string.
#pragma once

#include <string>

namespace testsupport {

// The path under which the database driver finds a file the test names `path`: the
// same path, except under Wine, whose odbc32 passes connection strings to the Linux
// drivers, where it is the file's Unix path.
std::string DriverPath(const std::string& path);

}  // namespace testsupport
