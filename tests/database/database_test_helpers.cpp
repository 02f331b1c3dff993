#include "tests/database/database_test_helpers.h"

#include <regex>

#include "tests/support/support.h"

namespace dbtest {

std::string ReadLog(const std::string& path) {
  std::string text = testsupport::ReadFile(path), out;
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n') continue;
    out += text[i];
  }
  static const std::regex stamp("\n\\[[1-9][0-9]*\\.[1-9][0-9]?\\.[1-9][0-9]? (0|[1-9][0-9]?)\\.(0|[1-9][0-9]?)\\.(0|[1-9][0-9]?)\\]->");
  return std::regex_replace(out, stamp, "\n[T]->");
}

bool PostgresServer::Load(std::string& why) {
  std::string infoPath = testsupport::Env("TERVANE_PG_INFO");
  if (infoPath.empty()) {
    why = "TERVANE_PG_INFO is not set: run through ctest, which starts the private PostgreSQL server";
    return false;
  }
  std::string info = testsupport::ReadFile(infoPath);
  auto value = [&](const char* key) {
    std::string k = std::string(key) + "=";
    std::size_t at = info.find(k);
    if (at == std::string::npos) return std::string();
    std::size_t end = info.find('\n', at);
    return info.substr(at + k.size(), end == std::string::npos ? std::string::npos : end - at - k.size());
  };
  host = value("host");
  port = value("port");
  user = value("user");
  password = value("password");
  database = value("database");
  if (port.empty()) {
    why = "no server described in " + infoPath;
    return false;
  }
  return true;
}

std::string PostgresServer::ConnectionString(const std::string& pwd) const {
  return "DRIVER={PostgreSQL Unicode};SERVER=" + host + ";PORT=" + port + ";DATABASE=" + database + ";UID=" + user +
         ";PWD=" + pwd;
}

}  // namespace dbtest
