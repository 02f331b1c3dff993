// The database classes against a real SQLite database through ODBC: connection,
// statements, recordsets, and the failure paths with their log entries.
#include <gtest/gtest.h>

#include <string>

#include "database/ado_command.h"
#include "database/ado_database.h"
#include "database/ado_recordset.h"
#include "tests/database/database_test_helpers.h"
#include "tests/support/driver_path.h"
#include "tests/support/support.h"

using dbl::DbVariant;

namespace {

std::size_t Count(const std::string& text, const std::string& needle) {
  std::size_t n = 0;
  for (std::size_t at = text.find(needle); at != std::string::npos; at = text.find(needle, at + 1)) ++n;
  return n;
}

class SqliteDatabase : public ::testing::Test {
 protected:
  void SetUp() override {
    connection = "DRIVER=SQLite3;Database=" + testsupport::DriverPath(dir.File("lab.db"));
    log = dir.File("database.log");
  }

  // An open database holding the tube table.
  void OpenWithTubes(CAdoDatabase& db) {
    db.SetLogFile(log.c_str());
    ASSERT_TRUE(db.Open(connection.c_str())) << db.comErrorText << db.providerErrorText;
    ASSERT_TRUE(db.Execute(
        "CREATE TABLE tube (id INTEGER PRIMARY KEY, code VARCHAR(20), volume REAL, taken TIMESTAMP, note TEXT)"));
    ASSERT_TRUE(db.Execute("INSERT INTO tube VALUES (1, 'A1234567', 2.5, '2024-01-02 03:04:05', 'Biochimie'),"
                           " (2, 'B7654321', NULL, NULL, NULL), (3, 'C1111111', 4.0, NULL, 'Hematologie')"));
  }

  testsupport::TempDir dir;
  std::string connection, log;
};

}  // namespace

TEST_F(SqliteDatabase, RecordsetReadsEveryRowWithItsRealCount) {
  CAdoDatabase db;
  OpenWithTubes(db);
  EXPECT_TRUE(db.isOpen);
  EXPECT_EQ(db.connectionString, connection);

  CAdoRecordset rs;
  EXPECT_EQ(rs.recordCount, -1);
  ASSERT_TRUE(rs.Open("SELECT id, code, volume, taken, note FROM tube ORDER BY id", &db)) << rs.comErrorText;
  EXPECT_EQ(rs.db, &db);
  EXPECT_EQ(rs.recordCount, 3);  // the driver itself reports 0 rows for a SELECT
  ASSERT_FALSE(rs.IsEOF());
  EXPECT_EQ(rs.GetFieldValue("code"), DbVariant::Text("A1234567"));
  EXPECT_EQ(rs.GetFieldValue("CODE"), DbVariant::Text("A1234567"));  // names as ADO matches them
  EXPECT_EQ(rs.GetFieldValue("id"), DbVariant::Int(1, dbl::VT_I4));
  DbVariant taken;
  ASSERT_TRUE(rs.GetFieldValue("taken", taken));
  ASSERT_EQ(taken.Type(), dbl::VT_DATE);
  EXPECT_EQ(dbl::DateToText(taken.RealValue()), "2024-01-02 03:04:05");

  EXPECT_TRUE(rs.MoveNext());
  EXPECT_TRUE(rs.GetFieldValue("volume").IsNull());
  EXPECT_TRUE(rs.GetFieldValue("note").IsNull());
  EXPECT_TRUE(rs.MoveNext());
  EXPECT_EQ(rs.GetFieldValue("volume"), DbVariant::Real(4.0));
  EXPECT_FALSE(rs.MoveNext());  // from the last row past the end
  EXPECT_TRUE(rs.IsEOF());

  EXPECT_TRUE(rs.Close());
  EXPECT_TRUE(rs.IsEOF());
  EXPECT_TRUE(db.Close());
  EXPECT_FALSE(db.isOpen);
  EXPECT_TRUE(db.Close());  // closing a closed database does nothing
  EXPECT_FALSE(testsupport::FileExists(log));  // nothing failed, nothing logged
}

