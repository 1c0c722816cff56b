// A growing BIFF stream: records of a 16-bit type, a 16-bit length and a body, little-endian.
// Also holds the small encoders the record bodies are built from.
#pragma once

#include <QByteArray>
#include <QStringView>
#include <cstdint>

class BiffRecordStream {
  public:
    // Largest body of one BIFF8 record; longer data goes on in CONTINUE records.
    static constexpr qsizetype kMaxBody = 8224;

    // Appends one record; the body must not exceed kMaxBody.
    void Write(uint16_t type, const QByteArray& body);

    // Stream position at which the next record will start.
    qsizetype Position() const { return bytes_.size(); }

    // Overwrites four bytes at pos (a position field whose value was not known yet).
    void PatchU32(qsizetype pos, uint32_t value);

    const QByteArray& Bytes() const { return bytes_; }

    static void AppendU8(QByteArray& out, uint8_t v);
    static void AppendU16(QByteArray& out, uint16_t v);
    static void AppendU32(QByteArray& out, uint32_t v);

    // True when every UTF-16 unit of text is below 0x100, so it can be stored one byte a
    // character (the "compressed" form of BIFF8 strings).
    static bool FitsCompressed(QStringView text);
    // Appends the characters of text, one byte each when compressed, else UTF-16LE.
    static void AppendChars(QByteArray& out, QStringView text, bool compressed);
    // A string with an 8-bit character count (sheet and font names): count, flags, characters.
    static void AppendShortString(QByteArray& out, QStringView text);

  private:
    QByteArray bytes_;
};
