#include "WavWriter.h"

#include <cstdio>
#include <limits>

namespace {

void PutTag(std::vector<std::uint8_t>& out, const char (&tag)[5]) {
    out.insert(out.end(), tag, tag + 4);
}

void PutU16(std::vector<std::uint8_t>& out, std::uint16_t v) {
    out.push_back(static_cast<std::uint8_t>(v & 0xFF));
    out.push_back(static_cast<std::uint8_t>(v >> 8));
}

void PutU32(std::vector<std::uint8_t>& out, std::uint32_t v) {
    for (int shift = 0; shift < 32; shift += 8)
        out.push_back(static_cast<std::uint8_t>(v >> shift));
}

}  // namespace

std::vector<std::uint8_t> EncodeWavPcm16(std::span<const std::int16_t> samples, int sampleRate,
                                         int channels) {
    if (sampleRate <= 0 || channels <= 0 || channels > 0xFFFF) return {};
    if (samples.size() % static_cast<std::size_t>(channels) != 0) return {};
    const std::uint64_t dataBytes = static_cast<std::uint64_t>(samples.size()) * 2;
    // The RIFF size field counts everything after itself: 36 header bytes plus the data.
    if (dataBytes + kWavHeaderSize - 8 > std::numeric_limits<std::uint32_t>::max()) return {};
    const std::uint64_t byteRate = static_cast<std::uint64_t>(sampleRate) * channels * 2;
    if (byteRate > std::numeric_limits<std::uint32_t>::max()) return {};
    const std::uint32_t blockAlign = static_cast<std::uint32_t>(channels) * 2;
    if (blockAlign > 0xFFFF) return {};

    std::vector<std::uint8_t> out;
    out.reserve(kWavHeaderSize + dataBytes);
    PutTag(out, "RIFF");
    PutU32(out, static_cast<std::uint32_t>(dataBytes + kWavHeaderSize - 8));
    PutTag(out, "WAVE");
    PutTag(out, "fmt ");
    PutU32(out, 16);  // size of the PCM format block
    PutU16(out, 1);   // PCM
    PutU16(out, static_cast<std::uint16_t>(channels));
    PutU32(out, static_cast<std::uint32_t>(sampleRate));
    PutU32(out, static_cast<std::uint32_t>(byteRate));
    PutU16(out, static_cast<std::uint16_t>(blockAlign));
    PutU16(out, 16);  // bits per sample
    PutTag(out, "data");
    PutU32(out, static_cast<std::uint32_t>(dataBytes));
    for (std::int16_t s : samples) PutU16(out, static_cast<std::uint16_t>(s));
    return out;
}

bool WriteWavFile(const std::string& path, std::span<const std::int16_t> samples, int sampleRate,
                  int channels, std::string* error) {
    const std::vector<std::uint8_t> bytes = EncodeWavPcm16(samples, sampleRate, channels);
    if (bytes.empty()) {
        if (error) *error = "invalid sample rate, channel count or data size";
        return false;
    }
    std::FILE* f = std::fopen(path.c_str(), "wb");
    if (!f) {
        if (error) *error = "cannot create " + path;
        return false;
    }
    const bool written = std::fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
    // A failing close (full disk, network file system) loses data just like a short write.
    const bool closed = std::fclose(f) == 0;
    if (!written || !closed) {
        std::remove(path.c_str());
        if (error) *error = "cannot write " + path;
        return false;
    }
    return true;
}
