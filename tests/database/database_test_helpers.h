// Helpers of the database tests: reading the layer's log and finding the private
// PostgreSQL server that CTest starts for them.
#pragma once

#include <string>

namespace dbtest {

// The log as written, with Windows line ends turned into '\n' and every line stamp
// "\n[Y.M.D h.m.s]->" replaced by "\n[T]->". A stamp with a leading zero in one of its
// numbers is left as it is, so that a comparison shows it.
std::string ReadLog(const std::string& path);

// The server written by tests/support/private_postgres.sh into the file named by
// TERVANE_PG_INFO. False with a reason when there is none.
struct PostgresServer {
  std::string host, port, user, password, database;
  bool Load(std::string& why);
  std::string ConnectionString(const std::string& pwd) const;
  std::string ConnectionString() const { return ConnectionString(password); }
};

}  // namespace dbtest
