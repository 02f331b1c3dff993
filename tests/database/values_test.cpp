// The pure parts of the database layer: decimals, dates, parameter shapes, the COM error
// report and the connection strings the ODBC backend hands to the driver manager.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "database/ado_command.h"
#include "database/db_errors.h"
#include "database/db_variant.h"
#include "database/odbc_connection_string.h"

using dbl::DbDecimal;
using dbl::DbVariant;

namespace {

std::string Decimal(const char* text) {
  DbDecimal d;
  if (!dbl::DecimalFromText(text, d)) return "<not a number>";
  return dbl::DecimalToText(d);
}

}  // namespace

TEST(DecimalValues, ReadAndWriteKeepScaleAndSign) {
  EXPECT_EQ(Decimal("61.50"), "61.50");
  EXPECT_EQ(Decimal(" -0.001 "), "-0.001");
  EXPECT_EQ(Decimal("-0.000"), "0.000");  // no negative zero
  EXPECT_EQ(Decimal("+7"), "7");
  EXPECT_EQ(Decimal(".5"), "0.5");
  // The largest 96-bit mantissa.
  EXPECT_EQ(Decimal("79228162514264337593543950335"), "79228162514264337593543950335");
  DbDecimal d;
  ASSERT_TRUE(dbl::DecimalFromText("12.345", d));
  EXPECT_EQ(d.scale, 3);
  EXPECT_EQ(d.lo64, 12345u);
  EXPECT_DOUBLE_EQ(dbl::DecimalToDouble(d), 12.345);
}

TEST(DecimalValues, DigitsBeyondRoomAreRoundedIntegersBeyondRoomRefused) {
  EXPECT_EQ(Decimal("0.12345678901234567890123456789"), "0.1234567890123456789012345679");
  // Rounding up here would leave the 96 bits: the digit is dropped instead.
  EXPECT_EQ(Decimal("7922816251426433759354395033.56"), "7922816251426433759354395033.5");
  EXPECT_EQ(Decimal("12345678901234567890123456.7856"), "12345678901234567890123456.786");
  EXPECT_EQ(Decimal("79228162514264337593543950336"), "<not a number>");
  EXPECT_EQ(Decimal(""), "<not a number>");
  EXPECT_EQ(Decimal("-"), "<not a number>");
  EXPECT_EQ(Decimal("1.2.3"), "<not a number>");
  EXPECT_EQ(Decimal("12a"), "<not a number>");
  EXPECT_EQ(Decimal(std::string(5000, '9').c_str()), "<not a number>");
}

TEST(DateValues, VariantDatesCountDaysFrom1899) {
  dbl::DbDateTime t;
  t.year = 1980; t.month = 2; t.day = 3; t.hour = 4; t.minute = 5; t.second = 6;
  double v = dbl::DateFromParts(t);
  EXPECT_NEAR(v, 29254.170208333, 1e-8);
  EXPECT_EQ(dbl::DateToText(v), "1980-02-03 04:05:06");
  // Before the epoch the fraction still counts forward in the day.
  double before = 0;
  ASSERT_TRUE(dbl::DateFromText("1899-12-29 06:00:00", before));
  EXPECT_DOUBLE_EQ(before, -1.25);
  EXPECT_EQ(dbl::DateToText(-1.25), "1899-12-29 06:00:00");
  EXPECT_EQ(dbl::DateToText(0), "1899-12-30 00:00:00");
  // Within half a microsecond of midnight the time rounds into the next day, also
  // before the epoch, where that day's number is one closer to zero.
  EXPECT_EQ(dbl::DateToText(2.999999999999), "1900-01-02 00:00:00");
  EXPECT_EQ(dbl::DateToText(-1.999999999999), "1899-12-30 00:00:00");
  EXPECT_EQ(dbl::DateToText(-1.99999999), "1899-12-29 23:59:59.999136");
  // Fractions of a second are kept to the microsecond, the zone offset is passed over.
  double parsed = 0;
  ASSERT_TRUE(dbl::DateFromText("2024-02-29 23:59:59.75+02", parsed));
  EXPECT_EQ(dbl::DateToText(parsed), "2024-02-29 23:59:59.75");
  ASSERT_TRUE(dbl::DateFromText("2024-01-02 03:04:05.1234567", parsed));
  EXPECT_EQ(dbl::DateToParts(parsed).nanosecond, 123457000);
  ASSERT_TRUE(dbl::DateFromText("12:30:00.5", parsed));
  EXPECT_DOUBLE_EQ(parsed, 0.5208391203703704);
  // Far from 1899 a double no longer holds microseconds: whole seconds stay whole.
  ASSERT_TRUE(dbl::DateFromText("9999-12-31 23:59:58", parsed));
  EXPECT_EQ(dbl::DateToText(parsed), "9999-12-31 23:59:58");
  EXPECT_FALSE(dbl::DateFromText("2023-02-29", parsed));
  EXPECT_FALSE(dbl::DateFromText("2023-13-01", parsed));
  EXPECT_FALSE(dbl::DateFromText("25:00:00", parsed));
  EXPECT_FALSE(dbl::DateFromText("yesterday", parsed));
}

