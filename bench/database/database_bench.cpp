// Figures of the database layer over ODBC: a client-side recordset reads its whole result
// at Open (so that the record count is exact), then rows are walked in memory; and the
// decimal reader that every NUMERIC column goes through.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <string>

#include <unistd.h>

#include "database/ado_database.h"
#include "database/ado_recordset.h"
#include "database/db_variant.h"

namespace {

// A SQLite file with `rows` tube rows, made once per size.
std::string TubeDatabase(int rows) {
  std::string path = "/tmp/tervane-bench-" + std::to_string(getpid()) + "-" + std::to_string(rows) + ".db";
  std::remove(path.c_str());
  CAdoDatabase db;
  std::string cs = "DRIVER=SQLite3;Database=" + path;
  if (!db.Open(cs.c_str())) return cs;
  db.Execute("CREATE TABLE tube (id INTEGER PRIMARY KEY, code VARCHAR(20), price NUMERIC(8,2), taken TIMESTAMP)");
  db.Execute("BEGIN");
  for (int i = 0; i < rows; ++i) {
    char sql[200];
    std::snprintf(sql, sizeof sql, "INSERT INTO tube VALUES (%d, 'A%07d', %d.25, '2024-01-02 03:04:05')", i, i, i);
    db.Execute(sql);
  }
  db.Execute("COMMIT");
  return cs;
}

void OpenAndWalk(benchmark::State& state) {
  int rows = static_cast<int>(state.range(0));
  std::string cs = TubeDatabase(rows);
  CAdoDatabase db;
  if (!db.Open(cs.c_str())) {
    state.SkipWithError("SQLite ODBC driver not available");
    return;
  }
  for (auto _ : state) {
    CAdoRecordset rs;
    rs.Open("SELECT id, code, price, taken FROM tube", &db);
    long sum = 0;
    while (!rs.IsEOF()) {
      sum += static_cast<long>(rs.GetFieldValue("id").IntValue());
      rs.MoveNext();
    }
    benchmark::DoNotOptimize(sum);
    if (rs.recordCount != rows) state.SkipWithError("wrong record count");
  }
  state.SetItemsProcessed(state.iterations() * rows);
  std::remove(cs.substr(cs.find('=', 7) + 1).c_str());
}
BENCHMARK(OpenAndWalk)->Arg(100)->Arg(10000)->Unit(benchmark::kMillisecond);

void DecimalFromText(benchmark::State& state) {
  dbl::DbDecimal d;
  for (auto _ : state) {
    benchmark::DoNotOptimize(dbl::DecimalFromText("-1234567890123.456789", d));
  }
}
BENCHMARK(DecimalFromText);

}  // namespace

BENCHMARK_MAIN();
