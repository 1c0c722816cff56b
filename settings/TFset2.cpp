#include "TFset2.h"

#include "StationLink.h"

TFset2::TFset2(StationLink& main, QWidget* parent) : QDialog(parent), main_(main) {
    setObjectName(QStringLiteral("TFset2"));
    setWindowTitle(QStringLiteral("参数设定"));
    setFixedSize(373, 292);
    ComboBox1 = new QComboBox(this);
    ComboBox1->setObjectName(QStringLiteral("ComboBox1"));
    ComboBox1->setEditable(true);
    ComboBox1->setToolTip(QStringLiteral("当前通信"));
    sLabelFX3 = new QLabel(QStringLiteral("未连接       "), this);
    sLabelFX3->setObjectName(QStringLiteral("sLabelFX3"));
    sLabelFX3->setStyleSheet(QStringLiteral("color: red;"));
}

void TFset2::done(int result) {
    QDialog::done(result);
    main_.RestartCountdown();
}