TEST_F(SqliteDatabase, EmptyResultStartsAtTheEnd) {
  CAdoDatabase db;
  OpenWithTubes(db);
  CAdoRecordset rs;
  ASSERT_TRUE(rs.Open("SELECT code FROM tube WHERE id > 100", &db));
  EXPECT_EQ(rs.recordCount, 0);
  EXPECT_TRUE(rs.IsEOF());
  EXPECT_FALSE(rs.MoveNext());
  EXPECT_TRUE(rs.GetFieldValue("code").IsEmpty());
  EXPECT_EQ(dbtest::ReadLog(log),
            "\n[T]->CAdoRecordset::MoveNext\nComError: Error\n\tCode = 800a0bcd\n\tCode meaning = Unknown error "
            "0x800A0BCD\n\tSource = ADODB.Recordset\n\tDescription = Either BOF or EOF is True, or the current "
            "record has been deleted. Requested operation requires a current record.\n\nProviderError: "
            "\n[T]->CAdoRecordset::GetFieldValue\nComError: Error\n\tCode = 800a0bcd\n\tCode meaning = Unknown "
            "error 0x800A0BCD\n\tSource = ADODB.Field\n\tDescription = Either BOF or EOF is True, or the current "
            "record has been deleted. Requested operation requires a current record.\n\nProviderError: ");
}

TEST_F(SqliteDatabase, SecondCloseOfARecordsetFailsAsInAdo) {
  CAdoDatabase db;
  OpenWithTubes(db);
  CAdoRecordset rs;
  ASSERT_TRUE(rs.Open("SELECT code FROM tube", &db));
  EXPECT_FALSE(rs.Open("SELECT code FROM tube", &db));  // still open
  EXPECT_TRUE(rs.Close());
  EXPECT_FALSE(rs.Close());
  EXPECT_STREQ(rs.comErrorText,
               "Error\n\tCode = 800a0e78\n\tCode meaning = Unknown error 0x800A0E78\n\tSource = ADODB.Recordset\n"
               "\tDescription = Operation is not allowed when the object is closed.\n");
  EXPECT_STREQ(rs.providerErrorText, "");
  std::string text = dbtest::ReadLog(log);
  EXPECT_NE(text.find("\n[T]->CAdoRecordset::Open\nComError: Error\n\tCode = 800a0e79"), std::string::npos) << text;
  EXPECT_NE(text.find("\n[T]->CAdoRecordset::Close\nComError: Error\n\tCode = 800a0e78"), std::string::npos) << text;
  // Reopened after the close, it reads again.
  ASSERT_TRUE(rs.Open("SELECT code FROM tube WHERE id = 2", nullptr));
  EXPECT_EQ(rs.recordCount, 1);
}

TEST_F(SqliteDatabase, StatementWithoutRowsLeavesTheRecordsetClosed) {
  CAdoDatabase db;
  OpenWithTubes(db);
  CAdoRecordset rs;
  // The statement runs, but there is no recordset to count: ADO reports it closed.
  EXPECT_FALSE(rs.Open("UPDATE tube SET note = 'Coagulare' WHERE id = 2", &db));
  EXPECT_EQ(rs.recordCount, -1);
  EXPECT_NE(std::string(rs.comErrorText).find("\tCode = 800a0e78\n"), std::string::npos) << rs.comErrorText;
  ASSERT_TRUE(rs.Open("SELECT note FROM tube WHERE id = 2", &db)) << rs.comErrorText;
  EXPECT_EQ(rs.GetFieldValue("note"), DbVariant::Text("Coagulare"));
}

TEST_F(SqliteDatabase, MissingTableIsLoggedWithTheStatement) {
  CAdoDatabase db;
  OpenWithTubes(db);
  EXPECT_FALSE(db.Execute("INSERT INTO missing VALUES (1)"));
  const char* report =
      "Error\n\tCode = 00000001\n\tCode meaning = SQLSTATE HY000\n\tSource = ODBC\n\tDescription = [SQLite]no such "
      "table: missing (1)\n";
  EXPECT_STREQ(db.comErrorText, report);
  EXPECT_STREQ(db.providerErrorText, "\t Error number: 1\t[SQLite]no such table: missing (1)");
  EXPECT_EQ(dbtest::ReadLog(log), std::string("\n[T]->CAdoDatabase::Execute\nComError: ") + report +
                                      "\nProviderError: \t Error number: 1\t[SQLite]no such table: missing (1)"
                                      "\n[T]->INSERT INTO missing VALUES (1)");

  CAdoRecordset rs;
  EXPECT_FALSE(rs.Open("SELECT * FROM missing", &db));
  EXPECT_EQ(rs.recordCount, -1);
  EXPECT_STREQ(rs.comErrorText, report);
  EXPECT_STREQ(rs.providerErrorText, "\t Error number: 1\t[SQLite]no such table: missing (1)");
  EXPECT_NE(dbtest::ReadLog(log).find("\n[T]->CAdoRecordset::Open\nComError: Error\n"), std::string::npos);
}

