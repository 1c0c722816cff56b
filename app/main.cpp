// Program entry: one copy per computer, then the five windows in their order.
#include <QMessageBox>

#include "ChineseInterface.h"
#include "HistoryAttach.h"
#include "NotifyAttach.h"
#include "SingleInstance.h"
#include "SystemTimeZone.h"
#include "TApplication.h"
#include "TFalm.h"
#include "TFmain.h"
#include "TFprs.h"
#include "TFset.h"
#include "TFset2.h"

int main(int argc, char** argv) {
    PreferChineseDates();
    SystemTimeZone::Settle();  // before the first thread starts
    TApplication app(argc, argv);
    SystemTimeZone::FollowEveryMinute(&app);

    SingleInstance instance;
    if (!instance.Acquire(QStringLiteral("TFmain"))) {
        QMessageBox box(QMessageBox::NoIcon, QStringLiteral("运行"),
                        QStringLiteral("该程序已经有一个在运行中！"), QMessageBox::Ok);
        box.exec();
        return 0;
    }

    const QString folder = QCoreApplication::applicationDirPath() + QLatin1Char('/');
    auto* Fmain = new TFmain(folder);
    if (!Fmain->DatabaseOpen()) {
        delete Fmain;
        return 1;
    }
    auto* Fset = new TFset(*Fmain, Fmain);
    auto* Fset2 = new TFset2(*Fmain, Fmain);
    auto* Falm = new TFalm(*Fmain, Fmain);
    auto* Fprs = new TFprs(Fmain);
    Q_UNUSED(Fprs);
    Fmain->AttachWindows(Fset, Fset2, Falm);
    history::Attach(Fmain->Events(), folder,
                    [Fmain](const QString& line) { Fmain->AddBoardLine(line); });
    notify::Attach(Fmain->Events(), folder,
                   [Fmain](const QString& line) { Fmain->AddBoardLine(line); });
    Fmain->ShowAtStart();
    const int rc = app.exec();
    delete Fmain;
    return rc;
}
