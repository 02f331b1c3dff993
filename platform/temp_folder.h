// Private folders for a run's temporary files.
#pragma once

#include <string>

namespace platform {

// The system's folder for temporary files, without a trailing separator: $TMPDIR or
// /tmp on Linux, the user's %TEMP% folder on Windows.
std::string TemporaryFilesFolder();

// Creates a new folder NAME-XXXXXX (a unique suffix) in TemporaryFilesFolder() that only
// this user may enter. Returns its path, or "" when none could be made.
std::string MakeTemporaryFolder(const std::string& name);

// Removes an empty folder; false if it is not there or not empty.
bool RemoveEmptyFolder(const std::string& path);

}  // namespace platform
