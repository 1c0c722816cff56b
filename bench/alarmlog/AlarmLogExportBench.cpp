// The alarm log window's export of a full sheet: 65,535 listed records written through the
// export button (save dialog answered, file written, success message answered), against
// ssconvert converting the same records from CSV into an .xls file. Prints the ratio.
#include <benchmark/benchmark.h>

#include <QApplication>
#include <QFile>
#include <QFileDialog>
#include <QMap>
#include <QMessageBox>
#include <QProcess>
#include <QPushButton>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <cstdio>
#include <memory>

#include "StationDatabase.h"
#include "TFalm.h"
#include "TFmain.h"
#include "TStringGrid.h"

namespace {

constexpr int kRecords = 65535;

struct Bench {
    QTemporaryDir dir;
    std::unique_ptr<TFmain> main;
    TFalm* falm = nullptr;
    QString csv;  // the listed records, header first, for ssconvert
};
Bench* g = nullptr;

bool Sqlite(const QString& db, const QString& sql) {
    QProcess p;
    p.start("sqlite3", {db});
    p.write(sql.toUtf8() + "\n");
    p.closeWriteChannel();
    p.waitForFinished(-1);
    if (p.exitCode() != 0) fprintf(stderr, "%s\n", p.readAllStandardError().constData());
    return p.exitCode() == 0;
}

// Today's log: 65,535 alarms one second apart, numbers 1 to 250, Chinese locations.
bool Generate(const QString& db) {
    if (!Sqlite(db, ".read " STATION_SCHEMA_FILE)) return false;
    return Sqlite(db, QString("with recursive n(i) as (select 0 union all select i + 1 from n "
                              "where i < %1) "
                              "insert into alming(dates, times, code, fix, almtemp) "
                              "select cast(strftime('%Y%m%d', 'now', 'localtime') as integer), "
                              "(i / 3600) * 10000 + (i / 60 % 60) * 100 + i % 60, i % 250 + 1, "
                              "'库房' || (i % 40) || ' ', printf('%.4f', 20 + (i % 400) / 16.0) "
                              "from n;")
                          .arg(kRecords - 1));
}

// Answers the save dialog with path and the success message with OK, as they come up.
class Operator {
  public:
    explicit Operator(const QString& path) : path_(path) {
        QObject::connect(&timer_, &QTimer::timeout, [this] { Poll(); });
        timer_.start(1);
    }
    QString message;

  private:
    void Poll() {
        for (QWidget* w : QApplication::topLevelWidgets()) {
            if (!w->isVisible()) continue;
            if (auto* dialog = qobject_cast<QFileDialog*>(w)) {
                dialog->selectFile(path_);
                QMetaObject::invokeMethod(dialog, "accept");
            } else if (auto* box = qobject_cast<QMessageBox*>(w)) {
                message = box->text();
                box->done(QMessageBox::Ok);
            }
        }
    }
    QString path_;
    QTimer timer_;
};

void BM_WindowExport(benchmark::State& state) {
    const QString path = g->dir.filePath("报警信息表.xls");
    for (auto _ : state) {
        Operator op(path);
        QTest::mouseClick(g->falm->RzBitBtn5, Qt::LeftButton);
        if (op.message != QString("成功导出 %1 条数据!").arg(kRecords)) {
            state.SkipWithError("the export did not report all records");
            break;
        }
    }
    state.counters["bytes"] = static_cast<double>(QFile(path).size());
}
BENCHMARK(BM_WindowExport)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(5);

void BM_SsconvertFromCsv(benchmark::State& state) {
    const QString ssconvert = QStandardPaths::findExecutable("ssconvert");
    if (ssconvert.isEmpty()) {
        state.SkipWithError("ssconvert (gnumeric) is not installed");
        for (auto _ : state) {
        }
        return;
    }
    const QString xls = g->dir.filePath("ssconvert.xls");
    for (auto _ : state) {
        QProcess process;
        process.start(ssconvert, {"--export-type=Gnumeric_Excel:excel_biff8", g->csv, xls});
        if (!process.waitForFinished(600000) || process.exitCode() != 0) {
            state.SkipWithError("ssconvert failed");
            break;
        }
    }
    state.counters["bytes"] = static_cast<double>(QFile(xls).size());
}
BENCHMARK(BM_SsconvertFromCsv)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(3);

// Console output as usual, remembering each benchmark's real time for the ratio.
class RatioReporter : public benchmark::ConsoleReporter {
  public:
    void ReportRuns(const std::vector<Run>& runs) override {
        ConsoleReporter::ReportRuns(runs);
        for (const Run& run : runs) {
            if (!run.error_occurred)
                times[QString::fromStdString(run.benchmark_name())] = run.GetAdjustedRealTime();
        }
    }
    QMap<QString, double> times;
};

// The grid's texts as CSV, every cell quoted.
bool WriteCsv(const QString& path, TStringGrid* grid) {
    QFile f(path);
    if (!f.open(QIODevice::WriteOnly)) return false;
    for (int r = 0; r < grid->RowCount(); ++r) {
        QStringList cells = grid->RowCells(r);
        for (QString& c : cells) c = '"' + c.replace('"', "\"\"") + '"';
        f.write(cells.join(',').toUtf8() + '\n');
    }
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    // The station under measurement never probes the machine's own serial devices.
    setenv("SENSORBUS_PORTS", "", 1);
    benchmark::Initialize(&argc, argv);
    QApplication app(argc, argv);

    Bench bench;
    g = &bench;
    if (!Generate(bench.dir.filePath("newdb.mdb"))) return 1;
    QFile ini(bench.dir.filePath("peizhi.ini"));
    if (!ini.open(QIODevice::WriteOnly)) return 1;
    ini.write("[seting]\nstart=1\nicon=0\ninterval=60\nmedia=\n");
    ini.close();

    bench.main = std::make_unique<TFmain>(bench.dir.path() + '/');
    if (!bench.main->DatabaseOpen()) return 1;
    bench.main->TimerB()->stop();
    bench.falm = new TFalm(*bench.main, bench.main.get());
    bench.falm->show();  // lists today's alarms
    if (!QTest::qWaitForWindowExposed(bench.falm)) return 1;
    const int listed = bench.falm->RzStringGrid1->RowCount() - 1;
    if (listed != kRecords) {
        fprintf(stderr, "expected %d listed records, found %d\n", kRecords, listed);
        return 1;
    }
    bench.csv = bench.dir.filePath("log.csv");
    if (!WriteCsv(bench.csv, bench.falm->RzStringGrid1)) return 1;

    RatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    double ours = 0;
    double theirs = 0;
    for (auto it = reporter.times.cbegin(); it != reporter.times.cend(); ++it) {
        if (it.key().startsWith("BM_WindowExport")) ours = it.value();
        if (it.key().startsWith("BM_SsconvertFromCsv")) theirs = it.value();
    }
    if (ours > 0 && theirs > 0) {
        std::printf("ssconvert CSV->xls time / window export time for %d records: %.1f\n", kRecords,
                    theirs / ours);
    } else {
        std::printf("ratio not available (ssconvert missing or a run failed)\n");
    }
    benchmark::Shutdown();
    bench.falm->hide();
    bench.main.reset();
    StationDatabase::Close();
    return 0;
}
