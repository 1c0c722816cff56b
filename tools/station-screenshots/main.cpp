// Takes the pictures of the operator guide from the running station: the five windows are
// created as the program creates them, on the program folder given, and each window, a
// message box and a file dialog are photographed as the operator meets them. The history
// window is shown on a week of demo readings written into the folder's history.db first (when
// the folder has none), the server room with one excursion above its limit.
//   station-screenshots <program folder> <picture folder>
// Run it on a display (scripts/make-screenshots.sh runs it under a virtual one, on the bus
// simulator).
#include <QAbstractButton>
#include <QComboBox>
#include <QDateTime>
#include <QDir>
#include <QEventLoop>
#include <QFile>
#include <QListWidget>
#include <QMessageBox>
#include <QPixmap>
#include <QTimer>
#include <cmath>
#include <cstdio>
#include <functional>

#include "HistoryAttach.h"
#include "HistoryStore.h"
#include "HistoryWindow.h"
#include "TApplication.h"
#include "TFalm.h"
#include "TFmain.h"
#include "TFprs.h"
#include "TFset.h"
#include "TFset2.h"
#include "XlsFileDialog.h"

namespace {

QString outDir;
int failures = 0;

void Wait(int ms) {
    QEventLoop loop;
    QTimer::singleShot(ms, &loop, &QEventLoop::quit);
    loop.exec();
}

void Save(QWidget* w, const QString& name) {
    const QString file = outDir + QLatin1Char('/') + name + QStringLiteral(".png");
    if (!w || !w->grab().save(file)) {
        std::fprintf(stderr, "could not take %s\n", qPrintable(file));
        ++failures;
        return;
    }
    std::printf("%s\n", qPrintable(file));
}

// Starts open (which shows a modal window and returns when it closes); once the window is up
// it is photographed and then closed by close(window).
void Photograph(const QString& name, const std::function<void()>& open,
                const std::function<void(QWidget*)>& close) {
    QTimer::singleShot(1500, [name, close] {
        QWidget* w = QApplication::activeModalWidget();
        Save(w, name);
        if (w) close(w);
    });
    open();
}

void Click(QWidget* top, const char* name) {
    if (auto* b = top->findChild<QAbstractButton*>(QString::fromLatin1(name))) b->click();
}

// A week of readings of the demo's cold room and server room, every five minutes, the server
// room above its 28 °C limit for two and a half hours three days ago.
void WriteDemoHistory(const QString& path) {
    if (QFile::exists(path)) return;
    history::HistoryStore store;
    store.Open(path);
    const qint64 cold =
        store.SensorId(1, QStringLiteral("28A001"), QStringLiteral("冷库一号 "), -5, -25);
    const qint64 server =
        store.SensorId(2, QStringLiteral("28A002"), QStringLiteral("服务器机房 "), 28, 10);
    const qint64 now = QDateTime::currentSecsSinceEpoch();
    const qint64 first = (now - 7 * 86400) / 300 * 300;
    const qint64 excursion = (now - 3 * 86400) / 300 * 300;
    const qint64 excursionEnd = excursion + 9000;
    std::vector<history::HistoryStore::Sample> samples;
    qint64 peak = 0;
    for (qint64 t = first; t < now - 300; t += 300) {
        const double day = 2 * M_PI * static_cast<double>(t % 86400) / 86400.0;
        // The cold room defrosts for twenty minutes every eight hours.
        const bool defrost = t % 28800 < 1200;
        const double c = defrost ? -12.0 : -18.5 + 0.6 * std::sin(day * 9) + 0.3 * std::sin(day);
        double s = 23.0 + 2.2 * std::sin(day - 2.0) + 0.4 * std::sin(day * 5);
        if (t >= excursion && t < excursionEnd)
            s = 28.5 + 3.0 * std::sin(M_PI * static_cast<double>(t - excursion) / 9000.0);
        samples.push_back({cold, t, history::HistoryStore::ToSixteenths(c)});
        samples.push_back({server, t, history::HistoryStore::ToSixteenths(s)});
        if (t >= excursion && t < excursionEnd)
            peak = std::max(peak, history::HistoryStore::ToSixteenths(s));
    }
    history::HistoryStore::Episode alarm;
    alarm.kind = history::EpisodeKind::AlarmHigh;
    alarm.sensor = server;
    alarm.started = excursion;
    alarm.ended = excursionEnd;
    alarm.hasExtreme = true;
    alarm.extreme = peak;
    store.Write(samples, {&alarm});
    store.Close();
}

history::HistoryWindow* HistoryWindowShown() {
    for (QWidget* w : QApplication::topLevelWidgets())
        if (auto* h = qobject_cast<history::HistoryWindow*>(w); h && h->isVisible()) return h;
    return nullptr;
}

}  // namespace