TEST_F(SqliteDatabase, UnknownFieldAndLongStatements) {
  CAdoDatabase db;
  OpenWithTubes(db);
  CAdoRecordset rs;
  ASSERT_TRUE(rs.Open("SELECT code FROM tube", &db));
  DbVariant v = DbVariant::Int(9);
  EXPECT_FALSE(rs.GetFieldValue("nope", v));
  EXPECT_TRUE(v.IsEmpty());
  EXPECT_NE(std::string(rs.comErrorText).find("Source = ADODB.Fields\n"), std::string::npos);

  std::string longName(3000, 'q');
  EXPECT_FALSE(db.Execute(("SELECT * FROM " + longName).c_str()));
  // The statement itself goes to the log whole.
  EXPECT_NE(dbtest::ReadLog(log).find("\n[T]->SELECT * FROM " + longName), std::string::npos);
}

TEST_F(SqliteDatabase, WithoutLogFileFailuresOnlyFillTheTexts) {
  CAdoDatabase db;
  ASSERT_TRUE(db.Open(connection.c_str()));
  EXPECT_FALSE(db.logEnabled);
  EXPECT_FALSE(db.Execute("DROP TABLE missing"));
  EXPECT_NE(std::string(db.comErrorText).find("no such table: missing"), std::string::npos);
  CAdoRecordset rs;
  EXPECT_FALSE(rs.Open("SELEC 1", &db));
  EXPECT_NE(std::string(rs.comErrorText).find("syntax error"), std::string::npos);
  EXPECT_TRUE(testsupport::ReadFile(log).empty());

  // A log path that does not fit its field names no file at all.
  db.SetLogFile(std::string(1100, 'x').c_str());
  EXPECT_TRUE(db.logEnabled);
  EXPECT_STREQ(db.logPath, "");
  EXPECT_FALSE(db.Execute("DROP TABLE missing"));
}

TEST_F(SqliteDatabase, FailedOpenLeavesTheDatabaseClosed) {
  CAdoDatabase db;
  db.SetLogFile(log.c_str());
  std::string unreachable = "DRIVER=SQLite3;Database=/nonexistent-folder/lab.db";
  EXPECT_FALSE(db.Open(unreachable.c_str()));
  EXPECT_FALSE(db.isOpen);
  EXPECT_TRUE(db.Close());
  EXPECT_EQ(db.connectionString, unreachable);
  EXPECT_EQ(dbtest::ReadLog(log),
            "\n[T]->CAdoDatabase::Open\nComError: Error\n\tCode = 0000000e\n\tCode meaning = SQLSTATE HY000\n"
            "\tSource = ODBC\n\tDescription = [SQLite]connect failed\n\nProviderError: \t Error number: "
            "e\t[SQLite]connect failed");
  // An unknown provider fails before any driver is asked.
  EXPECT_FALSE(db.Open("Provider=OraOLEDB.Oracle;Data Source=lab;Password=Secret-42"));
  EXPECT_NE(std::string(db.comErrorText).find("Provider cannot be found"), std::string::npos);
  EXPECT_EQ(dbtest::ReadLog(log).find("Secret-42"), std::string::npos);
  // A quoted value that never ends: the string cannot be read apart, and says so.
  EXPECT_FALSE(db.Open("PROVIDER=SQLOLEDB.1;server=lab;pwd='Secret-43;database=lab"));
  EXPECT_NE(std::string(db.comErrorText)
                .find("\tCode = 80004005\n\tCode meaning = Unspecified error\n\tSource = ADODB.Connection\n"
                      "\tDescription = The connection string cannot be read: a quoted value is not "
                      "closed, or text follows its closing quote.\n"),
            std::string::npos)
      << db.comErrorText;
  EXPECT_EQ(dbtest::ReadLog(log).find("Secret-43"), std::string::npos);
}

