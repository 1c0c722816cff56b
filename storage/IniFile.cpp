#include "IniFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QFile>
#include <QFileInfo>
#include <QList>
#include <cerrno>

#include "StationError.h"

namespace ini {
namespace {

// Editors that save "UTF-8 with BOM" start the file with these three bytes. They belong to
// no line: a reader skips them and a writer puts them back in front of the text.
const QByteArray kByteOrderMark("\xEF\xBB\xBF");

bool TakeByteOrderMark(QByteArray& text) {
    if (!text.startsWith(kByteOrderMark)) return false;
    text.remove(0, kByteOrderMark.size());
    return true;
}

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

QString ReadFromText(const QByteArray& fileText, const QString& section, const QString& key) {
    QByteArray text = fileText;
    TakeByteOrderMark(text);
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

QByteArray WriteToText(const QByteArray& fileText, const QString& section, const QString& key,
                       const QString& value) {
    QByteArray text = fileText;
    const QByteArray mark = TakeByteOrderMark(text) ? kByteOrderMark : QByteArray();
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
                // The key keeps the spelling the file gives it; only its value changes.
                lines[i] = v.name + '=' + clean.toUtf8();
                return mark + lines.join(eol) + eol;
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
    return mark + lines.join(eol) + eol;
}

QString Read(const QString& path, const QString& section, const QString& key) {
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly)) return QString();
    return ReadFromText(f.readAll(), section, key);
}

namespace {

class Descriptor {
  public:
    explicit Descriptor(int fd) : fd_(fd) {}
    ~Descriptor() {
        if (fd_ >= 0) ::close(fd_);
    }
    Descriptor(const Descriptor&) = delete;
    Descriptor& operator=(const Descriptor&) = delete;
    int get() const { return fd_; }

  private:
    int fd_;
};

// Writes all of data at offset; false when the system takes less (a full disk, a size limit).
bool WriteAllAt(int fd, const QByteArray& data, off_t offset) {
    qsizetype done = 0;
    while (done < data.size()) {
        const ssize_t n =
            ::pwrite(fd, data.constData() + done, size_t(data.size() - done), offset + off_t(done));
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        done += n;
    }
    return true;
}

bool ReadAll(int fd, QByteArray* out) {
    out->clear();
    char buffer[4096];
    off_t offset = 0;
    for (;;) {
        const ssize_t n = ::pread(fd, buffer, sizeof buffer, offset);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) return false;
        if (n == 0) return true;
        out->append(buffer, n);
        offset += n;
    }
}

// Replaces the text of the open file old by text, in the file itself.
//
// The file is rewritten in place rather than replaced by a new file renamed over it: a new
// file would belong to whoever runs the station (root once, and the operator could no longer
// edit or save the settings), would drop the file's mode, and would split a hard link from
// the text it shares. The settings file is a few hundred bytes, written only when the
// operator saves, so keeping it the operator's file weighs more than the atomic swap.
//
// No failure leaves a mixture of old and new text: room for the longer text is taken first,
// by writing the part of the new text that lies beyond the old end (undone by cutting the
// file back when the disk or a size limit refuses it); only then is the old text overwritten,
// over bytes the file already holds, and the file cut to the new length. Should one of those
// later steps fail all the same, the old text is written back before the error is reported.
bool RewriteInPlace(int fd, const QByteArray& old, const QByteArray& text) {
    const off_t oldSize = off_t(old.size());
    const off_t newSize = off_t(text.size());
    if (newSize > oldSize && !WriteAllAt(fd, text.mid(old.size()), oldSize)) {
        while (::ftruncate(fd, oldSize) < 0 && errno == EINTR) {
        }
        return false;
    }
    const bool written = WriteAllAt(fd, text.left(qMin(old.size(), text.size())), 0) &&
                         (newSize >= oldSize || ::ftruncate(fd, newSize) == 0);
    if (!written) {
        WriteAllAt(fd, old, 0);
        while (::ftruncate(fd, oldSize) < 0 && errno == EINTR) {
        }
        ::fsync(fd);
        return false;
    }
    return ::fsync(fd) == 0;
}

// Makes the file that does not exist yet; a file that cannot be written whole is removed.
// Returns false with errno EEXIST when another writer made it in the meantime.
bool CreateWith(const QByteArray& path, const QByteArray& text) {
    const int fd = ::open(path.constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (fd < 0) return false;
    Descriptor file(fd);
    if (WriteAllAt(fd, text, 0) && ::fsync(fd) == 0) return true;
    ::unlink(path.constData());
    errno = EIO;
    return false;
}

}  // namespace

void Write(const QString& path, const QString& section, const QString& key, const QString& value) {
    const QString full = QFileInfo(path).absoluteFilePath();
    const QByteArray name = QFile::encodeName(full);
    const SettingsWriteError refused(QStringLiteral("Unable to write to %1").arg(full));
    // Twice at most: a file that appears between the two opens is then written in place.
    for (int attempt = 0; attempt < 2; ++attempt) {
        const int fd = ::open(name.constData(), O_RDWR | O_CLOEXEC);
        if (fd < 0) {
            if (errno != ENOENT) throw refused;
            if (CreateWith(name, WriteToText(QByteArray(), section, key, value))) return;
            if (errno == EEXIST) continue;
            throw refused;
        }
        Descriptor file(fd);
        struct stat info {};
        QByteArray old;
        if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode) || !ReadAll(fd, &old)) throw refused;
        if (!RewriteInPlace(fd, old, WriteToText(old, section, key, value))) throw refused;
        return;
    }
    throw refused;
}

}  // namespace ini
