// Takes the pictures of the operator guide from the running station: the five windows are
// created as the program creates them, on the program folder given, and each window, a
// message box and a file dialog are photographed as the operator meets them.
//   station-screenshots <program folder> <picture folder>
// Run it on a display (scripts/make-screenshots.sh runs it under a virtual one, on the bus
// simulator).
#include <QAbstractButton>
#include <QDir>
#include <QEventLoop>
#include <QMessageBox>
#include <QPixmap>
#include <QTimer>
#include <cstdio>
#include <functional>

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

    auto* Fmain = new TFmain(folder);
    if (!Fmain->DatabaseOpen()) return 1;
    auto* Fset = new TFset(*Fmain, Fmain);
    auto* Fset2 = new TFset2(*Fmain, Fmain);
    auto* Falm = new TFalm(*Fmain, Fmain);
    new TFprs(Fmain);
    Fmain->AttachWindows(Fset, Fset2, Falm);
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

    delete Fmain;
    return failures == 0 ? 0 : 1;
}
