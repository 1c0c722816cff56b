// Reader and writer of the station's initialisation-file format:
//
//   [section]
//   key=value
//
// Section and key names match without regard to case; a value is read as at most 2047 bytes
// (cut at a character boundary so that the text stays valid UTF-8); a missing file, section or
// key reads as the empty string. A write changes or adds exactly one line, creating the file and
// the section as needed, and keeps every other line as it was. Text is UTF-8; a byte order
// mark at the start of the file is no part of the first line and is kept when writing.
//
// Every call opens the file, does its one read or write and lets go of it: nothing is cached,
// so a change made by one call is seen by the next.
#pragma once

#include <QString>

namespace ini {

constexpr int kMaxValueBytes = 2047;

// The value of key in section, or "" when the file, the section or the key does not exist.
QString Read(const QString& path, const QString& section, const QString& key);

// Sets key in section to value. Line breaks in value would split it into lines of their own
// and corrupt the file, so each CR or LF is stored as a blank. An existing key keeps the
// spelling the file gives it. An existing file is rewritten in place: it keeps its owner,
// group, mode and hard links, and a failed write leaves its old text intact.
// Throws SettingsWriteError("Unable to write to <path>") when the file cannot be written.
void Write(const QString& path, const QString& section, const QString& key, const QString& value);

// The same on the text of a file, for callers that hold it in memory.
QString ReadFromText(const QByteArray& text, const QString& section, const QString& key);
QByteArray WriteToText(const QByteArray& text, const QString& section, const QString& key,
                       const QString& value);

}  // namespace ini
