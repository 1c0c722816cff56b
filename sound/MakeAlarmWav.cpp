// Build tool: writes the station's default alarm tone to the path given on the command line.
#include <cstdio>
#include <string>

#include "AlarmTone.h"
#include "WavWriter.h"

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s <output.wav>\n", argv[0]);
        return 2;
    }
    const AlarmToneShape shape;
    const std::vector<std::int16_t> samples = MakeAlarmTone(shape);
    std::string error;
    if (!WriteWavFile(argv[1], samples, shape.sampleRate, 1, &error)) {
        std::fprintf(stderr, "make-alarm-wav: %s\n", error.c_str());
        return 1;
    }
    return 0;
}
