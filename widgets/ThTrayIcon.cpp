#include "ThTrayIcon.h"

ThTrayIcon::ThTrayIcon(QWidget* owner) : TCustomhTrayIcon(owner) {}
