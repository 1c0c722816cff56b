// The alarm sound player against real files and a silent audio sink (no sound card here).
#include <gst/gst.h>
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include "AlarmTone.h"
#include "SoundPlayer.h"
#include "TestSupport.h"
#include "WavWriter.h"

namespace {

const QString kAlias = QStringLiteral("mywave");
const QString kDevice = QStringLiteral("MPEGVideo");

QString AlarmWav() {
    return testsupport::BinDir() + QStringLiteral("/Alarm.wav");
}

bool WriteFile(const QString& path, const QByteArray& data) {
    QFile f(path);
    return f.open(QIODevice::WriteOnly) && f.write(data) == data.size();
}

// A failed operation gives a real text within the size callers reserve for it.
void ExpectErrorText(const QString& result, const char* what) {
    EXPECT_NE(result, QStringLiteral("ok")) << what;
    EXPECT_FALSE(result.trimmed().isEmpty()) << what;
    EXPECT_LE(result.size(), SoundPlayer::kMaxErrorLength) << what;
}

QByteArray Wav(const std::vector<std::int16_t>& samples, int sampleRate = 22050) {
    const std::vector<std::uint8_t> bytes = EncodeWavPcm16(samples, sampleRate, 1);
    return QByteArray(reinterpret_cast<const char*>(bytes.data()), qsizetype(bytes.size()));
}

// A tone of the given length in milliseconds, complete.
QByteArray ToneWav(int ms) {
    AlarmToneShape shape;
    shape.beepMs = ms;
    shape.beepCount = 1;
    return Wav(MakeAlarmTone(shape), shape.sampleRate);
}

// The same file with a list chunk (a title) between the format and the data chunks.
QByteArray WithListChunk(const QByteArray& wav) {
    const QByteArray list =
        QByteArray("LIST") + QByteArray("\x0c\0\0\0", 4) + "INFOINAM" + QByteArray("\0\0\0\0", 4);
    QByteArray out = wav.left(36) + list + wav.mid(36);
    const quint32 riff = quint32(out.size() - 8);
    for (int i = 0; i < 4; ++i) out[4 + i] = char((riff >> (8 * i)) & 0xFF);
    return out;
}

class SoundPlayerTest : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(dir.isValid());
        player.SetAudioSink(QStringLiteral("fakesink"));
    }
    QTemporaryDir dir;
    SoundPlayer player;
};

}  // namespace

TEST_F(SoundPlayerTest, OpensTheGeneratedAlarmTone) {
    EXPECT_EQ(player.Open(kAlias, AlarmWav(), kDevice), "ok");
    EXPECT_TRUE(player.IsOpen(kAlias));
    EXPECT_FALSE(player.IsPlaying(kAlias));
    EXPECT_EQ(player.SinkInUse(kAlias), "fakesink");
    EXPECT_EQ(player.Close(kAlias), "ok");
}

TEST_F(SoundPlayerTest, OpensPathsWithBlanksCapitalsAndChinese) {
    ASSERT_TRUE(QDir(dir.path()).mkpath(QStringLiteral("My Sounds")));
    const QString path = dir.filePath(QStringLiteral("My Sounds/报警 Tone.WAV"));
    ASSERT_TRUE(QFile::copy(AlarmWav(), path));
    EXPECT_EQ(player.Open(kAlias, path, kDevice), "ok");
    // A relative path is taken from the current folder.
    const QString cwd = QDir::currentPath();
    ASSERT_TRUE(QDir::setCurrent(dir.filePath(QStringLiteral("My Sounds"))));
    EXPECT_EQ(player.Open(QStringLiteral("second"), QStringLiteral("报警 Tone.WAV"), kDevice),
              "ok");
    QDir::setCurrent(cwd);
}

