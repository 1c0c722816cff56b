#include "IniFile.h"

#include <QFile>
#include <QFileInfo>
#include <QList>
#include <QSaveFile>

#include "StationError.h"

namespace ini {
namespace {

// One line of the file split into what the format sees in it.
struct LineView {
    enum Kind { Other, Section, Entry } kind = Other;
    QByteArray name;   // section or key name, trimmed
    QByteArray value;  // entry value, trimmed
};

LineView Parse(const QByteArray& rawLine) {
    QByteArray line = rawLine;
    if (line.endsWith('\r')) line.chop(1);
    const QByteArray t = line.trimmed();
    LineView v;
    if (t.startsWith('[')) {
        const int close = t.indexOf(']');
        if (close > 0) {
            v.kind = LineView::Section;
            v.name = t.mid(1, close - 1).trimmed();
        }
        return v;
    }
    if (t.isEmpty() || t.startsWith(';')) return v;
    const int eq = t.indexOf('=');
    if (eq <= 0) return v;
    v.kind = LineView::Entry;
    v.name = t.left(eq).trimmed();
    v.value = t.mid(eq + 1).trimmed();
    return v;
}

bool SameName(const QByteArray& a, const QString& b) {
    return QString::fromUtf8(a).compare(b.trimmed(), Qt::CaseInsensitive) == 0;
}

// Cuts a UTF-8 value at kMaxValueBytes without leaving half a character behind.
QByteArray CutValue(QByteArray v) {
    if (v.size() <= kMaxValueBytes) return v;
    v.truncate(kMaxValueBytes);
    int i = v.size() - 1;
    int cont = 0;
    while (i >= 0 && (static_cast<unsigned char>(v[i]) & 0xC0) == 0x80) {
        --i;
        ++cont;
    }
    if (i >= 0) {
        const unsigned char lead = static_cast<unsigned char>(v[i]);
        const int need = lead >= 0xF0 ? 3 : lead >= 0xE0 ? 2 : lead >= 0xC0 ? 1 : 0;
        if (need != cont) v.truncate(i);
    }
    return v;
}

QList<QByteArray> SplitLines(const QByteArray& text) {
    QList<QByteArray> lines = text.split('\n');
    if (!lines.isEmpty() && lines.last().isEmpty()) lines.removeLast();
    return lines;
}

}  // namespace

QString ReadFromText(const QByteArray& text, const QString& section, const QString& key) {
    bool inSection = false;
    for (const QByteArray& raw : SplitLines(text)) {
        const LineView v = Parse(raw);
        if (v.kind == LineView::Section) {
            inSection = SameName(v.name, section);
        } else if (inSection && v.kind == LineView::Entry && SameName(v.name, key)) {
            return QString::fromUtf8(CutValue(v.value));
        }
    }
    return QString();
}

QByteArray WriteToText(const QByteArray& text, const QString& section, const QString& key,
                       const QString& value) {
    QString clean = value;
    clean.replace(QLatin1Char('\r'), QLatin1Char(' ')).replace(QLatin1Char('\n'), QLatin1Char(' '));
    const QByteArray entry = key.trimmed().toUtf8() + '=' + clean.toUtf8();
    const bool crlf = text.contains("\r\n");
    const QByteArray eol = crlf ? "\r\n" : "\n";

    QList<QByteArray> lines = SplitLines(text);
    for (QByteArray& l : lines)
        if (l.endsWith('\r')) l.chop(1);

    int sectionLine = -1;
    int lastEntryOfSection = -1;
    bool inSection = false;
    for (int i = 0; i < lines.size(); ++i) {
        const LineView v = Parse(lines[i]);
        if (v.kind == LineView::Section) {
            if (inSection) break;  // the first matching section is the one that is read
            inSection = SameName(v.name, section);
            if (inSection) {
                sectionLine = i;
                lastEntryOfSection = i;
            }
        } else if (inSection) {
            if (v.kind == LineView::Entry && SameName(v.name, key)) {
                lines[i] = entry;
                return lines.join(eol) + eol;
            }
            if (!lines[i].trimmed().isEmpty()) lastEntryOfSection = i;
        }
    }
    if (sectionLine >= 0) {
        lines.insert(lastEntryOfSection + 1, entry);
    } else {
        lines.append('[' + section.trimmed().toUtf8() + ']');
        lines.append(entry);
    }
    return lines.join(eol) + eol;
}

QString Read(const QString& path, const QString& section, const QString& key) {
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly)) return QString();
    return ReadFromText(f.readAll(), section, key);
}

void Write(const QString& path, const QString& section, const QString& key, const QString& value) {
    const QString full = QFileInfo(path).absoluteFilePath();
    QByteArray text;
    QFile existing(full);
    if (existing.exists()) {
        if (!existing.open(QIODevice::ReadOnly))
            throw SettingsWriteError(QStringLiteral("Unable to write to %1").arg(full));
        text = existing.readAll();
        existing.close();
    }
    QSaveFile out(full);
    // A writable file in a folder that refuses new files is still written, in place.
    out.setDirectWriteFallback(true);
    if (!out.open(QIODevice::WriteOnly) || out.write(WriteToText(text, section, key, value)) < 0 ||
        !out.commit())
        throw SettingsWriteError(QStringLiteral("Unable to write to %1").arg(full));
}

}  // namespace ini
