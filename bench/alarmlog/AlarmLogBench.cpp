// The alarm log window on a log that has grown for years: 1,000,000 records spread over the
// last 300 days (about 3,300 a day, so a 30-day range lists about 100,000). Measures today's
// listing, a 30-day range into the grid, scrolling and selecting in that list, deleting one
// record (with the relisting it causes) and clearing the whole log.
#include <benchmark/benchmark.h>

#include <QApplication>
#include <QDate>
#include <QDateEdit>
#include <QElapsedTimer>
#include <QFile>
#include <QMessageBox>
#include <QProcess>
#include <QPushButton>
#include <QScrollBar>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <cstdio>
#include <memory>

#include "AlarmLogText.h"
#include "StatementCatalogue.h"
#include "StationDatabase.h"
#include "TFalm.h"
#include "TFmain.h"
#include "TStringGrid.h"

namespace {

constexpr int kRecords = 1000000;
constexpr int kDays = 300;
constexpr int kPerDay = (kRecords + kDays - 1) / kDays;

struct Bench {
    QTemporaryDir dir;
    QString templateDb;  // the generated log, copied back before each clear
    std::unique_ptr<TFmain> main;
    TFalm* falm = nullptr;
};
Bench* g = nullptr;

bool Sqlite(const QString& db, const QString& sql) {
    QProcess p;
    p.start("sqlite3", {db, sql});
    p.waitForFinished(-1);
    if (p.exitCode() != 0) fprintf(stderr, "%s\n", p.readAllStandardError().constData());
    return p.exitCode() == 0;
}

// One statement in one transaction: a recursive count feeds the insert. The records are
// written in the order the station records alarms, oldest first: day after day over the last
// 300 days, 3,334 a day (one every 25 seconds, numbers 1 to 200 in turn). No two records
// share date, time and number.
bool Generate(const QString& db) {
    if (!Sqlite(db, ".read " STATION_SCHEMA_FILE)) return false;
    const QString sql = QString(
                            "with recursive n(i) as (select 0 union all select i + 1 from n "
                            "where i < %1), "
                            "r(day, k, i) as (select %2 - 1 - i / %3, i % %3, i from n) "
                            "insert into alming(dates, times, code, fix, almtemp) "
                            "select cast(strftime('%Y%m%d', date('now', 'localtime', "
                            "'-' || day || ' days')) as integer), "
                            "(k * 25 / 3600) * 10000 + (k * 25 / 60 % 60) * 100 + k * 25 % 60, "
                            "k % 200 + 1, 'loc' || (k % 200) || ' ', "
                            "printf('%.1f', 20 + (i % 100) / 10.0) from r;")
                            .arg(kRecords - 1)
                            .arg(kDays)
                            .arg(kPerDay);
    return Sqlite(db, sql);
}

void Settle() {
    QApplication::processEvents();
    g->falm->RzStringGrid1->viewport()->repaint();
}

void Click(QPushButton* b) {
    QTest::mouseClick(b, Qt::LeftButton);
    Settle();
}

void ListRange(int days) {
    g->falm->DateEdit1->setDate(QDate::currentDate().addDays(-(days - 1)));
    g->falm->DateEdit2->setDate(QDate::currentDate());
    Click(g->falm->RzBitBtn1);
}

void BM_TodayQuery(benchmark::State& state) {
    for (auto _ : state) {
        g->falm->DateEdit1->setDate(QDate::currentDate());
        g->falm->DateEdit2->setDate(QDate::currentDate());
        Click(g->falm->RzBitBtn1);
    }
    state.counters["rows"] = g->falm->RzStringGrid1->RowCount() - 1;
}
BENCHMARK(BM_TodayQuery)->Unit(benchmark::kMillisecond);

void BM_Range30DaysIntoGrid(benchmark::State& state) {
    for (auto _ : state) ListRange(30);
    state.counters["rows"] = g->falm->RzStringGrid1->RowCount() - 1;
}
BENCHMARK(BM_Range30DaysIntoGrid)->Unit(benchmark::kMillisecond);

// With the 30-day list shown: page through it with the scroll bar and select rows, as an
// operator dragging the thumb and clicking would.
void BM_ScrollAndSelectIn100k(benchmark::State& state) {
    ListRange(30);
    TStringGrid* grid = g->falm->RzStringGrid1;
    QScrollBar* bar = grid->verticalScrollBar();
    int step = 0;
    for (auto _ : state) {
        const int row = 1 + (step * 7919) % (grid->RowCount() - 1);
        bar->setValue(bar->maximum() * (step % 10) / 9);
        grid->SetRow(row);
        Settle();
        ++step;
    }
    state.counters["rows"] = grid->RowCount() - 1;
}
BENCHMARK(BM_ScrollAndSelectIn100k)->Unit(benchmark::kMillisecond);

// The delete statement alone on the million-record log.
void BM_DeleteStatement(benchmark::State& state) {
    ListRange(30);
    TStringGrid* grid = g->falm->RzStringGrid1;
    int row = 1;
    for (auto _ : state) {
        const QString date = grid->Cell(0, row), time = grid->Cell(1, row),
                      code = grid->Cell(2, row);
        TQuery q;
        q.Prepare(catalogue::DeleteAlarm);
        q.SetParam("dates", alarmlog::DigitsOf(date).toInt());
        q.SetParam("times", alarmlog::DigitsOf(time).toInt());
        q.SetParam("code", code.toInt());
        const int n = q.ExecSQL();
        if (n != 1) state.SkipWithError("not exactly one record deleted");
        ++row;
    }
}
BENCHMARK(BM_DeleteStatement)->Unit(benchmark::kMillisecond);

// The delete button with a 30-day list shown: the statement and the relisting of ~100,000 rows.
void BM_DeleteButtonWith100kListed(benchmark::State& state) {
    ListRange(30);
    TStringGrid* grid = g->falm->RzStringGrid1;
    const int before = grid->RowCount();
    for (auto _ : state) {
        grid->SetRow(grid->RowCount() / 2);
        Click(g->falm->RzBitBtn2);
    }
    if (grid->RowCount() != before - static_cast<int>(state.iterations()) && state.iterations() > 0)
        state.SkipWithError("the list did not lose one row per delete");
}
BENCHMARK(BM_DeleteButtonWith100kListed)->Unit(benchmark::kMillisecond);

// Clear answered Yes; the log is put back (untimed) before each run.
void BM_ClearMillion(benchmark::State& state) {
    const QString db = g->dir.path() + "/newdb.mdb";
    for (auto _ : state) {
        state.PauseTiming();
        StationDatabase::Close();
        QFile::remove(db);
        QFile::copy(g->templateDb, db);
        StationDatabase::Open(db);
        state.ResumeTiming();
        QTimer answer;
        QObject::connect(&answer, &QTimer::timeout, [&] {
            for (QWidget* w : QApplication::topLevelWidgets())
                if (auto* box = qobject_cast<QMessageBox*>(w); box && box->isVisible())
                    box->done(QMessageBox::Yes);
        });
        answer.start(1);
        Click(g->falm->RzBitBtn3);
        answer.stop();
    }
    TQuery q;
    q.Prepare(catalogue::AllAlarms);
    q.Open();
    if (q.RecordCount() != 0) state.SkipWithError("the log was not cleared");
}
BENCHMARK(BM_ClearMillion)->Unit(benchmark::kMillisecond)->Iterations(3);

}  // namespace

