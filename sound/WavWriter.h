// RIFF/WAVE writer for 16-bit PCM, used to produce the station's alarm tone.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <vector>

// Size of the canonical header written before the samples: RIFF, "fmt " and "data" chunks.
inline constexpr std::size_t kWavHeaderSize = 44;

// Builds a complete WAV file image: 16-bit little-endian PCM, samples interleaved by channel.
// sampleRate must be positive and channels 1 or more; samples.size() must be a multiple of
// channels. Returns an empty vector when the arguments are out of range or the data would
// not fit the format's 32-bit sizes.
std::vector<std::uint8_t> EncodeWavPcm16(std::span<const std::int16_t> samples, int sampleRate,
                                         int channels);

// Encodes as above and writes the file in one go. On failure returns false and, when error is
// given, a short description of what went wrong.
bool WriteWavFile(const std::string& path, std::span<const std::int16_t> samples, int sampleRate,
                  int channels, std::string* error = nullptr);
