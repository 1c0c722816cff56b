// station-history: checks the reading history's seals from the command line.
//
//   station-history verify [path/to/history.db]
//
// Without a path, the history.db beside the program is checked. Exit code 0 when every sealed
// day is as it was sealed, 1 with the days changed afterwards listed, 2 when the file cannot be
// read or the command is wrong.
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QTextStream>

#include "HistoryVerifier.h"

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    QTextStream out(stdout);
    QTextStream err(stderr);
    const QStringList args = app.arguments();
    if (args.size() < 2 || args.size() > 3 || args[1] != QStringLiteral("verify")) {
        err << "用法: station-history verify [history.db 的路径]\n"
               "usage: station-history verify [path/to/history.db]\n";
        return 2;
    }
    const QString path =
        args.size() == 3 ? args[2]
                         : QCoreApplication::applicationDirPath() + QStringLiteral("/history.db");
    QElapsedTimer clock;
    clock.start();
    const history::HistoryVerifier::Result result = history::HistoryVerifier::Verify(path);
    if (!result.error.isEmpty()) {
        err << QStringLiteral("无法读取 %1: %2\n").arg(path, result.error);
        return 2;
    }
    for (const QString& line : result.findings) out << line << '\n';
    out << QStringLiteral("%1: 检查了 %2 个封存日、%3 条读数，%4（%5 秒）\n")
               .arg(path)
               .arg(result.daysChecked)
               .arg(result.readings)
               .arg(!result.findings.isEmpty()
                        ? QStringLiteral("发现 %1 处改动").arg(result.findings.size())
                    : result.daysChecked == 0
                        ? QStringLiteral("还没有封存的日子（每天的读数在第二天封存）")
                        : QStringLiteral("全部完好"))
               .arg(clock.elapsed() / 1000.0, 0, 'f', 1);
    return result.findings.isEmpty() ? 0 : 1;
}