int main(int argc, char** argv) {
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    benchmark::Initialize(&argc, argv);
    QApplication app(argc, argv);

    Bench bench;
    g = &bench;
    bench.templateDb = bench.dir.path() + "/template.mdb";
    QElapsedTimer t;
    t.start();
    if (!Generate(bench.templateDb)) return 1;
    fprintf(stderr, "generated %d records in %lld ms\n", kRecords, t.elapsed());
    QFile::copy(bench.templateDb, bench.dir.path() + "/newdb.mdb");
    QFile ini(bench.dir.path() + "/peizhi.ini");
    if (!ini.open(QIODevice::WriteOnly)) return 1;
    ini.write("[seting]\nstart=1\nicon=0\ninterval=60\nmedia=\n");
    ini.close();

    bench.main = std::make_unique<TFmain>(bench.dir.path() + '/');
    if (!bench.main->DatabaseOpen()) return 1;
    bench.main->TimerB()->stop();
    bench.falm = new TFalm(*bench.main, bench.main.get());
    t.restart();
    bench.falm->show();  // lists today's alarms
    if (!QTest::qWaitForWindowExposed(bench.falm)) return 1;
    fprintf(stderr, "window shown with %d of today's records in %lld ms\n",
            bench.falm->RzStringGrid1->RowCount() - 1, t.elapsed());

    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    bench.falm->hide();
    bench.main.reset();
    StationDatabase::Close();
    return 0;
}
