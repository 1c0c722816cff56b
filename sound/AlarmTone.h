// The station's default alarm tone: a two-tone beep, generated rather than shipped.
#pragma once

#include <cstdint>
#include <vector>

struct AlarmToneShape {
    int sampleRate = 22050;
    double highHz = 880.0;
    double lowHz = 660.0;
    int beepMs = 250;    // length of each beep; high and low alternate
    int beepCount = 6;   // 6 x 250 ms = 1.5 s
    double level = 0.6;  // peak amplitude as a share of full scale
    int rampMs = 5;      // fade in and out of each beep so the changes do not click
};

// Mono 16-bit samples of the tone described by shape.
std::vector<std::int16_t> MakeAlarmTone(const AlarmToneShape& shape = {});
