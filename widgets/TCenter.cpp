#include "TCenter.h"

TCenter::TCenter(QObject* owner, int x, int y) : QObject(owner), x(x), y(y) {}

void TCenter::setX(int value) {
    if (value == x) return;
    x = value;
    emit Changed();
}

void TCenter::setY(int value) {
    if (value == y) return;
    y = value;
    emit Changed();
}