TEST_F(SqliteDatabase, RecordsetAndCommandWithoutADatabase) {
  CAdoRecordset rs;
  EXPECT_FALSE(rs.Open("SELECT 1", nullptr));
  EXPECT_STREQ(rs.providerErrorText, "Error: adoDbf not initializated");
  EXPECT_FALSE(rs.MoveNext());
  EXPECT_STREQ(rs.providerErrorText, "Error: database object is NULL");
  EXPECT_TRUE(rs.IsEOF());

  CAdoCommand cmd;
  EXPECT_EQ(cmd.db, nullptr);
  cmd.SetDatabase(nullptr);
  EXPECT_STREQ(cmd.providerErrorText, "Error: adoDbf not initializated");
  EXPECT_FALSE(cmd.AddParameter("tube", DbVariant::Int(1)));
  EXPECT_STREQ(cmd.providerErrorText, "Error: adoDbf not initializated");
  EXPECT_FALSE(cmd.SetCommantText("print_label"));
  EXPECT_STREQ(cmd.providerErrorText, "Error: database object is NULL");
  EXPECT_NE(std::string(cmd.comErrorText).find("Code = 800a0e7d"), std::string::npos);
  EXPECT_FALSE(cmd.Execute());
  EXPECT_STREQ(cmd.providerErrorText, "Error: database object is NULL");
  DbVariant out;
  EXPECT_FALSE(cmd.GetParameter("tube", out));

  // A database that was never opened has no connection yet.
  CAdoDatabase never;
  never.SetLogFile(log.c_str());
  EXPECT_FALSE(rs.Open("SELECT 1", &never));
  EXPECT_STREQ(rs.providerErrorText, "Error:pConnection is NULL");
  cmd.SetDatabase(&never);
  EXPECT_FALSE(cmd.SetCommantText("print_label"));
  EXPECT_STREQ(cmd.providerErrorText, "Error:pConnection is NULL");
  EXPECT_FALSE(never.Execute("DELETE FROM tube"));
  EXPECT_STREQ(never.providerErrorText, "");
  std::string text = dbtest::ReadLog(log);
  EXPECT_NE(text.find("\n[T]->CAdoRecordset::Open\nComError: Error\n\tCode = 800a0e7d"), std::string::npos);
  EXPECT_NE(text.find("\n[T]->CAdoRecordset::SetCommantText\nComError: Error\n\tCode = 800a0e7d"),
            std::string::npos);
  EXPECT_NE(text.find("ProviderError: Error:pConnection is NULL"), std::string::npos);
  EXPECT_NE(text.find("\n[T]->CAdoDatabase::Execute\nComError: "), std::string::npos);
  EXPECT_NE(text.find("\n[T]->DELETE FROM tube"), std::string::npos);
}

TEST_F(SqliteDatabase, CommandFailuresNameTheRecordsetClass) {
  CAdoDatabase db;
  OpenWithTubes(db);
  CAdoCommand cmd;
  cmd.SetDatabase(&db);
  EXPECT_EQ(cmd.db, &db);
  // SQLite has no stored procedures: the refresh finds no parameters, the call fails.
  EXPECT_TRUE(cmd.SetCommantText("print_label"));
  EXPECT_FALSE(cmd.SetParameter("tube", DbVariant::Text("A1")));
  DbVariant out;
  EXPECT_FALSE(cmd.GetParameter("tube", out));
  EXPECT_FALSE(cmd.AddParameter("blob", DbVariant::Bytes("\x01")));
  EXPECT_STREQ(cmd.providerErrorText, "Error: no parameter type for VARIANT type 8209 (parameter 'blob')");
  EXPECT_FALSE(cmd.Execute());
  std::string text = dbtest::ReadLog(log);
  EXPECT_NE(text.find("\n[T]->CAdoRecordset::SetParameter('tube')\nComError: Error\n\tCode = 800a0cc1"),
            std::string::npos);
  // GetParameter reports under the same text as SetParameter.
  EXPECT_EQ(Count(text, "\n[T]->CAdoRecordset::SetParameter('tube')\n"), 2u);
  EXPECT_NE(text.find("\n[T]->CAdoRecordset::Open\nComError: \nProviderError: Error: no parameter type for VARIANT "
                      "type 8209 (parameter 'blob')"),
            std::string::npos);
  EXPECT_NE(text.find("\n[T]->CAdoRecordset::Execute()\nComError: Error\n\tCode = 00000001\n"), std::string::npos);
}
