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

// Splits an OLE DB connection string into its pairs. A value that begins with '"', '\''
// or '{' runs to the matching '"', '\'' or '}' (a doubled one stands for itself) and may
// hold ';'; any other value runs to the next ';', quotes inside it being ordinary
// characters. Empty segments are skipped. A quoted value without its closing quote, or
// with more than blanks after it, ends the reading: the pairs before it are returned and
// `problem` (when given) says so; it is emptied otherwise.
std::vector<ConnectionPair> ParseConnectionString(const std::string& text, std::string* problem = nullptr);

// The problem reported for a string that cannot be read apart.
extern const char* const kConnectionStringFormatProblem;

// The drivers tried for each provider, first installed one wins.
extern const char* const kSqlServerDrivers[];
extern const char* const kJetDrivers[];

// Builds the SQLDriverConnect string from `text`, choosing drivers among `installed`
// (the names SQLDrivers lists). False, with `problem` set, for an unknown provider, when
// none of the provider's drivers is installed, or for a provider string that cannot be
// read apart (kConnectionStringFormatProblem).
bool TranslateConnectionString(const std::string& text, const std::vector<std::string>& installed,
                               std::string& odbc, std::string& problem);

}  // namespace dbl
