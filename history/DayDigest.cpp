#include "DayDigest.h"

#include <QtEndian>

namespace history {

namespace {

constexpr int kBlock = 16384;

void Append64(QByteArray& out, qint64 value) {
    char bytes[8];
    qToLittleEndian<qint64>(value, bytes);
    out.append(bytes, 8);
}

void AppendText(QByteArray& out, const QString& text) {
    const QByteArray utf8 = text.toUtf8();
    Append64(out, utf8.size());
    out.append(utf8);
}

}  // namespace

DayDigest::DayDigest() : hash_(QCryptographicHash::Sha256) {
    buffer_.reserve(kBlock + 64);
}

void DayDigest::AddSensor(const SensorIdentity& sensor) {
    buffer_.append('S');
    Append64(buffer_, sensor.id);
    Append64(buffer_, sensor.code);
    AppendText(buffer_, sensor.codeid);
    AppendText(buffer_, sensor.fix);
    lastSensor_ = sensor.id;
    if (buffer_.size() >= kBlock) Drain();
}

void DayDigest::AddReading(qint64 time, qint64 temp) {
    char bytes[12];
    qToLittleEndian<qint64>(time, bytes);
    qToLittleEndian<qint32>(static_cast<qint32>(temp), bytes + 8);
    buffer_.append(bytes, 12);
    ++count_;
    if (buffer_.size() >= kBlock) Drain();
}

void DayDigest::Drain() {
    hash_.addData(buffer_);
    buffer_.clear();
}

QByteArray DayDigest::Result() {
    Drain();
    return hash_.result();
}

QByteArray DayDigest::Link(const QByteArray& previous, qint64 start, qint64 end, qint64 count,
                           const QByteArray& dayDigest) {
    QByteArray input = previous;
    Append64(input, start);
    Append64(input, end);
    Append64(input, count);
    input.append(dayDigest);
    return QCryptographicHash::hash(input, QCryptographicHash::Sha256);
}

}  // namespace history