TEST_F(SoundPlayerTest, RefusesWhatIsNotAPlayableSoundAndLeavesTheAliasFree) {
    const QString textAsWav = dir.filePath(QStringLiteral("notes.wav"));
    ASSERT_TRUE(
        WriteFile(textAsWav, QByteArray("This is a plain text file, not a sound.\n").repeated(40)));
    const QString emptyFile = dir.filePath(QStringLiteral("empty.wav"));
    ASSERT_TRUE(WriteFile(emptyFile, QByteArray()));
    const QString truncated = dir.filePath(QStringLiteral("cut.wav"));
    {
        QFile src(AlarmWav());
        ASSERT_TRUE(src.open(QIODevice::ReadOnly));
        ASSERT_TRUE(WriteFile(truncated, src.read(20)));  // the header breaks off
    }

    ExpectErrorText(player.Open(kAlias, dir.filePath(QStringLiteral("missing.wav")), kDevice),
                    "missing file");
    ExpectErrorText(player.Open(kAlias, textAsWav, kDevice), "text file named .wav");
    ExpectErrorText(player.Open(kAlias, emptyFile, kDevice), "empty file");
    ExpectErrorText(player.Open(kAlias, truncated, kDevice), "truncated header");
    ExpectErrorText(player.Open(kAlias, QString(), kDevice), "empty path");
    ExpectErrorText(player.Open(kAlias, dir.path(), kDevice), "a folder");
    EXPECT_FALSE(player.IsOpen(kAlias));
    EXPECT_EQ(player.Open(kAlias, AlarmWav(), kDevice), "ok");
}

// An alarm must be heard: a file with no sound in it, or less than a tenth of a second of
// sound, is not a sound file. A file cut short plays what it holds when that is enough.
TEST_F(SoundPlayerTest, RefusesWavFilesWithoutATenthOfASecondOfSound) {
    QFile src(AlarmWav());
    ASSERT_TRUE(src.open(QIODevice::ReadOnly));
    const QByteArray alarm = src.readAll();
    ASSERT_GT(alarm.size(), 22050);  // 1.5 s of 16-bit mono at 22050 Hz

    const struct {
        const char* name;
        QByteArray bytes;
    } refused[] = {
        {"header-only.wav", Wav({})},
        {"cut-to-1000.wav", alarm.left(1000)},  // 22 ms of the 1.5 s the header promises
        {"40ms.wav", ToneWav(40)},
        {"no-data-chunk.wav", alarm.left(36)},
        {"list-then-nothing.wav", WithListChunk(Wav({}))},
    };
    for (const auto& f : refused) {
        const QString path = dir.filePath(QString::fromLatin1(f.name));
        ASSERT_TRUE(WriteFile(path, f.bytes)) << f.name;
        ExpectErrorText(player.Open(kAlias, path, kDevice), f.name);
        EXPECT_FALSE(player.IsOpen(kAlias)) << f.name;
        player.Close(kAlias);  // so that one wrongly accepted file does not hide the next
    }

    const struct {
        const char* name;
        QByteArray bytes;
    } accepted[] = {
        {"100ms.wav", ToneWav(100)},
        {"cut-to-300ms.wav", alarm.left(int(kWavHeaderSize) + 22050 * 2 * 3 / 10)},
        {"list-then-500ms.wav", WithListChunk(ToneWav(500))},
    };
    for (const auto& f : accepted) {
        const QString path = dir.filePath(QString::fromLatin1(f.name));
        ASSERT_TRUE(WriteFile(path, f.bytes)) << f.name;
        EXPECT_EQ(player.Open(kAlias, path, kDevice), "ok") << f.name;
        EXPECT_EQ(player.Close(kAlias), "ok") << f.name;
    }
}

