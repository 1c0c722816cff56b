#include "BiffRecordStream.h"

#include <QtGlobal>

void BiffRecordStream::Write(uint16_t type, const QByteArray& body) {
    Q_ASSERT(body.size() <= kMaxBody);
    AppendU16(bytes_, type);
    AppendU16(bytes_, static_cast<uint16_t>(body.size()));
    bytes_.append(body);
}

void BiffRecordStream::PatchU32(qsizetype pos, uint32_t value) {
    Q_ASSERT(pos >= 0 && pos + 4 <= bytes_.size());
    for (int i = 0; i < 4; ++i) bytes_[pos + i] = static_cast<char>((value >> (8 * i)) & 0xFF);
}

void BiffRecordStream::AppendU8(QByteArray& out, uint8_t v) {
    out.append(static_cast<char>(v));
}

void BiffRecordStream::AppendU16(QByteArray& out, uint16_t v) {
    out.append(static_cast<char>(v & 0xFF));
    out.append(static_cast<char>(v >> 8));
}

void BiffRecordStream::AppendU32(QByteArray& out, uint32_t v) {
    AppendU16(out, static_cast<uint16_t>(v & 0xFFFF));
    AppendU16(out, static_cast<uint16_t>(v >> 16));
}

bool BiffRecordStream::FitsCompressed(QStringView text) {
    for (QChar c : text) {
        if (c.unicode() > 0xFF) return false;
    }
    return true;
}

void BiffRecordStream::AppendChars(QByteArray& out, QStringView text, bool compressed) {
    for (QChar c : text) {
        if (compressed) {
            AppendU8(out, static_cast<uint8_t>(c.unicode()));
        } else {
            AppendU16(out, c.unicode());
        }
    }
}

void BiffRecordStream::AppendShortString(QByteArray& out, QStringView text) {
    Q_ASSERT(text.size() <= 255);
    const bool compressed = FitsCompressed(text);
    AppendU8(out, static_cast<uint8_t>(text.size()));
    AppendU8(out, compressed ? 0x00 : 0x01);
    AppendChars(out, text, compressed);
}
