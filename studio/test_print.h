// "Print a test label": the label jobs of a request go to a print service as the
// client sends them, one wire frame per job over a connection of its own.
#pragma once

#include <string>
#include <vector>

// False with a reason (the socket's own text, or a job too long for a frame) at the
// first job that cannot be sent; *sent counts the jobs that went out before.
bool SendTestJobs(const std::string& host, int port, const std::vector<std::string>& jobs, int* sent,
                  std::string* error);