TEST(VariantValues, TextFormsAndCharacterCounts) {
  std::string s;
  EXPECT_TRUE(DbVariant::Int(-5).ToText(s)); EXPECT_EQ(s, "-5");
  EXPECT_TRUE(DbVariant::UInt4(4000000000UL).ToText(s)); EXPECT_EQ(s, "4000000000");
  EXPECT_TRUE(DbVariant::Real(0.1).ToText(s)); EXPECT_EQ(s, "0.1");
  EXPECT_TRUE(DbVariant::Bool(true).ToText(s)); EXPECT_EQ(s, "1");
  EXPECT_FALSE(DbVariant::Null().ToText(s));
  EXPECT_FALSE(DbVariant::Error().ToText(s));
  EXPECT_EQ(DbVariant::Text("abc").CharacterCount(), 3u);
  EXPECT_EQ(DbVariant::Text("tub\xe3").CharacterCount(), 4u);  // "tubă" in a single-byte code page
  EXPECT_EQ(DbVariant::Error().IntValue(), static_cast<long>(0x80020004UL));
}

TEST(ParameterShapes, FollowTheValueType) {
  struct Case {
    DbVariant value;
    int type;
    long size;
    int precision, scale;
  };
  DbDecimal d;
  ASSERT_TRUE(dbl::DecimalFromText("12.345", d));
  const Case cases[] = {
      {DbVariant::UInt4(7), dbl::adUnsignedInt, 4, -1, -1},
      {DbVariant::Text("abcd"), dbl::adVarChar, 8, -1, -1},
      {DbVariant::Decimal(d), dbl::adDecimal, 16, 14, 3},
      {DbVariant::Error(), dbl::adError, 0, -1, -1},
      {DbVariant::Int(3, dbl::VT_I2), dbl::adInteger, 4, -1, -1},
      {DbVariant::Int(3, dbl::VT_I4), dbl::adInteger, 4, -1, -1},
      {DbVariant::Int(1LL << 40, dbl::VT_I8), dbl::adBigInt, 8, -1, -1},
      {DbVariant::Real(2.5), dbl::adDouble, 8, -1, -1},
      {DbVariant::Bool(false), dbl::adBoolean, 2, -1, -1},
      {DbVariant::Date(1.0), dbl::adDBTimeStamp, 16, -1, -1},
      {DbVariant::Null(), dbl::adVarChar, 1, -1, -1},
      {DbVariant(), dbl::adVarChar, 1, -1, -1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.value.Type());
    dbl::ParameterShape shape;
    ASSERT_TRUE(dbl::ParameterShapeFor(c.value, shape));
    EXPECT_EQ(shape.type, c.type);
    EXPECT_EQ(shape.size, c.size);
    EXPECT_EQ(shape.precision, c.precision);
    EXPECT_EQ(shape.scale, c.scale);
  }
  dbl::ParameterShape shape;
  EXPECT_FALSE(dbl::ParameterShapeFor(DbVariant::Bytes("\x01\x02"), shape));
}

