#include "WavContent.h"

#include <QFile>

namespace {

quint32 U32(const QByteArray& b, int at) {
    return quint32(quint8(b[at])) | quint32(quint8(b[at + 1])) << 8 |
           quint32(quint8(b[at + 2])) << 16 | quint32(quint8(b[at + 3])) << 24;
}

quint16 U16(const QByteArray& b, int at) {
    return quint16(quint8(b[at]) | quint8(b[at + 1]) << 8);
}

}  // namespace

WavContent WavContent::Inspect(const QString& path) {
    WavContent out;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) return out;
    const QByteArray riff = file.read(12);
    if (riff.size() < 12 || !riff.startsWith("RIFF") || riff.mid(8, 4) != "WAVE") return out;
    out.wave_ = true;

    const qint64 size = file.size();
    quint32 bytesPerSecond = 0;
    quint16 blockAlign = 0;
    qint64 at = 12;
    // Chunks follow one another, each an 8-byte header and its body padded to an even length.
    while (at + 8 <= size) {
        if (!file.seek(at)) break;
        const QByteArray header = file.read(8);
        if (header.size() < 8) break;
        const QByteArray id = header.left(4);
        const qint64 stated = U32(header, 4);
        const qint64 body = at + 8;
        if (id == "fmt ") {
            const QByteArray fmt = file.read(16);
            if (fmt.size() < 16) break;
            bytesPerSecond = U32(fmt, 8);
            blockAlign = U16(fmt, 12);
        } else if (id == "data") {
            const qint64 present = qMin(stated, size - body);
            out.frames_ = blockAlign > 0 ? present / blockAlign : present;
            if (bytesPerSecond > 0) out.soundMs_ = present * 1000 / bytesPerSecond;
            break;
        }
        at = body + stated + (stated & 1);
    }
    return out;
}
