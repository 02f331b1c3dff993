// Stored procedures and functions through CAdoCommand, and recordsets and failures,
// against the private PostgreSQL server that CTest starts for this suite.
#include <gtest/gtest.h>

#include <string>

#include "database/ado_command.h"
#include "database/ado_database.h"
#include "database/ado_recordset.h"
#include "tests/database/database_test_helpers.h"
#include "tests/support/support.h"

using dbl::DbVariant;

namespace {

DbVariant Decimal(const char* text) {
  dbl::DbDecimal d;
  EXPECT_TRUE(dbl::DecimalFromText(text, d)) << text;
  return DbVariant::Decimal(d);
}

class PostgresDatabase : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    std::string why;
    ready = server.Load(why);
    if (!ready) {
      skipReason = why;
      return;
    }
    CAdoDatabase db;
    ready = db.Open(server.ConnectionString().c_str());
    const char* statements[] = {
        "CREATE TABLE IF NOT EXISTS patient (id integer PRIMARY KEY, name varchar(40), weight numeric(6,2),"
        " born timestamp, active boolean)",
        "DELETE FROM patient",
        "INSERT INTO patient VALUES (1, 'Ana Pop', 61.50, '1980-02-03 04:05:06.25', true),"
        " (2, 'Ion Ionescu', NULL, NULL, false)",
        "CREATE TABLE IF NOT EXISTS arg_note (id serial PRIMARY KEY, summary text)",
        "CREATE OR REPLACE FUNCTION add_two(a integer, b integer) RETURNS integer AS $$ SELECT a + b $$ "
        "LANGUAGE sql",
        "DROP FUNCTION IF EXISTS split_name",
        "CREATE FUNCTION split_name(full_name text, OUT first_name text, OUT last_name text, OUT two_names boolean)"
        " AS $$ SELECT split_part(full_name, ' ', 1), split_part(full_name, ' ', 2), full_name LIKE '% %' $$ "
        "LANGUAGE sql",
        "CREATE OR REPLACE PROCEDURE double_it(INOUT x integer) AS $$ BEGIN x := x * 2; END $$ LANGUAGE plpgsql",
        "CREATE OR REPLACE PROCEDURE quarter_second_later(INOUT t timestamp) AS $$ BEGIN "
        "t := t + interval '0.25 second'; END $$ LANGUAGE plpgsql",
        "CREATE OR REPLACE FUNCTION reject_tube(code text) RETURNS integer AS $$ BEGIN "
        "RAISE EXCEPTION 'tube % rejected', code; END $$ LANGUAGE plpgsql",
    };
    for (const char* sql : statements) {
      if (ready && !db.Execute(sql)) {
        ready = false;
        skipReason = std::string("set-up failed: ") + db.comErrorText + db.providerErrorText;
      }
    }
    if (!ready && skipReason.empty()) skipReason = std::string("cannot connect: ") + db.comErrorText;
  }

  void SetUp() override {
    if (testsupport::Env("TERVANE_PG_INFO").empty()) GTEST_SKIP() << skipReason;
    ASSERT_TRUE(ready) << skipReason;
    log = dir.File("database.log");
    db.SetLogFile(log.c_str());
    ASSERT_TRUE(db.Open(server.ConnectionString().c_str())) << db.comErrorText;
    cmd.SetDatabase(&db);
  }

  static dbtest::PostgresServer server;
  static bool ready;
  static std::string skipReason;
  testsupport::TempDir dir;
  std::string log;
  CAdoDatabase db;
  CAdoCommand cmd;
};

dbtest::PostgresServer PostgresDatabase::server;
bool PostgresDatabase::ready = false;
std::string PostgresDatabase::skipReason;

}  // namespace

TEST_F(PostgresDatabase, FunctionReturnValue) {
  ASSERT_TRUE(cmd.SetCommantText("add_two")) << cmd.comErrorText;
  ASSERT_TRUE(cmd.SetParameter("a", DbVariant::Int(2)));
  ASSERT_TRUE(cmd.SetParameter("B", DbVariant::Int(40)));
  ASSERT_TRUE(cmd.Execute()) << cmd.comErrorText;
  DbVariant result;
  ASSERT_TRUE(cmd.GetParameter("RETURN_VALUE", result));
  EXPECT_EQ(result, DbVariant::Int(42, dbl::VT_I4));
  // Run again with new values on the same command.
  ASSERT_TRUE(cmd.SetParameter("a", DbVariant::Int(-50)));
  ASSERT_TRUE(cmd.Execute());
  ASSERT_TRUE(cmd.GetParameter("RETURN_VALUE", result));
  EXPECT_EQ(result, DbVariant::Int(-10, dbl::VT_I4));
  EXPECT_FALSE(testsupport::FileExists(log));

  // AddParameter appends, as ADO does, also after a listed parameter of the same name:
  // the call then passes three arguments, and the name still finds the listed one.
  ASSERT_TRUE(cmd.AddParameter("b", DbVariant::Int(1)));
  EXPECT_FALSE(cmd.Execute());
  EXPECT_NE(std::string(cmd.providerErrorText).find("add_two(integer, integer, integer) does not exist"),
            std::string::npos)
      << cmd.providerErrorText;
  ASSERT_TRUE(cmd.GetParameter("b", result));
  EXPECT_EQ(result, DbVariant::Int(40));
}

