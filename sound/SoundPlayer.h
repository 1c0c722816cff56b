// Alarm sound player: sound files opened under an alias, played without waiting and closed.
//
// Each open alias owns a GStreamer playbin pipeline that is built and pre-rolled at open time,
// so a file that cannot be played is refused there and not at the moment of an alarm. All
// operations run on the user-interface thread and return "ok" or an error text of at most
// 127 characters; none of them shows a message or throws.
#pragma once

#include <QString>
#include <map>
#include <memory>

class SoundPlayer {
  public:
    static constexpr int kMaxErrorLength = 127;
    // Upper bound on how long an open may wait for its pipeline to pre-roll.
    static constexpr int kPrerollTimeoutMs = 2000;
    // The least sound a file must hold to be opened. An alarm of a few milliseconds (a file
    // cut short, a header without samples) is a click or nothing, and the operator would take
    // the silence for calm; a tenth of a second is still a short beep that is heard.
    static constexpr int kMinimumSoundMs = 100;

    // The player behind OpenSound, StartSound and CloseSound.
    static SoundPlayer& Shared();

    SoundPlayer();
    ~SoundPlayer();
    SoundPlayer(const SoundPlayer&) = delete;
    SoundPlayer& operator=(const SoundPlayer&) = delete;

    // Opens filePath under alias. deviceType names the kind of player the caller asks for;
    // playbin handles every kind itself, so it is accepted as given. Fails when the alias is
    // already open, the path is empty, the file is missing or holds no playable sound, or less
    // than kMinimumSoundMs of it. A file cut short whose samples are long enough plays them.
    QString Open(const QString& alias, const QString& filePath, const QString& deviceType);
    // Starts playing and returns at once; the sound plays once. A sound that has finished
    // plays again from its start.
    QString Start(const QString& alias);
    // Stops the sound if it is playing and frees it; the alias becomes free.
    QString Close(const QString& alias);

    bool IsOpen(const QString& alias) const;
    // True from a successful Start until the sound ends, fails or is closed.
    bool IsPlaying(const QString& alias);
    // Number of successful Start calls since this player was made (all aliases).
    int StartCount() const { return startCount_; }

    // Chooses the GStreamer audio sink by factory name ("fakesink" plays silently in real
    // time). Empty restores the default: the STATION_AUDIO_SINK environment variable when set,
    // else "autoaudiosink". When the chosen sink cannot be made or cannot open an output
    // device, the sound plays into a silent sink instead, so a machine without sound hardware
    // still validates and plays files.
    void SetAudioSink(const QString& factoryName);
    QString AudioSink() const;
    // Factory name of the sink an open alias actually uses; empty when it is not open.
    QString SinkInUse(const QString& alias) const;

    // Cuts an error text to kMaxErrorLength characters without splitting a character.
    static QString LimitErrorText(const QString& text);

  private:
    struct Sound;
    static QString Key(const QString& alias) { return alias.toLower(); }
    static void DrainBus(Sound& sound);

    std::map<QString, std::unique_ptr<Sound>> sounds_;
    QString sinkName_;
    int startCount_ = 0;
};

// The station's sound operations on the shared player; see SoundPlayer for the contract.
QString OpenSound(const QString& alias, const QString& filePath, const QString& deviceType);
QString StartSound(const QString& alias);
QString CloseSound(const QString& alias);
