// Writing 65,535 alarm records of five text columns: our writer against ssconvert converting
// the same records from CSV. Also times reading the written file back.
#include <benchmark/benchmark.h>

#include <QCoreApplication>
#include <QFile>
#include <QMap>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <cstdio>

#include "SheetSplitter.h"
#include "XlsReader.h"
#include "XlsWriter.h"

namespace {

const QStringList kHeader = {"  日  期", "  时 间", " 编  号", " 方 位", " 报警值"};
constexpr int kRecords = 65535;

const QVector<QStringList>& Records() {
    static const QVector<QStringList> records = [] {
        QVector<QStringList> rows;
        rows.reserve(kRecords);
        for (int i = 0; i < kRecords; ++i) {
            rows.append(
                {QStringLiteral("2007年%1月%2日").arg(1 + i / 5400 % 12).arg(1 + i / 180 % 30),
                 QStringLiteral("%1:%2:%3")
                     .arg(i / 3600 % 24, 2, 10, QChar('0'))
                     .arg(i / 60 % 60, 2, 10, QChar('0'))
                     .arg(i % 60, 2, 10, QChar('0')),
                 QString::number(1 + i % 250), QStringLiteral("%1号库房").arg(1 + i % 40),
                 QString::number(20 + (i % 400) * 0.0625)});
        }
        return rows;
    }();
    return records;
}

void BM_OurWriter(benchmark::State& state) {
    QTemporaryDir dir;
    const QString path = dir.filePath("log.xls");
    for (auto _ : state) {
        WriteWorkbook(path, SplitIntoSheets(kHeader, Records(), "Sheet1"));
    }
    state.counters["bytes"] = static_cast<double>(QFile(path).size());
}

void BM_SsconvertFromCsv(benchmark::State& state) {
    const QString ssconvert = QStandardPaths::findExecutable("ssconvert");
    if (ssconvert.isEmpty()) {
        state.SkipWithError("ssconvert (gnumeric) is not installed");
        for (auto _ : state) {
        }
        return;
    }
    QTemporaryDir dir;
    const QString csv = dir.filePath("log.csv");
    const QString xls = dir.filePath("log.xls");
    {
        QFile f(csv);
        f.open(QIODevice::WriteOnly);
        f.write(kHeader.join(',').toUtf8() + '\n');
        for (const QStringList& r : Records()) f.write(r.join(',').toUtf8() + '\n');
    }
    for (auto _ : state) {
        QProcess process;
        process.start(ssconvert, {"--export-type=Gnumeric_Excel:excel_biff8", csv, xls});
        if (!process.waitForFinished(600000) || process.exitCode() != 0) {
            state.SkipWithError("ssconvert failed");
            break;
        }
    }
    state.counters["bytes"] = static_cast<double>(QFile(xls).size());
}

void BM_OurReader(benchmark::State& state) {
    QTemporaryDir dir;
    const QString path = dir.filePath("log.xls");
    WriteWorkbook(path, SplitIntoSheets(kHeader, Records(), "Sheet1"));
    for (auto _ : state) {
        benchmark::DoNotOptimize(ReadFirstSheet(path));
    }
}

BENCHMARK(BM_OurWriter)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(5);
BENCHMARK(BM_SsconvertFromCsv)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(3);
BENCHMARK(BM_OurReader)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(5);

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

}  // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    RatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    double ours = 0;
    double theirs = 0;
    for (auto it = reporter.times.cbegin(); it != reporter.times.cend(); ++it) {
        if (it.key().startsWith("BM_OurWriter")) ours = it.value();
        if (it.key().startsWith("BM_SsconvertFromCsv")) theirs = it.value();
    }
    if (ours > 0 && theirs > 0) {
        std::printf("ssconvert CSV->xls time / our writer time for %d records: %.1f\n", kRecords,
                    theirs / ours);
    } else {
        std::printf("ratio not available (ssconvert missing or a run failed)\n");
    }
    benchmark::Shutdown();
    return 0;
}
