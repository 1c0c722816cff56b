#include "TCenterPoint.h"

#include "WidgetColors.h"

TCenterPoint::TCenterPoint(QObject* owner)
    : QObject(owner), fillColor(widgetcolors::clBlack()), penColor(widgetcolors::clWhite()) {}

void TCenterPoint::setPointSize(int value) {
    if (value == pointSize) return;
    pointSize = value;
    emit Changed();
}

void TCenterPoint::setPenSize(int value) {
    if (value == penSize) return;
    penSize = value;
    emit Changed();
}

void TCenterPoint::setFillColor(const QColor& value) {
    if (value == fillColor) return;
    fillColor = value;
    emit Changed();
}

void TCenterPoint::setPenColor(const QColor& value) {
    if (value == penColor) return;
    penColor = value;
    emit Changed();
}
