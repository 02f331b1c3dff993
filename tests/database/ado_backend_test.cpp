// The ADO backend's own parts: VARIANT conversions, the HRESULT report with the thread's
// error object, and the creation failures of the three classes when COM is not set up.
// (Wine has no working ADO provider stack, so the classes run end to end over ODBC in
// database_odbc_tests; this suite checks what does not need a provider.)
#include <windows.h>
#include <oleauto.h>

#include <gtest/gtest.h>

#include <string>
#include <thread>

#include "database/ado_command.h"
#include "database/ado_database.h"
#include "database/ado_recordset.h"
#include "database/ado_variant_win32.h"
#include "database/db_errors.h"
#include "tests/database/database_test_helpers.h"
#include "tests/support/support.h"

using dbl::DbVariant;

namespace {

class ComApartment {
 public:
  ComApartment() : hr(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED)) {}
  ~ComApartment() {
    if (SUCCEEDED(hr)) CoUninitialize();
  }
  HRESULT hr;
};

DbVariant RoundTrip(const DbVariant& in, VARIANT& seen) {
  EXPECT_TRUE(dbl::ToVariant(in, seen)) << in.Type();
  DbVariant out;
  EXPECT_TRUE(dbl::FromVariant(seen, out));
  return out;
}

}  // namespace

TEST(AdoVariants, EveryValueTypeCrossesBothWays) {
  dbl::DbDecimal d;
  ASSERT_TRUE(dbl::DecimalFromText("-1234567890123456789.0123", d));
  const DbVariant values[] = {
      DbVariant(), DbVariant::Null(), DbVariant::Int(-3, dbl::VT_I2), DbVariant::Int(-70000, dbl::VT_I4),
      DbVariant::Int(1LL << 40, dbl::VT_I8), DbVariant::Int(200, dbl::VT_UI1), DbVariant::UInt4(4000000000UL),
      DbVariant::Real(2.5), DbVariant::Real(0.25f, dbl::VT_R4), DbVariant::Bool(true), DbVariant::Bool(false),
      DbVariant::Date(29254.5), DbVariant::Text("Biochimie"), DbVariant::Text(""), DbVariant::Decimal(d),
      DbVariant::Error(), DbVariant::Bytes(std::string("\x00\x01\xff", 3)),
  };
  for (const DbVariant& v : values) {
    SCOPED_TRACE(v.Type());
    VARIANT seen;
    EXPECT_EQ(RoundTrip(v, seen), v);
    EXPECT_EQ(seen.vt, static_cast<VARTYPE>(v.Type()));
    VariantClear(&seen);
  }
  VARIANT seen;
  ASSERT_TRUE(dbl::ToVariant(DbVariant::Decimal(d), seen));
  EXPECT_EQ(seen.decVal.scale, 4);
  EXPECT_EQ(seen.decVal.sign, DECIMAL_NEG);
  ASSERT_TRUE(dbl::ToVariant(DbVariant::Text("tub"), seen));
  EXPECT_EQ(SysStringLen(seen.bstrVal), 3u);
  EXPECT_EQ(std::wstring(seen.bstrVal), L"tub");
  VariantClear(&seen);
  ASSERT_TRUE(dbl::ToVariant(DbVariant::Bool(true), seen));
  EXPECT_EQ(seen.boolVal, VARIANT_TRUE);
  ASSERT_TRUE(dbl::ToVariant(DbVariant::Error(), seen));
  EXPECT_EQ(seen.scode, DISP_E_PARAMNOTFOUND);
}

TEST(AdoVariants, TextSizeCountsTheCharactersOfTheBstr) {
  // The UTF-8 bytes of "tubă": through an ANSI code page each of them is a character.
  const DbVariant text = DbVariant::Text("tub\xc4\x83");
  VARIANT seen;
  ASSERT_TRUE(dbl::ToVariant(text, seen));
  dbl::ParameterShape shape;
  ASSERT_TRUE(dbl::ParameterShapeFor(text, shape));
  EXPECT_EQ(shape.size, 2 * static_cast<long>(SysStringLen(seen.bstrVal))) << "ANSI code page " << GetACP();
  EXPECT_EQ(SysStringLen(seen.bstrVal), 5u) << "ANSI code page " << GetACP();
  VariantClear(&seen);
}

TEST(AdoVariants, OtherComTypesAreConverted) {
  VARIANT money;
  VariantInit(&money);
  money.vt = VT_CY;
  money.cyVal.int64 = 123456;  // 12.3456
  DbVariant out;
  ASSERT_TRUE(dbl::FromVariant(money, out));
  ASSERT_EQ(out.Type(), dbl::VT_DECIMAL);
  EXPECT_DOUBLE_EQ(dbl::DecimalToDouble(out.DecimalValue()), 12.3456);
  VARIANT nothing;
  VariantInit(&nothing);
  nothing.vt = VT_UNKNOWN;
  nothing.punkVal = nullptr;
  EXPECT_FALSE(dbl::FromVariant(nothing, out));
}

