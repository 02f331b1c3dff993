#include "studio/listen_address.h"

#include <cstdlib>

bool ParseHostPort(const std::string& text, bool allowZero, HostPort* out, std::string* error) {
  std::string host, port;
  if (!text.empty() && text[0] == '[') {
    const std::size_t close = text.find(']');
    if (close == std::string::npos || close + 1 >= text.size() || text[close + 1] != ':') {
      *error = "\"" + text + "\" is not [ADDRESS]:PORT";
      return false;
    }
    host = text.substr(1, close - 1);
    port = text.substr(close + 2);
  } else {
    const std::size_t colon = text.rfind(':');
    if (colon == std::string::npos || text.find(':') != colon) {
      *error = "\"" + text + "\" is not ADDRESS:PORT (an IPv6 address is written [ADDRESS]:PORT)";
      return false;
    }
    host = text.substr(0, colon);
    port = text.substr(colon + 1);
  }
  if (host.empty()) {
    *error = "\"" + text + "\" names no address";
    return false;
  }
  bool digits = !port.empty() && port.size() <= 5;
  for (const char c : port) digits = digits && c >= '0' && c <= '9';
  const long value = digits ? std::strtol(port.c_str(), nullptr, 10) : -1;
  if (value < (allowZero ? 0 : 1) || value > 65535) {
    *error = "\"" + text + "\": the port must be a number from " + (allowZero ? "0" : "1") + " to 65535";
    return false;
  }
  out->host = host;
  out->port = static_cast<int>(value);
  return true;
}

std::string HostPortText(const std::string& host, int port) {
  const bool v6 = host.find(':') != std::string::npos;
  return (v6 ? "[" + host + "]" : host) + ":" + std::to_string(port);
}
