// HOST:PORT arguments of the studio (--listen, --print-to).
#pragma once

#include <cstdint>
#include <string>

struct HostPort {
  std::string host;  // "127.0.0.1", "localhost", "::1" (written [::1]:PORT)
  int port = 0;
};

// Splits "HOST:PORT" (or "[V6]:PORT"); the port 0 to 65535 (0: any free port) when
// allowZero, else 1 to 65535. False with a reason for anything else.
bool ParseHostPort(const std::string& text, bool allowZero, HostPort* out, std::string* error);

// True for addresses that only this machine reaches: 127.0.0.0/8, ::1, "localhost".
bool IsLoopbackHost(const std::string& host);

// Options for a listening socket whose address nobody else may share: a studio started
// again binds at once after the last one ended, but not while one serves there (two
// studios on one port would each get some of the page's requests and printer jobs).
void ListenAlone(std::uintptr_t socket);

// The address as a browser writes it: "127.0.0.1:8104", "[::1]:8104".
std::string HostPortText(const std::string& host, int port);
