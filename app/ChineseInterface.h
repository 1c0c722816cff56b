// The station speaks Chinese whatever the system's locale: the toolkit's own dialogs, buttons,
// context menus and calendars in Simplified Chinese, Chinese month and day names, and one CJK
// font for every text so that the screen looks the same under any locale.
#pragma once

#include <QString>

class QApplication;

// Family of the font every window of the station prefers ("Noto Sans CJK SC"): it carries
// every character the station shows, the degree sign "℃" included.
QString StationFontFamily();

// Dates the toolkit formats in the system's locale (the file dialogs' "modified" column) come
// out in Chinese too: when the user has chosen no locale for times, the Chinese one is used if
// the system has it. Call before the application object is created.
void PreferChineseDates();

// Loads the toolkit's Chinese (Simplified) translations, makes
// Chinese (China) the default locale and gives the application the station's font and icon.
// Call once, after the application object exists and before any window is created. Returns
// false when the toolkit's Chinese catalogue is not installed (the station still runs, with
// the standard texts of the toolkit in English).
bool SetUpChineseInterface(QApplication& app);