TEST(ComErrorReport, LinesInOrderAndCutToFit) {
  dbl::DbFailure f;
  f.Set(0x80040e37UL, "IDispatch error #3127", "Microsoft OLE DB Provider for SQL Server",
        "Invalid object name 'tubes'.");
  char out[1000];
  dbl::FormatComError(f, out, sizeof out);
  EXPECT_STREQ(out,
               "Error\n\tCode = 80040e37\n\tCode meaning = IDispatch error #3127\n\tSource = Microsoft OLE DB "
               "Provider for SQL Server\n\tDescription = Invalid object name 'tubes'.\n");
  f.Set(5, "", "", std::string(3000, 'x').c_str());
  char small[64];
  dbl::FormatComError(f, small, sizeof small);
  EXPECT_EQ(std::string(small).size(), 63u);
  EXPECT_EQ(std::string(small).substr(0, 22), "Error\n\tCode = 00000005");
  dbl::SetAdoFailure(f, dbl::kErrItemNotFound, "ADODB.Fields");
  dbl::FormatComError(f, out, sizeof out);
  EXPECT_STREQ(out,
               "Error\n\tCode = 800a0cc1\n\tCode meaning = Unknown error 0x800A0CC1\n\tSource = ADODB.Fields\n"
               "\tDescription = Item cannot be found in the collection corresponding to the requested name or "
               "ordinal.\n");
}

TEST(OdbcConnectionStrings, ProvidersBecomeDrivers) {
  const std::vector<std::string> unixDrivers = {"FreeTDS", "MDBTools", "PostgreSQL Unicode", "SQLite3"};
  const std::vector<std::string> windows = {"SQL Server", "Microsoft Access Driver (*.mdb)"};
  std::string odbc, problem;
  ASSERT_TRUE(dbl::TranslateConnectionString("PROVIDER=SQLOLEDB.1;server=lab-db,1433;uid=sa;pwd=p;w;database=lab",
                                             unixDrivers, odbc, problem));
  // "pwd=p;w" is two segments: the second has no value and is dropped.
  EXPECT_EQ(odbc, "DRIVER={FreeTDS};SERVER=lab-db;PORT=1433;UID=sa;PWD=p;DATABASE=lab");
  ASSERT_TRUE(dbl::TranslateConnectionString("PROVIDER=SQLOLEDB.1;server=lab-db,1433;uid=sa;pwd={a;b};database=",
                                             windows, odbc, problem));
  EXPECT_EQ(odbc, "DRIVER={SQL Server};SERVER=lab-db,1433;UID=sa;PWD={a;b};DATABASE=");
  const char* jet =
      "Provider=Microsoft.Jet.OLEDB.4.0;Data Source=C:\\lab\\tubes.mdb ;Mode=ReadWrite;Persist Security "
      "Info=False;Jet OLEDB:Database Password= ;";
  ASSERT_TRUE(dbl::TranslateConnectionString(jet, windows, odbc, problem));
  EXPECT_EQ(odbc, "DRIVER={Microsoft Access Driver (*.mdb)};DBQ=C:\\lab\\tubes.mdb");
  ASSERT_TRUE(dbl::TranslateConnectionString(
      "Provider=Microsoft.Jet.OLEDB.4.0;Data Source=/srv/t.mdb ;Jet OLEDB:Database Password=s3 ;", unixDrivers, odbc,
      problem));
  EXPECT_EQ(odbc, "DRIVER={MDBTools};DBQ=/srv/t.mdb;PWD=s3");
  // A quote inside a value is an ordinary character; only a value that begins with a
  // quote (or a brace) is quoted, and a doubled quote inside stands for one.
  ASSERT_TRUE(dbl::TranslateConnectionString("PROVIDER=SQLOLEDB.1;server=lab-db;uid=sa;pwd=O'Brien;database=lab",
                                             unixDrivers, odbc, problem));
  EXPECT_EQ(odbc, "DRIVER={FreeTDS};SERVER=lab-db;UID=sa;PWD=O'Brien;DATABASE=lab");
  ASSERT_TRUE(dbl::TranslateConnectionString(
      "Provider=Microsoft.Jet.OLEDB.4.0;Data Source=C:\\Lab's\\t.mdb ;Jet OLEDB:Database Password=s\"3 ;", windows,
      odbc, problem));
  EXPECT_EQ(odbc, "DRIVER={Microsoft Access Driver (*.mdb)};DBQ=C:\\Lab's\\t.mdb;PWD=s\"3");
  ASSERT_TRUE(dbl::TranslateConnectionString(
      "PROVIDER=SQLOLEDB.1;server= ' lab' ;uid=\"sa\";pwd='it''s;\"x\"';database=lab", unixDrivers, odbc, problem));
  EXPECT_EQ(odbc, "DRIVER={FreeTDS};SERVER={ lab};UID=sa;PWD={it's;\"x\"};DATABASE=lab");
  ASSERT_TRUE(dbl::TranslateConnectionString("Provider=MSDASQL.1;DRIVER={SQLite3};Database=/tmp/a b.db", unixDrivers,
                                             odbc, problem));
  EXPECT_EQ(odbc, "DRIVER=SQLite3;Database=/tmp/a b.db");
  ASSERT_TRUE(dbl::TranslateConnectionString("DRIVER=SQLite3;Database=/tmp/x.db", {}, odbc, problem));
  EXPECT_EQ(odbc, "DRIVER=SQLite3;Database=/tmp/x.db");
}

