// Appending to the service's own files: the service log and the job copy hold patient
// data, so a file that does not exist yet is created readable and writable by its
// owner only: mode 0600 on Linux; on Windows a protected DACL (nothing inherited from
// the folder) with SYSTEM, Administrators and the account the process runs as. An
// existing file keeps the permissions it has.
#pragma once

#include <cstddef>

// Appends text (on Windows each "\n" stored as CR LF, as a text-mode stream does) and
// then bytes (stored as they are) to the file at path, opened once for both. Either
// length may be 0. False when the file cannot be opened or not everything was written.
bool AppendToPrivateFile(const char* path, const char* text, std::size_t textLength,
                         const char* bytes, std::size_t byteLength);

// Makes a folder for such files, closed the same way (mode 0700; on Windows the same
// DACL, inherited by the files and folders made in it). False when it was not made,
// also when it exists already.
bool CreatePrivateFolder(const char* path);
