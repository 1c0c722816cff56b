// The station's own application icon, drawn in code like the tray pictures: a thermometer
// beside three sensor points on a bus line, on a teal tile.
#pragma once

#include <QIcon>
#include <QImage>
#include <QList>

// Sizes at which the icon is drawn (and installed for the desktop's menus).
QList<int> StationIconSizes();

// The icon drawn at size x size pixels, transparent around its rounded tile.
QImage StationIconPicture(int size);

// The icon with a picture at every size of StationIconSizes().
QIcon MakeStationIcon();
