#include "TFset.h"

#include "StationLink.h"

TFset::TFset(StationLink& main, QWidget* parent) : QDialog(parent), main_(main) {
    setObjectName(QStringLiteral("TFset"));
    setWindowTitle(QStringLiteral("设备管理"));
    resize(929, 592);
}

void TFset::done(int result) {
    QDialog::done(result);
    main_.RestartCountdown();
}

void TFset::HandleSearchReply(const QByteArray&) {}
