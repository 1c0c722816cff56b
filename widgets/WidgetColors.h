// Named colours used by the station's indicator widgets (lamp, LED display, clock).
#pragma once

#include <QApplication>
#include <QColor>
#include <QPalette>

namespace widgetcolors {

inline QColor clBlack() {
    return QColor(0x00, 0x00, 0x00);
}
inline QColor clWhite() {
    return QColor(0xFF, 0xFF, 0xFF);
}
inline QColor clRed() {
    return QColor(0xFF, 0x00, 0x00);
}
inline QColor clLime() {
    return QColor(0x00, 0xFF, 0x00);
}
inline QColor clGreen() {
    return QColor(0x00, 0x80, 0x00);
}
inline QColor clBlue() {
    return QColor(0x00, 0x00, 0xFF);
}
inline QColor clNavy() {
    return QColor(0x00, 0x00, 0x80);
}
inline QColor clYellow() {
    return QColor(0xFF, 0xFF, 0x00);
}
inline QColor clAqua() {
    return QColor(0x00, 0xFF, 0xFF);
}
inline QColor clFuchsia() {
    return QColor(0xFF, 0x00, 0xFF);
}
inline QColor clSilver() {
    return QColor(0xC0, 0xC0, 0xC0);
}
inline QColor clGray() {
    return QColor(0x80, 0x80, 0x80);
}

// The desktop's colour of button faces.
inline QColor clBtnFace() {
    return QApplication::palette().color(QPalette::Button);
}
// The desktop's background colour of edit fields and client areas.
inline QColor clWindow() {
    return QApplication::palette().color(QPalette::Base);
}

}  // namespace widgetcolors
