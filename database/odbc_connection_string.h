// Connection strings for the ODBC backend. The database classes build OLE DB connection
// strings (a SQL Server provider and a Jet provider); ODBC needs a driver instead of a
// provider. A string without a provider is already an ODBC string and goes to the driver
// manager unchanged.
#pragma once

#include <string>
#include <vector>

namespace dbl {

// One "key=value" pair of a connection string, key and value without surrounding blanks
// and without their quotes.
struct ConnectionPair {
  std::string key;
  std::string value;
};

// Splits at ';' outside "..." , '...' and {...}; empty segments are skipped.
std::vector<ConnectionPair> ParseConnectionString(const std::string& text);

// The drivers tried for each provider, first installed one wins.
extern const char* const kSqlServerDrivers[];
extern const char* const kJetDrivers[];

// Builds the SQLDriverConnect string from `text`, choosing drivers among `installed`
// (the names SQLDrivers lists). False, with `problem` set, for an unknown provider or
// when none of the provider's drivers is installed.
bool TranslateConnectionString(const std::string& text, const std::vector<std::string>& installed,
                               std::string& odbc, std::string& problem);

}  // namespace dbl
