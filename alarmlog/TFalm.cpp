#include "TFalm.h"

#include "StationLink.h"

TFalm::TFalm(StationLink& main, QWidget* parent) : QDialog(parent), main_(main) {
    setObjectName(QStringLiteral("TFalm"));
    setWindowTitle(QStringLiteral("报警记录查询"));
    resize(905, 582);
}

void TFalm::done(int result) {
    QDialog::done(result);
    main_.RestartCountdown();
}
