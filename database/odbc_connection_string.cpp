#include "database/odbc_connection_string.h"

#include <cctype>
#include <cstring>
#include <initializer_list>

#include "platform/ascii_text.h"

namespace dbl {

const char* const kSqlServerDrivers[] = {"SQL Server", "ODBC Driver 18 for SQL Server",
                                         "ODBC Driver 17 for SQL Server", "SQL Server Native Client 11.0",
                                         "FreeTDS", nullptr};
const char* const kJetDrivers[] = {"Microsoft Access Driver (*.mdb)", "Microsoft Access Driver (*.mdb, *.accdb)",
                                   "MDBTools", nullptr};

namespace {

std::string Trim(const std::string& s) {
  std::size_t b = 0, e = s.size();
  while (b < e && std::isspace(static_cast<unsigned char>(s[b]))) ++b;
  while (e > b && std::isspace(static_cast<unsigned char>(s[e - 1]))) --e;
  return s.substr(b, e - b);
}

using ascii::SameText;

bool StartsWith(const std::string& text, const char* prefix) {
  return SameText(text.substr(0, std::strlen(prefix)), prefix);
}

// A value as ODBC wants it: in braces when it holds characters with meaning to the parser.
std::string OdbcValue(const std::string& v) {
  bool plain = !v.empty() && v.find_first_of(";{}=") == std::string::npos &&
               !std::isspace(static_cast<unsigned char>(v.front())) &&
               !std::isspace(static_cast<unsigned char>(v.back()));
  if (plain || v.empty()) return v;
  std::string out = "{";
  for (char c : v) {
    out += c;
    if (c == '}') out += '}';
  }
  return out + "}";
}

const std::string* Find(const std::vector<ConnectionPair>& pairs, std::initializer_list<const char*> keys) {
  for (const char* key : keys) {
    for (const ConnectionPair& p : pairs) {
      if (SameText(p.key, key)) return &p.value;
    }
  }
  return nullptr;
}

const char* ChooseDriver(const char* const* candidates, const std::vector<std::string>& installed) {
  for (const char* const* c = candidates; *c; ++c) {
    for (const std::string& name : installed) {
      if (SameText(name, *c)) return *c;
    }
  }
  return nullptr;
}

std::string Candidates(const char* const* candidates) {
  std::string out;
  for (const char* const* c = candidates; *c; ++c) {
    if (!out.empty()) out += ", ";
    out += *c;
  }
  return out;
}

void Add(std::string& out, const char* key, const std::string* value) {
  if (!value) return;
  out += ';';
  out += key;
  out += '=';
  out += OdbcValue(*value);
}

bool TranslateSqlServer(const std::vector<ConnectionPair>& pairs, const std::vector<std::string>& installed,
                        std::string& odbc, std::string& problem) {
  const char* driver = ChooseDriver(kSqlServerDrivers, installed);
  if (!driver) {
    problem = "No ODBC driver for SQL Server is installed (looked for " + Candidates(kSqlServerDrivers) + ")";
    return false;
  }
  odbc = std::string("DRIVER={") + driver + "}";
  const std::string* server = Find(pairs, {"server", "data source", "address", "addr", "network address"});
  std::string host, port;
  if (server) {
    host = *server;
    std::size_t comma = host.find(',');
    // FreeTDS takes the port apart; the Windows drivers read "host,port" themselves.
    if (comma != std::string::npos && SameText(driver, "FreeTDS")) {
      port = Trim(host.substr(comma + 1));
      host = Trim(host.substr(0, comma));
    }
    Add(odbc, "SERVER", &host);
    if (!port.empty()) Add(odbc, "PORT", &port);
  }
  Add(odbc, "UID", Find(pairs, {"uid", "user id", "user"}));
  Add(odbc, "PWD", Find(pairs, {"pwd", "password"}));
  Add(odbc, "DATABASE", Find(pairs, {"database", "initial catalog"}));
  const std::string* integrated = Find(pairs, {"integrated security", "trusted_connection"});
  if (integrated && (SameText(*integrated, "sspi") || SameText(*integrated, "yes") || SameText(*integrated, "true"))) {
    odbc += ";Trusted_Connection=Yes";
  }
  return true;
}

bool TranslateJet(const std::vector<ConnectionPair>& pairs, const std::vector<std::string>& installed,
                  std::string& odbc, std::string& problem) {
  const char* driver = ChooseDriver(kJetDrivers, installed);
  if (!driver) {
    problem = "No ODBC driver for Access databases is installed (looked for " + Candidates(kJetDrivers) + ")";
    return false;
  }
  odbc = std::string("DRIVER={") + driver + "}";
  Add(odbc, "DBQ", Find(pairs, {"data source"}));
  const std::string* password = Find(pairs, {"jet oledb:database password", "password", "pwd"});
  if (password && !password->empty()) Add(odbc, "PWD", password);
  const std::string* mode = Find(pairs, {"mode"});
  if (mode && SameText(*mode, "read")) odbc += ";ReadOnly=1";
  return true;
}

}  // namespace

const char* const kConnectionStringFormatProblem =
    "The connection string cannot be read: a quoted value is not closed, or text follows "
    "its closing quote.";

namespace {

bool IsBlank(char c) { return std::isspace(static_cast<unsigned char>(c)) != 0; }

// Reads a value that begins with a quote or a brace at text[i]: up to the matching
// closer, where a doubled closer stands for one. Only blanks may follow before the ';'.
// False when the closer is missing or something else follows it.
bool ReadQuotedValue(const std::string& text, std::size_t& i, std::string& value) {
  const char closer = text[i] == '{' ? '}' : text[i];
  value.clear();
  for (++i; i < text.size(); ++i) {
    if (text[i] != closer) {
      value += text[i];
      continue;
    }
    if (i + 1 < text.size() && text[i + 1] == closer) {
      value += closer;
      ++i;
      continue;
    }
    ++i;  // past the closer
    while (i < text.size() && IsBlank(text[i])) ++i;
    return i == text.size() || text[i] == ';';
  }
  return false;
}

}  // namespace

std::vector<ConnectionPair> ParseConnectionString(const std::string& text, std::string* problem) {
  std::vector<ConnectionPair> pairs;
  if (problem) problem->clear();
  std::size_t i = 0;
  while (i < text.size()) {
    std::size_t start = i;
    while (i < text.size() && text[i] != '=' && text[i] != ';') ++i;
    ConnectionPair p;
    p.key = Trim(text.substr(start, i - start));
    if (i < text.size() && text[i] == '=') {
      ++i;
      while (i < text.size() && IsBlank(text[i])) ++i;
      if (i < text.size() && (text[i] == '"' || text[i] == '\'' || text[i] == '{')) {
        if (!ReadQuotedValue(text, i, p.value)) {
          // The rest of the string cannot be read apart: keep what came before.
          if (problem) *problem = kConnectionStringFormatProblem;
          return pairs;
        }
      } else {
        // A quote inside a value is an ordinary character.
        start = i;
        while (i < text.size() && text[i] != ';') ++i;
        p.value = Trim(text.substr(start, i - start));
      }
    }
    ++i;  // past the ';'
    if (!p.key.empty() || !p.value.empty()) pairs.push_back(p);
  }
  return pairs;
}

bool TranslateConnectionString(const std::string& text, const std::vector<std::string>& installed,
                               std::string& odbc, std::string& problem) {
  std::string format;
  std::vector<ConnectionPair> pairs = ParseConnectionString(text, &format);
  const std::string* provider = Find(pairs, {"provider"});
  if (!provider) {  // an ODBC string, whose values know no quotes: the driver manager reads it
    odbc = text;
    return true;
  }
  if (!format.empty()) {
    problem = format;
    return false;
  }
  if (StartsWith(*provider, "SQLOLEDB") || StartsWith(*provider, "SQLNCLI") || StartsWith(*provider, "MSOLEDBSQL"))
    return TranslateSqlServer(pairs, installed, odbc, problem);
  if (StartsWith(*provider, "Microsoft.Jet.OLEDB") || StartsWith(*provider, "Microsoft.ACE.OLEDB"))
    return TranslateJet(pairs, installed, odbc, problem);
  if (StartsWith(*provider, "MSDASQL")) {  // the OLE DB provider for ODBC: the rest is ODBC already
    odbc.clear();
    for (const ConnectionPair& p : pairs) {
      if (SameText(p.key, "provider")) continue;
      if (!odbc.empty()) odbc += ';';
      odbc += p.key + "=" + OdbcValue(p.value);
    }
    return true;
  }
  problem = "Provider cannot be found. It may not be properly installed.";
  return false;
}

}  // namespace dbl