// The same holds for compressed sound, whose length the player learns from the stream.
TEST_F(SoundPlayerTest, RefusesAFlacFileShorterThanATenthOfASecond) {
    gst_init(nullptr, nullptr);
    GstElementFactory* encoder = gst_element_factory_find("flacenc");
    if (!encoder) GTEST_SKIP() << "no FLAC encoder to make a test file";
    gst_object_unref(encoder);
    auto make = [&](const QString& path, int buffers) {
        // 441 samples at 44100 Hz: 10 ms a buffer.
        const QByteArray line = QStringLiteral(
                                    "audiotestsrc num-buffers=%1 samplesperbuffer=441 ! "
                                    "audio/x-raw,rate=44100,channels=1 ! audioconvert ! flacenc ! "
                                    "filesink location=\"%2\"")
                                    .arg(buffers)
                                    .arg(path)
                                    .toUtf8();
        GError* err = nullptr;
        GstElement* pipeline = gst_parse_launch(line.constData(), &err);
        ASSERT_NE(pipeline, nullptr) << (err ? err->message : "");
        gst_element_set_state(pipeline, GST_STATE_PLAYING);
        GstBus* bus = gst_element_get_bus(pipeline);
        GstMessage* msg = gst_bus_timed_pop_filtered(
            bus, 10 * GST_SECOND, static_cast<GstMessageType>(GST_MESSAGE_EOS | GST_MESSAGE_ERROR));
        ASSERT_NE(msg, nullptr);
        EXPECT_EQ(GST_MESSAGE_TYPE(msg), GST_MESSAGE_EOS);
        gst_message_unref(msg);
        gst_object_unref(bus);
        gst_element_set_state(pipeline, GST_STATE_NULL);
        gst_object_unref(pipeline);
    };
    const QString shortFlac = dir.filePath(QStringLiteral("blip.flac"));
    const QString longFlac = dir.filePath(QStringLiteral("beep.flac"));
    make(shortFlac, 3);
    make(longFlac, 50);
    ExpectErrorText(player.Open(kAlias, shortFlac, kDevice), "30 ms of FLAC");
    EXPECT_FALSE(player.IsOpen(kAlias));
    player.Close(kAlias);
    EXPECT_EQ(player.Open(kAlias, longFlac, kDevice), "ok");
}

