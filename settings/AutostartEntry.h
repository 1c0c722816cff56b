// The current user's XDG autostart entry that starts the station at login
// ($XDG_CONFIG_HOME/autostart, by default ~/.config/autostart): after a power cut and a
// reboot the station is watching again without anyone touching it.
#pragma once

#include <QString>

class AutostartEntry {
  public:
    // Where the entry lives.
    static QString Path();
    // True when the entry is there.
    static bool Exists();
    // Writes the entry so that the desktop starts program at login; false when the file
    // cannot be written.
    static bool Write(const QString& program);
    // Removes the entry; true when it is gone afterwards.
    static bool Remove();
};
