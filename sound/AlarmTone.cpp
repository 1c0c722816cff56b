#include "AlarmTone.h"

#include <algorithm>
#include <cmath>
#include <numbers>

std::vector<std::int16_t> MakeAlarmTone(const AlarmToneShape& shape) {
    if (shape.sampleRate <= 0 || shape.beepMs <= 0 || shape.beepCount <= 0) return {};
    const int beepSamples =
        static_cast<int>(static_cast<long long>(shape.sampleRate) * shape.beepMs / 1000);
    const int rampSamples =
        std::min(beepSamples / 2, static_cast<int>(static_cast<long long>(shape.sampleRate) *
                                                   std::max(shape.rampMs, 0) / 1000));
    const double level = std::clamp(shape.level, 0.0, 1.0) * 32767.0;

    std::vector<std::int16_t> samples;
    samples.reserve(static_cast<std::size_t>(beepSamples) * shape.beepCount);
    for (int beep = 0; beep < shape.beepCount; ++beep) {
        const double hz = (beep % 2 == 0) ? shape.highHz : shape.lowHz;
        const double step = 2.0 * std::numbers::pi * hz / shape.sampleRate;
        for (int i = 0; i < beepSamples; ++i) {
            double gain = 1.0;
            if (rampSamples > 0) {
                const int edge = std::min(i, beepSamples - 1 - i);
                if (edge < rampSamples) gain = static_cast<double>(edge) / rampSamples;
            }
            samples.push_back(
                static_cast<std::int16_t>(std::lround(level * gain * std::sin(step * i))));
        }
    }
    return samples;
}
