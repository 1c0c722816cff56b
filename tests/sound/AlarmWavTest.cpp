// The alarm tone generator and the WAV writer, checked by reading the bytes back.
#include <gtest/gtest.h>

#include <QFile>
#include <QTemporaryDir>
#include <cmath>
#include <cstring>

#include "AlarmTone.h"
#include "TestSupport.h"
#include "WavWriter.h"

namespace {

std::uint32_t U32(const std::uint8_t* p) {
    return p[0] | (p[1] << 8) | (p[2] << 16) | (static_cast<std::uint32_t>(p[3]) << 24);
}
std::uint16_t U16(const std::uint8_t* p) {
    return static_cast<std::uint16_t>(p[0] | (p[1] << 8));
}

struct WavInfo {
    bool ok = false;
    int format = 0, channels = 0, sampleRate = 0, byteRate = 0, blockAlign = 0, bits = 0;
    std::uint32_t riffSize = 0, dataSize = 0;
};

WavInfo ParseHeader(const std::uint8_t* p, std::size_t n) {
    WavInfo w;
    if (n < kWavHeaderSize) return w;
    if (std::memcmp(p, "RIFF", 4) || std::memcmp(p + 8, "WAVE", 4) ||
        std::memcmp(p + 12, "fmt ", 4) || std::memcmp(p + 36, "data", 4))
        return w;
    w.riffSize = U32(p + 4);
    w.format = U16(p + 20);
    w.channels = U16(p + 22);
    w.sampleRate = static_cast<int>(U32(p + 24));
    w.byteRate = static_cast<int>(U32(p + 28));
    w.blockAlign = U16(p + 32);
    w.bits = U16(p + 34);
    w.dataSize = U32(p + 40);
    w.ok = U32(p + 16) == 16;
    return w;
}

int ZeroCrossings(const std::vector<std::int16_t>& s, std::size_t from, std::size_t to) {
    int n = 0;
    for (std::size_t i = from + 1; i < to; ++i)
        if ((s[i - 1] < 0) != (s[i] < 0)) ++n;
    return n;
}

}  // namespace

TEST(WavWriter, HeaderAndSamplesAreLittleEndianPcm) {
    const std::vector<std::int16_t> samples = {0, 1, -1, 32767, -32768, 0x1234};
    const auto bytes = EncodeWavPcm16(samples, 8000, 2);
    ASSERT_EQ(bytes.size(), kWavHeaderSize + samples.size() * 2);
    const WavInfo w = ParseHeader(bytes.data(), bytes.size());
    ASSERT_TRUE(w.ok);
    EXPECT_EQ(w.format, 1);
    EXPECT_EQ(w.channels, 2);
    EXPECT_EQ(w.sampleRate, 8000);
    EXPECT_EQ(w.byteRate, 8000 * 2 * 2);
    EXPECT_EQ(w.blockAlign, 4);
    EXPECT_EQ(w.bits, 16);
    EXPECT_EQ(w.dataSize, samples.size() * 2);
    EXPECT_EQ(w.riffSize, bytes.size() - 8);
    for (std::size_t i = 0; i < samples.size(); ++i)
        EXPECT_EQ(static_cast<std::int16_t>(U16(bytes.data() + kWavHeaderSize + 2 * i)), samples[i])
            << "sample " << i;
}

TEST(WavWriter, RefusesArgumentsTheFormatCannotHold) {
    const std::vector<std::int16_t> three = {1, 2, 3};
    EXPECT_TRUE(EncodeWavPcm16(three, 0, 1).empty());
    EXPECT_TRUE(EncodeWavPcm16(three, 8000, 0).empty());
    EXPECT_TRUE(EncodeWavPcm16(three, 8000, 2).empty());  // not whole frames
    EXPECT_EQ(EncodeWavPcm16({}, 8000, 1).size(), kWavHeaderSize);

    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    std::string error;
    const std::string inMissingFolder = dir.filePath("no/such/folder/x.wav").toStdString();
    EXPECT_FALSE(WriteWavFile(inMissingFolder, three, 8000, 1, &error));
    EXPECT_FALSE(error.empty());
    EXPECT_FALSE(QFile::exists(QString::fromStdString(inMissingFolder)));
}

TEST(AlarmTone, IsATwoToneBeepThatStartsAndEndsSilently) {
    const AlarmToneShape shape;
    const auto s = MakeAlarmTone(shape);
    const std::size_t beep = static_cast<std::size_t>(shape.sampleRate) * shape.beepMs / 1000;
    ASSERT_EQ(s.size(), beep * shape.beepCount);
    EXPECT_NEAR(static_cast<double>(s.size()) / shape.sampleRate, 1.5, 0.01);

    // Frequency of each beep from its zero crossings: two per period.
    const double highHz = ZeroCrossings(s, 0, beep) / 2.0 / (shape.beepMs / 1000.0);
    const double lowHz = ZeroCrossings(s, beep, 2 * beep) / 2.0 / (shape.beepMs / 1000.0);
    EXPECT_NEAR(highHz, shape.highHz, 10.0);
    EXPECT_NEAR(lowHz, shape.lowHz, 10.0);

    int peak = 0;
    for (auto v : s) peak = std::max(peak, std::abs(static_cast<int>(v)));
    EXPECT_LE(peak, static_cast<int>(std::lround(32767 * shape.level)));
    EXPECT_GT(peak, 32767 * shape.level * 0.9);
    // Beep edges are faded, so neither the file nor a change of pitch clicks.
    EXPECT_EQ(s.front(), 0);
    EXPECT_LT(std::abs(static_cast<int>(s.back())), 200);
    EXPECT_LT(std::abs(static_cast<int>(s[beep])), 200);
}

TEST(AlarmTone, BuildPutsTheToneBesideTheProgram) {
    QFile file(testsupport::BinDir() + "/Alarm.wav");
    ASSERT_TRUE(file.open(QIODevice::ReadOnly)) << file.fileName().toStdString();
    const QByteArray data = file.readAll();
    const auto* p = reinterpret_cast<const std::uint8_t*>(data.constData());
    const WavInfo w = ParseHeader(p, static_cast<std::size_t>(data.size()));
    ASSERT_TRUE(w.ok);
    EXPECT_EQ(w.format, 1);
    EXPECT_EQ(w.bits, 16);
    EXPECT_EQ(w.channels, 1);
    EXPECT_EQ(static_cast<qsizetype>(w.dataSize) + static_cast<qsizetype>(kWavHeaderSize),
              data.size());
    const double seconds = static_cast<double>(w.dataSize) / w.byteRate;
    EXPECT_NEAR(seconds, 1.5, 0.01);
}