TEST_F(PostgresDatabase, FunctionOutputParameters) {
  ASSERT_TRUE(cmd.SetCommantText("split_name")) << cmd.comErrorText;
  ASSERT_TRUE(cmd.SetParameter("full_name", DbVariant::Text("Ana Pop")));
  ASSERT_TRUE(cmd.Execute()) << cmd.comErrorText;
  DbVariant first, last, two;
  ASSERT_TRUE(cmd.GetParameter("first_name", first));
  ASSERT_TRUE(cmd.GetParameter("last_name", last));
  ASSERT_TRUE(cmd.GetParameter("two_names", two));
  EXPECT_EQ(first, DbVariant::Text("Ana"));
  EXPECT_EQ(last, DbVariant::Text("Pop"));
  EXPECT_EQ(two, DbVariant::Bool(true));
}

TEST_F(PostgresDatabase, ProcedureInOutParameter) {
  ASSERT_TRUE(cmd.SetCommantText("public.double_it")) << cmd.comErrorText;
  ASSERT_TRUE(cmd.SetParameter("x", DbVariant::Int(21)));
  ASSERT_TRUE(cmd.Execute()) << cmd.comErrorText;
  DbVariant x;
  ASSERT_TRUE(cmd.GetParameter("x", x));
  EXPECT_EQ(x, DbVariant::Int(42, dbl::VT_I4));

  // A timestamp goes in and comes back with its fraction of a second.
  CAdoCommand later;
  later.SetDatabase(&db);
  ASSERT_TRUE(later.SetCommantText("quarter_second_later")) << later.comErrorText;
  double date = 0;
  ASSERT_TRUE(dbl::DateFromText("2024-05-06 07:08:09.5", date));
  ASSERT_TRUE(later.SetParameter("t", DbVariant::Date(date)));
  ASSERT_TRUE(later.Execute()) << later.comErrorText << later.providerErrorText;
  ASSERT_TRUE(later.GetParameter("t", x));
  ASSERT_EQ(x.Type(), dbl::VT_DATE);
  EXPECT_EQ(dbl::DateToText(x.RealValue()), "2024-05-06 07:08:09.75");
}

TEST_F(PostgresDatabase, AddParameterForEveryValueType) {
  // AddParameter alone makes the parameters when the refresh lists none, as for a
  // provider that describes no procedures: here the function is made only after the
  // refresh. A value not given (VT_ERROR) leaves the function its default.
  ASSERT_TRUE(db.Execute("DROP FUNCTION IF EXISTS note_args"));
  ASSERT_TRUE(cmd.SetCommantText("note_args")) << cmd.comErrorText;
  ASSERT_TRUE(db.Execute(
      "CREATE FUNCTION note_args(a bigint, b varchar, c numeric, i integer, r double precision, f boolean,"
      " t timestamp, n text, d text DEFAULT '<default>') RETURNS void AS $$ INSERT INTO arg_note (summary) VALUES"
      " (a || '|' || b || '|' || c || '|' || i || '|' || r || '|' || f || '|' || t || '|' ||"
      " coalesce(n, '<null>') || '|' || coalesce(d, '<null>')) $$ LANGUAGE sql"))
      << db.comErrorText;
  double date = 0;
  ASSERT_TRUE(dbl::DateFromText("2024-05-06 07:08:09.25", date));
  ASSERT_TRUE(cmd.AddParameter("a", DbVariant::UInt4(4000000000UL)));
  ASSERT_TRUE(cmd.AddParameter("b", DbVariant::Text("tub\xc4\x83")));
  ASSERT_TRUE(cmd.AddParameter("c", Decimal("12.345")));
  ASSERT_TRUE(cmd.AddParameter("i", DbVariant::Int(-7, dbl::VT_I2)));
  ASSERT_TRUE(cmd.AddParameter("r", DbVariant::Real(2.5)));
  ASSERT_TRUE(cmd.AddParameter("f", DbVariant::Bool(true)));
  ASSERT_TRUE(cmd.AddParameter("t", DbVariant::Date(date)));
  ASSERT_TRUE(cmd.AddParameter("n", DbVariant::Null()));
  ASSERT_TRUE(cmd.AddParameter("d", DbVariant::Error()));
  ASSERT_TRUE(db.Execute("DELETE FROM arg_note"));
  ASSERT_TRUE(cmd.Execute()) << cmd.comErrorText << cmd.providerErrorText;
  CAdoRecordset rs;
  ASSERT_TRUE(rs.Open("SELECT summary FROM arg_note", &db)) << rs.comErrorText;
  ASSERT_EQ(rs.recordCount, 1);
  EXPECT_EQ(rs.GetFieldValue("summary"),
            DbVariant::Text("4000000000|tub\xc4\x83|12.345|-7|2.5|true|2024-05-06 07:08:09.25|<null>|<default>"));
}

