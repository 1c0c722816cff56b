// How much sound a RIFF/WAVE file really holds, read from its chunks.
//
// The header of the data chunk states a length, but a file cut short (a copy broken off, a
// download that stopped) holds less than it promises, and a header-only file promises
// nothing. What counts for an alarm is the sound actually in the file: the data bytes up to
// the stated length or the end of the file, whichever comes first.
#pragma once

#include <QString>

class WavContent {
  public:
    // Reads the chunk headers of path. A file that does not start as RIFF/WAVE is left to
    // the player (IsWave() false).
    static WavContent Inspect(const QString& path);

    bool IsWave() const { return wave_; }
    // A "data" chunk with at least one whole sample frame in the file.
    bool HasSound() const { return frames_ > 0; }
    // Length of the sound in the file, in milliseconds; -1 when the format block does not say
    // how many bytes a second takes.
    qint64 SoundMs() const { return soundMs_; }

  private:
    bool wave_ = false;
    qint64 frames_ = 0;
    qint64 soundMs_ = -1;
};
