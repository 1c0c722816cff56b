// The tray icon as the windows use it; all behaviour lives in TCustomhTrayIcon.
#pragma once

#include "TCustomhTrayIcon.h"

class ThTrayIcon : public TCustomhTrayIcon {
    Q_OBJECT

  public:
    explicit ThTrayIcon(QWidget* owner);
};