TEST_F(PostgresDatabase, RecordsetTypesFromTheServer) {
  CAdoRecordset rs;
  ASSERT_TRUE(rs.Open("SELECT id, name, weight, born, active FROM patient ORDER BY id", &db)) << rs.comErrorText;
  EXPECT_EQ(rs.recordCount, 2);
  EXPECT_EQ(rs.GetFieldValue("weight"), Decimal("61.50"));
  DbVariant born = rs.GetFieldValue("born");
  ASSERT_EQ(born.Type(), dbl::VT_DATE);
  EXPECT_EQ(dbl::DateToText(born.RealValue()), "1980-02-03 04:05:06.25");
  EXPECT_EQ(rs.GetFieldValue("active"), DbVariant::Bool(true));
  EXPECT_TRUE(rs.MoveNext());
  EXPECT_EQ(rs.GetFieldValue("name"), DbVariant::Text("Ion Ionescu"));
  EXPECT_TRUE(rs.GetFieldValue("weight").IsNull());
  EXPECT_EQ(rs.GetFieldValue("active"), DbVariant::Bool(false));
  EXPECT_FALSE(rs.MoveNext());
  EXPECT_TRUE(rs.IsEOF());
}

TEST_F(PostgresDatabase, ServerErrorsReachTheLog) {
  ASSERT_TRUE(cmd.SetCommantText("reject_tube"));
  ASSERT_TRUE(cmd.SetParameter("code", DbVariant::Text("A1")));
  EXPECT_FALSE(cmd.Execute());
  EXPECT_NE(std::string(cmd.comErrorText).find("Code meaning = SQLSTATE P0001\n"), std::string::npos)
      << cmd.comErrorText;
  EXPECT_NE(std::string(cmd.providerErrorText).find("tube A1 rejected"), std::string::npos);

  // A message longer than the texts' room is cut to fit.
  std::string longCode(3000, 'Q');
  ASSERT_TRUE(cmd.SetParameter("code", DbVariant::Text(longCode)));
  EXPECT_FALSE(cmd.Execute());
  EXPECT_EQ(std::string(cmd.comErrorText).size(), sizeof cmd.comErrorText - 1);
  EXPECT_EQ(std::string(cmd.providerErrorText).size(), sizeof cmd.providerErrorText - 1);
  EXPECT_EQ(std::string(cmd.providerErrorText).rfind("\t Error number: ", 0), 0u);

  // A procedure the server does not know: the refresh finds no parameters, the call fails.
  CAdoCommand missing;
  missing.SetDatabase(&db);
  EXPECT_TRUE(missing.SetCommantText("no_such_procedure"));
  EXPECT_FALSE(missing.Execute());
  EXPECT_NE(std::string(missing.providerErrorText).find("no_such_procedure"), std::string::npos);

  CAdoRecordset rs;
  EXPECT_FALSE(rs.Open("SELECT * FROM missing_table", &db));
  EXPECT_NE(std::string(rs.providerErrorText).find("relation \"missing_table\" does not exist"), std::string::npos);

  std::string text = dbtest::ReadLog(log);
  EXPECT_NE(text.find("\n[T]->CAdoRecordset::Execute()\nComError: Error\n\tCode = "), std::string::npos);
  EXPECT_NE(text.find("tube A1 rejected"), std::string::npos);
  EXPECT_NE(text.find("\n[T]->CAdoRecordset::Open\nComError: Error\n\tCode = "), std::string::npos);
}

TEST_F(PostgresDatabase, WrongPasswordIsNotLogged) {
  CAdoDatabase other;
  other.SetLogFile(log.c_str());
  std::string wrong = server.ConnectionString("Wrong-Pass-77");
  EXPECT_FALSE(other.Open(wrong.c_str()));
  EXPECT_FALSE(other.isOpen);
  EXPECT_NE(std::string(other.providerErrorText).find("password authentication failed for user \"labuser\""),
            std::string::npos)
      << other.providerErrorText;
  EXPECT_NE(std::string(other.comErrorText).find("Code meaning = SQLSTATE 08001\n"), std::string::npos);
  std::string text = dbtest::ReadLog(log);
  EXPECT_EQ(text.rfind("\n[T]->CAdoDatabase::Open\nComError: Error\n", 0), 0u) << text;
  EXPECT_EQ(text.find("Wrong-Pass-77"), std::string::npos);
  EXPECT_EQ(text.find("DRIVER="), std::string::npos);
  EXPECT_TRUE(other.Close());
}