TEST_F(SoundPlayerTest, SpecialFilesAreRefusedWithoutHangingTheCaller) {
    // Opening a named pipe for reading would wait for a writer that never comes.
    const QString fifo = dir.filePath(QStringLiteral("alarm.wav"));
    ASSERT_EQ(mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
    ExpectErrorText(player.Open(kAlias, fifo, kDevice), "named pipe");
    ExpectErrorText(player.Open(kAlias, QStringLiteral("/dev/zero"), kDevice), "device");
    EXPECT_FALSE(player.IsOpen(kAlias));
    // A link to a real sound file is fine.
    const QString link = dir.filePath(QStringLiteral("link.wav"));
    ASSERT_TRUE(QFile::link(AlarmWav(), link));
    EXPECT_EQ(player.Open(kAlias, link, kDevice), "ok");
}

TEST_F(SoundPlayerTest, AnAliasInUseCannotBeOpenedAgainUntilClosed) {
    ASSERT_EQ(player.Open(kAlias, AlarmWav(), kDevice), "ok");
    ExpectErrorText(player.Open(kAlias, AlarmWav(), kDevice), "same alias");
    ExpectErrorText(player.Open(QStringLiteral("MyWave"), AlarmWav(), kDevice),
                    "alias in other case");
    EXPECT_EQ(player.Open(QStringLiteral("other"), AlarmWav(), kDevice), "ok");
    EXPECT_EQ(player.Close(kAlias), "ok");
    EXPECT_EQ(player.Open(kAlias, AlarmWav(), kDevice), "ok");
}

TEST_F(SoundPlayerTest, StartReturnsWhileTheSoundPlaysAndItPlaysOnce) {
    ASSERT_EQ(player.Open(kAlias, AlarmWav(), kDevice), "ok");
    const int before = player.StartCount();
    EXPECT_EQ(player.Start(kAlias), "ok");
    // The tone lasts 1.5 s; Start came back while it is still under way.
    EXPECT_TRUE(player.IsPlaying(kAlias));
    EXPECT_EQ(player.StartCount(), before + 1);
    // It ends by itself and stays open.
    EXPECT_TRUE(testsupport::WaitFor([&] { return !player.IsPlaying(kAlias); }, 6000));
    EXPECT_TRUE(player.IsOpen(kAlias));
    // Playing a finished sound again plays it from the start.
    EXPECT_EQ(player.Start(kAlias), "ok");
    EXPECT_TRUE(player.IsPlaying(kAlias));
    EXPECT_EQ(player.StartCount(), before + 2);
    EXPECT_EQ(player.Close(kAlias), "ok");
}

TEST_F(SoundPlayerTest, CloseStopsAPlayingSoundAndFreesTheAlias) {
    ASSERT_EQ(player.Open(kAlias, AlarmWav(), kDevice), "ok");
    ASSERT_EQ(player.Start(kAlias), "ok");
    ASSERT_TRUE(player.IsPlaying(kAlias));
    EXPECT_EQ(player.Close(kAlias), "ok");
    EXPECT_FALSE(player.IsPlaying(kAlias));
    EXPECT_FALSE(player.IsOpen(kAlias));
    EXPECT_EQ(player.SinkInUse(kAlias), QString());
    // Closing or playing an alias that is not open only reports it.
    const int starts = player.StartCount();
    ExpectErrorText(player.Close(kAlias), "close of a closed alias");
    ExpectErrorText(player.Close(QStringLiteral("never-opened")), "close of an unknown alias");
    ExpectErrorText(player.Start(kAlias), "start of a closed alias");
    EXPECT_EQ(player.StartCount(), starts);
}

TEST_F(SoundPlayerTest, WithoutAUsableOutputGoodFilesStillPlaySilently) {
    const QString textAsWav = dir.filePath(QStringLiteral("notes.wav"));
    ASSERT_TRUE(WriteFile(textAsWav, QByteArray("plain text\n").repeated(100)));

    player.SetAudioSink(QStringLiteral("no-such-audio-output"));
    EXPECT_EQ(player.Open(kAlias, AlarmWav(), kDevice), "ok");
    EXPECT_EQ(player.SinkInUse(kAlias), "fakesink");
    EXPECT_EQ(player.Start(kAlias), "ok");
    EXPECT_TRUE(player.IsPlaying(kAlias));
    ExpectErrorText(player.Open(QStringLiteral("bad"), textAsWav, kDevice),
                    "non-sound file with a missing output");

    // An output element that exists but cannot reach its device (here: a sound server that
    // is not there) is replaced the same way.
    // (The open above has initialised GStreamer, so its registry can be asked.)
    if (GstElementFactory* pulse = gst_element_factory_find("pulsesink")) {
        gst_object_unref(pulse);
        const QByteArray saved = qgetenv("PULSE_SERVER");
        qputenv("PULSE_SERVER", "unix:" + dir.filePath(QStringLiteral("no-server")).toUtf8());
        player.SetAudioSink(QStringLiteral("pulsesink"));
        EXPECT_EQ(player.Open(QStringLiteral("pulse"), AlarmWav(), kDevice), "ok");
        EXPECT_EQ(player.SinkInUse(QStringLiteral("pulse")), "fakesink");
        ExpectErrorText(player.Open(QStringLiteral("bad"), textAsWav, kDevice),
                        "non-sound file with an unreachable output");
        if (saved.isNull())
            qunsetenv("PULSE_SERVER");
        else
            qputenv("PULSE_SERVER", saved);
    }

    // The default output: a real device where there is one, otherwise the silent sink. The
    // result must be the same either way.
    player.SetAudioSink(QString());
    qunsetenv("STATION_AUDIO_SINK");
    EXPECT_EQ(player.AudioSink(), "autoaudiosink");
    EXPECT_EQ(player.Open(QStringLiteral("default"), AlarmWav(), kDevice), "ok");
    EXPECT_FALSE(player.SinkInUse(QStringLiteral("default")).isEmpty());
    ExpectErrorText(player.Open(QStringLiteral("bad"), textAsWav, kDevice),
                    "non-sound file with the default output");
}

TEST_F(SoundPlayerTest, SinkComesFromTheEnvironmentUnlessSetInCode) {
    player.SetAudioSink(QString());
    qputenv("STATION_AUDIO_SINK", "fakesink");
    EXPECT_EQ(player.AudioSink(), "fakesink");
    EXPECT_EQ(player.Open(kAlias, AlarmWav(), kDevice), "ok");
    EXPECT_EQ(player.SinkInUse(kAlias), "fakesink");
    player.SetAudioSink(QStringLiteral("autoaudiosink"));
    EXPECT_EQ(player.AudioSink(), "autoaudiosink");
    qunsetenv("STATION_AUDIO_SINK");
}

TEST_F(SoundPlayerTest, OpensMp3WhereAnEncoderIsAvailableToMakeOne) {
    gst_init(nullptr, nullptr);  // this case may run first, in a process of its own
    GstElementFactory* encoder = gst_element_factory_find("lamemp3enc");
    if (!encoder) GTEST_SKIP() << "no MP3 encoder to make a test file";
    gst_object_unref(encoder);
    const QString mp3 = dir.filePath(QStringLiteral("beep.mp3"));
    const QByteArray line = QStringLiteral(
                                "audiotestsrc num-buffers=40 ! audioconvert ! lamemp3enc ! "
                                "filesink location=\"%1\"")
                                .arg(mp3)
                                .toUtf8();
    GError* err = nullptr;
    GstElement* pipeline = gst_parse_launch(line.constData(), &err);
    ASSERT_NE(pipeline, nullptr) << (err ? err->message : "");
    gst_element_set_state(pipeline, GST_STATE_PLAYING);
    GstBus* bus = gst_element_get_bus(pipeline);
    GstMessage* msg = gst_bus_timed_pop_filtered(
        bus, 10 * GST_SECOND, static_cast<GstMessageType>(GST_MESSAGE_EOS | GST_MESSAGE_ERROR));
    ASSERT_NE(msg, nullptr);
    EXPECT_EQ(GST_MESSAGE_TYPE(msg), GST_MESSAGE_EOS);
    gst_message_unref(msg);
    gst_object_unref(bus);
    gst_element_set_state(pipeline, GST_STATE_NULL);
    gst_object_unref(pipeline);

    EXPECT_EQ(player.Open(kAlias, mp3, kDevice), "ok");
}

TEST(SoundFunctions, StationCallSequenceOnTheSharedPlayer) {
    SoundPlayer::Shared().SetAudioSink(QStringLiteral("fakesink"));
    // The alarm path: close (nothing open yet, harmless), open, play.
    EXPECT_NE(CloseSound(kAlias), "ok");
    ASSERT_EQ(OpenSound(kAlias, AlarmWav(), kDevice), "ok");
    EXPECT_EQ(StartSound(kAlias), "ok");
    EXPECT_TRUE(SoundPlayer::Shared().IsPlaying(kAlias));
    // The screen refresh silences it.
    EXPECT_EQ(CloseSound(kAlias), "ok");
    EXPECT_FALSE(SoundPlayer::Shared().IsPlaying(kAlias));
    SoundPlayer::Shared().SetAudioSink(QString());
}

TEST(SoundErrorText, IsCutTo127CharactersWithoutSplittingACharacter) {
    EXPECT_EQ(SoundPlayer::LimitErrorText(QString(200, QChar('x'))).size(), 127);
    EXPECT_EQ(SoundPlayer::LimitErrorText(QStringLiteral("short")), "short");
    // A character outside the basic plane straddling the limit is dropped whole.
    const QString wide = QString(126, QChar('a')) + QString::fromUcs4(U"\U0001F514") + "tail";
    const QString cut = SoundPlayer::LimitErrorText(wide);
    EXPECT_EQ(cut, QString(126, QChar('a')));
}