TEST(OdbcConnectionStrings, UnknownProviderOrMissingDriverIsRefused) {
  std::string odbc, problem;
  EXPECT_FALSE(dbl::TranslateConnectionString("Provider=OraOLEDB.Oracle;Data Source=x", {"FreeTDS"}, odbc, problem));
  EXPECT_EQ(problem, "Provider cannot be found. It may not be properly installed.");
  EXPECT_FALSE(dbl::TranslateConnectionString("PROVIDER=SQLOLEDB.1;server=x", {"SQLite3"}, odbc, problem));
  EXPECT_NE(problem.find("No ODBC driver for SQL Server"), std::string::npos);
  EXPECT_EQ(problem.find("pwd"), std::string::npos);
  // A quoted value without its closing quote, or with more after it, cannot be read apart.
  for (const char* text : {"PROVIDER=SQLOLEDB.1;server=x;pwd='abc;database=lab",
                           "PROVIDER=SQLOLEDB.1;server=x;pwd=\"ab\"c;database=lab"}) {
    SCOPED_TRACE(text);
    problem.clear();
    EXPECT_FALSE(dbl::TranslateConnectionString(text, {"FreeTDS"}, odbc, problem));
    EXPECT_EQ(problem,
              "The connection string cannot be read: a quoted value is not closed, or text "
              "follows its closing quote.");
  }
  auto pairs = dbl::ParseConnectionString(" a = 1 ;;b=\"x;y\";c={p}}q;r}; d");
  ASSERT_EQ(pairs.size(), 4u);
  EXPECT_EQ(pairs[0].key, "a");
  EXPECT_EQ(pairs[0].value, "1");
  EXPECT_EQ(pairs[1].value, "x;y");
  EXPECT_EQ(pairs[2].value, "p}q;r");
  EXPECT_EQ(pairs[3].key, "d");
  EXPECT_EQ(pairs[3].value, "");
}
