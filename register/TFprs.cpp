#include "TFprs.h"

TFprs::TFprs(QWidget* parent) : QDialog(parent, Qt::FramelessWindowHint | Qt::Dialog) {
    setObjectName(QStringLiteral("TFprs"));
    setFixedSize(202, 36);
    setWindowOpacity(200.0 / 255.0);
}
