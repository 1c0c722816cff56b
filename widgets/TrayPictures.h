// Pictures of the station's tray icon, drawn in code, and the main window's tray set-up.
#pragma once

#include <QIcon>

class ThTrayIcon;
class TImageList;

// The resting icon: a thermometer on a blue tile, at 16, 32 and 48 pixels.
QIcon MakeTrayStaticIcon();
// One of the two alarm frames the icon alternates between (frame 0 or 1), at 16, 22 and 32
// pixels.
QIcon MakeTrayFlashFrame(int frame);
// Puts the two alarm frames into frames (after clearing it).
void FillTrayFrames(TImageList& frames);
// Gives the main window's tray icon its design values: hint, balloon text and title
// "Orvalis", balloon time-out 1000 ms, the static icon and the alarm frames from frames, which
// is filled here and must outlive the tray icon. Visibility, minimising and animation are left
// to the caller.
void SetUpStationTrayIcon(ThTrayIcon& tray, TImageList& frames);
