// Opening the service's own files for appending: the service log and the job copy hold
// patient data, so a file that does not exist yet is created readable and writable by
// its owner only (mode 0600 on Linux; on Windows the folder's access rules apply).
// An existing file keeps the permissions it has.
#pragma once

#include <cstdio>

// mode is "at" or "ab", as for fopen; null when the file cannot be opened.
std::FILE* OpenPrivateFile(const char* path, const char* mode);
