// The history window on a large history file: from the request for one sensor to the drawn
// chart (read on the window's thread, thinned, laid out and painted), for the last 30 days and
// for a year, and the export of that year to .xlsx. Make the file first with history_bench:
//
//   history_bench 2102400 /tmp/hist 4        (four sensors, a year and a bit of one a minute)
//   history_window_bench /tmp/hist [code] [copy.xlsx]
//     (code: the sensor's number, default 1; copy.xlsx: where to keep the year's workbook)
#include <QApplication>
#include <QComboBox>
#include <QDateEdit>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QTextStream>
#include <algorithm>
#include <vector>

#include "HistoryExport.h"
#include "HistoryWindow.h"

namespace {

// Milliseconds from the request to the painted chart.
double Draw(history::HistoryWindow& window, int code) {
    QEventLoop loop;
    auto c = QObject::connect(&window, &history::HistoryWindow::Drawn, &loop, &QEventLoop::quit);
    QElapsedTimer t;
    t.start();
    window.ShowSensor(code);
    loop.exec();
    window.repaint();
    const double ms = t.nsecsElapsed() / 1e6;
    QObject::disconnect(c);
    return ms;
}

QString Figures(std::vector<double> ms) {
    const double first = ms.front();
    std::sort(ms.begin(), ms.end());
    return QStringLiteral("first %1 ms, median %2 ms, best %3 ms")
        .arg(first, 0, 'f', 1)
        .arg(ms[ms.size() / 2], 0, 'f', 1)
        .arg(ms.front(), 0, 'f', 1);
}

}  // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    QTextStream out(stdout);
    if (argc < 2) {
        out << "usage: history_window_bench <folder with history.db> [code]\n";
        return 2;
    }
    const QString folder = QString::fromLocal8Bit(argv[1]) + QLatin1Char('/');
    const int code = argc > 2 ? QString(argv[2]).toInt() : 1;

    history::HistoryWindow window(folder + QStringLiteral("history.db"),
                                  folder + QStringLiteral("peizhi.ini"));
    window.resize(1100, 720);
    auto* range = window.findChild<QComboBox*>(QStringLiteral("rangeBox"));
    range->setCurrentIndex(history::HistoryWindow::Last30Days);
    std::vector<double> month;
    for (int i = 0; i < 7; ++i) month.push_back(Draw(window, code));
    out << "one sensor 30 days: " << window.Range()->Readings() << " readings, " << Figures(month)
        << "\n";

    // A year: the free range over the last 365 days, set while the window is hidden.
    window.hide();
    range->setCurrentIndex(history::HistoryWindow::Free);
    window.findChild<QDateEdit*>(QStringLiteral("fromDate"))
        ->setDate(QDate::currentDate().addDays(-365));
    window.findChild<QDateEdit*>(QStringLiteral("toDate"))->setDate(QDate::currentDate());
    std::vector<double> year;
    for (int i = 0; i < 5; ++i) year.push_back(Draw(window, code));
    out << "one sensor a year:  " << window.Range()->Readings() << " readings, " << Figures(year)
        << "\n";

    QTemporaryDir tmp;
    const QString xlsx = tmp.path() + QStringLiteral("/year.xlsx");
    QElapsedTimer t;
    t.start();
    const qint64 rows = history::HistoryExport::WriteXlsx(*window.Range(), xlsx);
    out << "year to .xlsx:      " << rows << " rows, " << QFileInfo(xlsx).size() << " bytes in "
        << QString::number(t.nsecsElapsed() / 1e9, 'f', 2) << " s\n";
    const QString csv = tmp.path() + QStringLiteral("/year.csv");
    t.restart();
    history::HistoryExport::WriteCsv(*window.Range(), csv);
    out << "year to CSV:        " << QFileInfo(csv).size() << " bytes in "
        << QString::number(t.nsecsElapsed() / 1e9, 'f', 2) << " s\n";
    if (argc > 3) {  // keep the workbook for an outside reader
        QFile::remove(QString::fromLocal8Bit(argv[3]));
        QFile::copy(xlsx, QString::fromLocal8Bit(argv[3]));
    }
    return 0;
}