TEST(AdoErrorReport, HresultTextsAndTheErrorObject) {
  EXPECT_EQ(dbl::HresultText(static_cast<HRESULT>(0x800A0CC1UL)), "Unknown error 0x800A0CC1");
  EXPECT_EQ(dbl::HresultText(static_cast<HRESULT>(0x80040E37UL)), "IDispatch error #3127");
  std::string pointer = dbl::HresultText(E_POINTER);
  EXPECT_FALSE(pointer.empty());
  EXPECT_NE(pointer.back(), '\n');

  ICreateErrorInfo* create = nullptr;
  ASSERT_EQ(CreateErrorInfo(&create), S_OK);
  create->SetSource(const_cast<LPOLESTR>(L"Microsoft OLE DB Provider for SQL Server"));
  create->SetDescription(const_cast<LPOLESTR>(L"Invalid object name 'tubes'."));
  IErrorInfo* info = nullptr;
  ASSERT_EQ(create->QueryInterface(IID_IErrorInfo, reinterpret_cast<void**>(&info)), S_OK);
  SetErrorInfo(0, info);
  info->Release();
  create->Release();

  dbl::DbFailure f;
  dbl::FailureFromHresult(static_cast<HRESULT>(0x80040E37UL), f);
  char report[1000];
  dbl::FormatComError(f, report, sizeof report);
  EXPECT_STREQ(report,
               "Error\n\tCode = 80040e37\n\tCode meaning = IDispatch error #3127\n\tSource = Microsoft OLE DB "
               "Provider for SQL Server\n\tDescription = Invalid object name 'tubes'.\n");
  // The error object was taken: a second failure has none.
  dbl::FailureFromHresult(E_FAIL, f);
  EXPECT_STREQ(f.source, "");
  EXPECT_STREQ(f.description, "");
}

TEST(AdoObjects, WithoutComTheObjectsCannotBeCreated) {
  testsupport::TempDir dir;
  std::string log = dir.File("database.log");
  // A fresh thread: COM was never initialised on it.
  std::thread([&] {
    CAdoRecordset rs;
    EXPECT_STREQ(rs.comErrorText, "Error:Can't create Recordset instance");
    EXPECT_EQ(rs.recordset, nullptr);
    CAdoCommand cmd;
    EXPECT_STREQ(cmd.comErrorText, "Error:Can't create Command instance");
    EXPECT_EQ(cmd.command, nullptr);
    EXPECT_TRUE(rs.IsEOF());

    CAdoDatabase db;
    db.SetLogFile(log.c_str());
    EXPECT_FALSE(db.OpenSqlServer("lab-db", "sa", "Secret-Pass-1", "lab"));
    EXPECT_STREQ(db.comErrorText, "Nu pot crea instanta de conectie");
    EXPECT_STREQ(db.providerErrorText, "");
    EXPECT_EQ(db.connection, nullptr);
    EXPECT_FALSE(db.isOpen);
    EXPECT_EQ(dbtest::ReadLog(log),
              "\n[T]->CAdoDatabase::Open\nComError: Nu pot crea instanta de conectie\nProviderError: ");

    // A command without its ADO object fails like a COM error (a null interface pointer).
    cmd.SetDatabase(&db);
    EXPECT_STREQ(cmd.comErrorText, "Error:Can't create Command instance");
    EXPECT_FALSE(cmd.Execute());
    EXPECT_NE(std::string(cmd.comErrorText).find("\tCode = 80004003\n"), std::string::npos) << cmd.comErrorText;
    EXPECT_STREQ(cmd.providerErrorText, "Error:pConnection is NULL");
    EXPECT_FALSE(db.Execute("DELETE FROM tube"));
    std::string text = dbtest::ReadLog(log);
    EXPECT_NE(text.find("\n[T]->CAdoRecordset::Execute()\nComError: Error\n\tCode = 80004003\n"),
              std::string::npos);
    EXPECT_NE(text.find("\n[T]->CAdoDatabase::Execute\nComError: Error\n\tCode = 800401f0\n"), std::string::npos)
        << text;
    EXPECT_NE(text.find("\n[T]->DELETE FROM tube"), std::string::npos);
    EXPECT_EQ(text.find("Secret-Pass-1"), std::string::npos);
  }).join();
}

// Real ADO objects: Wine's ADO opens and closes a connection through its OLE DB provider
// for ODBC, which reaches a data source only by name (ODBCINI, set by CTest, names a
// SQLite one). Wine implements neither Command.Execute nor the Errors collection nor
// recordset rows, so this is as far as ADO itself goes here.
TEST(AdoObjects, ConnectionOpensAndClosesThroughAdo) {
  if (testsupport::Env("ODBCINI").empty()) GTEST_SKIP() << "no ODBC data source set up (ODBCINI)";
  ComApartment com;
  ASSERT_TRUE(SUCCEEDED(com.hr));
  testsupport::TempDir dir;
  std::string log = dir.File("database.log");
  {
    CAdoDatabase db;
    db.SetLogFile(log.c_str());
    ASSERT_TRUE(db.Open("Provider=MSDASQL;Data Source=tervane_ado_live")) << db.comErrorText;
    EXPECT_TRUE(db.isOpen);
    EXPECT_NE(db.connection, nullptr);
    EXPECT_TRUE(db.Close());
    EXPECT_FALSE(db.isOpen);
    EXPECT_TRUE(db.Close());

    EXPECT_FALSE(db.Open("Provider=MSDASQL;Data Source=no_such_source;Password=Secret-Pass-1"));
    EXPECT_FALSE(db.isOpen);
    EXPECT_EQ(std::string(db.comErrorText).rfind("Error\n\tCode = 80004005\n\tCode meaning = ", 0), 0u)
        << db.comErrorText;
    std::string text = dbtest::ReadLog(log);
    EXPECT_EQ(text.rfind("\n[T]->CAdoDatabase::Open\nComError: Error\n\tCode = 80004005\n", 0), 0u) << text;
    EXPECT_EQ(text.find("Secret-Pass-1"), std::string::npos);
  }
}