int main(int argc, char** argv) {
    TApplication app(argc, argv);
    if (argc != 3) {
        std::fprintf(stderr, "usage: station-screenshots <program folder> <picture folder>\n");
        return 2;
    }
    const QString folder = QDir(QString::fromLocal8Bit(argv[1])).absolutePath() + QLatin1Char('/');
    outDir = QString::fromLocal8Bit(argv[2]);
    QDir().mkpath(outDir);

    WriteDemoHistory(folder + QStringLiteral("history.db"));
    auto* Fmain = new TFmain(folder);
    if (!Fmain->DatabaseOpen()) return 1;
    auto* Fset = new TFset(*Fmain, Fmain);
    auto* Fset2 = new TFset2(*Fmain, Fmain);
    auto* Falm = new TFalm(*Fmain, Fmain);
    new TFprs(Fmain);
    Fmain->AttachWindows(Fset, Fset2, Falm);
    history::Attach(Fmain->Events(), folder,
                    [Fmain](const QString& line) { Fmain->AddBoardLine(line); });
    Fmain->show();

    // The bus is found and a few readings (and the demo's alarm) have come in.
    Wait(12000);
    Save(Fmain, QStringLiteral("main-window"));

    auto reject = [](QWidget* w) { w->close(); };
    Photograph(
        QStringLiteral("register-window"), [&] { Click(Fmain, "SpeedButton2"); }, reject);
    Photograph(
        QStringLiteral("alarm-log-window"), [&] { Click(Fmain, "SpeedButton3"); }, reject);
    Photograph(
        QStringLiteral("settings-window"), [&] { Click(Fmain, "SpeedButton7"); }, reject);
    // The question on closing the main window, answered No.
    Photograph(
        QStringLiteral("message-box"), [&] { Fmain->close(); },
        [](QWidget* w) {
            if (auto* box = qobject_cast<QMessageBox*>(w)) box->button(QMessageBox::No)->click();
        });
    // The register's backup asks where to save.
    Photograph(
        QStringLiteral("file-dialog"),
        [&] { xlsfiledialog::AskSavePath(Fmain, QStringLiteral("配置表单备份")); }, reject);

    // The server room's history over the last seven days, the cold room ticked beside it.
    emit Fmain->Events().HistoryRequested(2);
    Wait(1500);
    if (history::HistoryWindow* h = HistoryWindowShown()) {
        auto* range = h->findChild<QComboBox*>(QStringLiteral("rangeBox"));
        range->setCurrentIndex(history::HistoryWindow::Last7Days);
        emit range->activated(history::HistoryWindow::Last7Days);
        Wait(1500);
        auto* list = h->findChild<QListWidget*>(QStringLiteral("sensorList"));
        for (int i = 0; list && i < list->count(); ++i)
            if (list->item(i)->data(Qt::UserRole).toInt() == 1)
                list->item(i)->setCheckState(Qt::Checked);
        Wait(2000);
        Save(h, QStringLiteral("history-window"));
        h->close();
    } else {
        std::fprintf(stderr, "the history window did not open\n");
        ++failures;
    }

    delete Fmain;
    return failures == 0 ? 0 : 1;
}
