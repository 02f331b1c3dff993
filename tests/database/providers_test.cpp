// OpenSqlServer and OpenJet: the exact connection strings, and real drivers failing on
// them (FreeTDS against a port where nothing listens, the Access driver on a missing
// file) with the password kept out of the log.
#include <gtest/gtest.h>

#include <string>

#include "database/ado_database.h"
#include "tests/database/database_test_helpers.h"
#include "tests/support/support.h"

TEST(ProviderStrings, SqlServerUnreachable) {
  testsupport::TempDir dir;
  std::string log = dir.File("database.log");
  CAdoDatabase db;
  db.SetLogFile(log.c_str());
  // Port 1 on the loopback: the connection is refused at once.
  EXPECT_FALSE(db.OpenSqlServer("127.0.0.1,1", "sa", "Secret-Pass-1", "lab"));
  EXPECT_STREQ(db.server, "127.0.0.1,1");
  EXPECT_STREQ(db.userId, "sa");
  EXPECT_STREQ(db.password, "Secret-Pass-1");
  EXPECT_STREQ(db.database, "lab");
  EXPECT_EQ(db.connectionString, "PROVIDER=SQLOLEDB.1;server=127.0.0.1,1;uid=sa;pwd=Secret-Pass-1;database=lab");
  EXPECT_FALSE(db.isOpen);
  // FreeTDS reports three records; the provider text keeps the last one.
  EXPECT_STREQ(db.providerErrorText, "\t Error number: 0\t[FreeTDS][SQL Server]Unable to connect to data source");
  EXPECT_STREQ(db.comErrorText,
               "Error\n\tCode = 00004e29\n\tCode meaning = SQLSTATE 08S01\n\tSource = ODBC\n\tDescription = "
               "[FreeTDS][SQL Server]Unable to connect: Adaptive Server is unavailable or does not exist\n");
  std::string text = dbtest::ReadLog(log);
  EXPECT_EQ(text, std::string("\n[T]->CAdoDatabase::Open\nComError: ") + db.comErrorText + "\nProviderError: " +
                      db.providerErrorText);
  EXPECT_EQ(text.find("Secret-Pass-1"), std::string::npos);
  EXPECT_EQ(text.find("uid=sa"), std::string::npos);
}

TEST(ProviderStrings, JetWithEmptyPassword) {
  testsupport::TempDir dir;
  std::string log = dir.File("database.log");
  const std::string mdb = "/nonexistent-folder/tubes.mdb";
  CAdoDatabase db;
  db.SetLogFile(log.c_str());
  EXPECT_FALSE(db.OpenJet(mdb.c_str(), ""));
  EXPECT_EQ(db.connectionString, "Provider=Microsoft.Jet.OLEDB.4.0;Data Source=" + mdb +
                                     " ;Mode=ReadWrite;Persist Security Info=False;Jet OLEDB:Database Password= ;");
  EXPECT_EQ(db.database, mdb);
  EXPECT_STREQ(db.password, "");
  EXPECT_FALSE(db.isOpen);
  std::string text = dbtest::ReadLog(log);
  EXPECT_EQ(text.rfind("\n[T]->CAdoDatabase::Open\nComError: Error\n\tCode = ", 0), 0u) << text;
  EXPECT_EQ(text.find("Jet OLEDB"), std::string::npos);

  EXPECT_FALSE(db.OpenJet(mdb.c_str(), "Jet-Pass-9"));
  EXPECT_EQ(db.connectionString, "Provider=Microsoft.Jet.OLEDB.4.0;Data Source=" + mdb +
                                     " ;Mode=ReadWrite;Persist Security Info=False;Jet OLEDB:Database Password="
                                     "Jet-Pass-9 ;");
  EXPECT_EQ(dbtest::ReadLog(log).find("Jet-Pass-9"), std::string::npos);

  // The fields keep what fits; the connection string keeps the whole path.
  std::string deep = "/nonexistent-folder/" + std::string(200, 'd') + "/tubes.mdb";
  EXPECT_FALSE(db.OpenJet(deep.c_str(), ""));
  EXPECT_EQ(db.database, deep.substr(0, sizeof db.database - 1));
  EXPECT_NE(db.connectionString.find("Data Source=" + deep + " ;"), std::string::npos);
}
