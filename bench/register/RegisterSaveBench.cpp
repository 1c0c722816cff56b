// Saving a register of 2,000 rows the way the register window does: the duplicate check, the
// conversion of every row, then delete and inserts in one transaction on a database file.
#include <benchmark/benchmark.h>

#include <QCoreApplication>
#include <QProcess>
#include <QTemporaryDir>

#include "RegisterRules.h"
#include "RegisterStore.h"
#include "StationDatabase.h"
#include "TQuery.h"

namespace {

QVector<QStringList> GridRows(int n) {
    QVector<QStringList> rows;
    rows.reserve(n);
    for (int i = 1; i <= n; ++i)
        rows.append({QString::number(i), QString("%1").arg(i, 6, 16, QChar('0')).toUpper(),
                     QString("room %1").arg(i), "30.5", "-10", "remark"});
    return rows;
}

void SaveRegister(benchmark::State& state) {
    QTemporaryDir dir;
    const QString db = dir.filePath("newdb.mdb");
    QProcess sqlite;
    sqlite.start("sqlite3", {db, ".read " STATION_SCHEMA_FILE});
    if (!sqlite.waitForFinished() || sqlite.exitCode() != 0) {
        state.SkipWithError("cannot make the database");
        return;
    }
    StationDatabase::Open(db);
    TQuery query(QString::fromLatin1(StationDatabase::kConnectionName));
    const QVector<QStringList> rows = GridRows(static_cast<int>(state.range(0)));
    for (auto _ : state) {
        if (registerrules::FindDuplicate(rows)) state.SkipWithError("unexpected duplicate");
        QVector<registerrules::RegisterRecord> records;
        records.reserve(rows.size());
        for (int i = 0; i < rows.size(); ++i)
            records.append(registerrules::RecordFromRow(rows[i], i + 1));
        registerstore::ReplaceAll(query, records);
    }
    state.SetItemsProcessed(state.iterations() * rows.size());
    StationDatabase::Close();
}
BENCHMARK(SaveRegister)->Arg(2000)->Unit(benchmark::kMillisecond);

void FindDuplicateIn2000Rows(benchmark::State& state) {
    QVector<QStringList> rows = GridRows(2000);
    rows.last()[1] = rows.first()[1];  // the only twin is found last
    for (auto _ : state) benchmark::DoNotOptimize(registerrules::FindDuplicate(rows));
}
BENCHMARK(FindDuplicateIn2000Rows)->Unit(benchmark::kMicrosecond);

}  // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
