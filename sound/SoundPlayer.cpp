#include "SoundPlayer.h"

#include <gst/gst.h>

#include <QDeadlineTimer>
#include <QFileInfo>
#include <QUrl>

#include "WavContent.h"

namespace {

const char* const kOk = "ok";

// playbin's GstPlayFlags: play the audio streams only, with software volume, so a file with
// pictures never opens a video window and subtitles are ignored.
constexpr guint kPlayFlagAudio = 0x02;
constexpr guint kPlayFlagSoftVolume = 0x10;

bool EnsureGstreamer(QString* error) {
    static bool tried = false;
    static bool ready = false;
    static QString failure;
    if (!tried) {
        tried = true;
        GError* err = nullptr;
        ready = gst_init_check(nullptr, nullptr, &err);
        if (!ready) {
            failure = err ? QString::fromUtf8(err->message)
                          : QString::fromUtf8(
                                gst_error_get_message(GST_CORE_ERROR, GST_CORE_ERROR_FAILED));
            if (err) g_error_free(err);
        }
    }
    if (!ready && error) *error = failure;
    return ready;
}

QString TakeErrorText(GstMessage* msg) {
    GError* err = nullptr;
    gchar* debug = nullptr;
    gst_message_parse_error(msg, &err, &debug);
    QString text = err ? QString::fromUtf8(err->message) : QString();
    if (err) g_error_free(err);
    g_free(debug);
    return text;
}

QString GstCoreText(GstCoreError code) {
    gchar* text = gst_error_get_message(GST_CORE_ERROR, code);
    QString result = QString::fromUtf8(text);
    g_free(text);
    return result;
}

QString ShortSoundText() {
    return QStringLiteral("The file holds less than %1 ms of sound.")
        .arg(SoundPlayer::kMinimumSoundMs);
}

// Outcome of one attempt to pre-roll a file with a given sink.
struct Preroll {
    GstElement* pipeline = nullptr;  // owned; set only on success
    QString error;
    bool sinkFailed = false;  // the sink could not be made or reported the failure itself
};

bool ComesFrom(GstMessage* msg, GstElement* element) {
    GstObject* src = GST_MESSAGE_SRC(msg);
    return src && element &&
           (src == GST_OBJECT(element) || gst_object_has_as_ancestor(src, GST_OBJECT(element)));
}

void Dispose(GstElement* pipeline) {
    gst_element_set_state(pipeline, GST_STATE_NULL);
    gst_object_unref(pipeline);
}

// Builds the pipeline for uri with the named sink and waits, until deadline at the latest,
// for it to pre-roll.
Preroll TryPreroll(const QString& uri, const QString& sinkName, const QDeadlineTimer& deadline) {
    Preroll out;
    GstElement* sink = gst_element_factory_make(sinkName.toUtf8().constData(), nullptr);
    if (!sink) {
        out.sinkFailed = true;
        out.error = QStringLiteral("No audio output element \"%1\".").arg(sinkName);
        return out;
    }
    // A silent sink must still take the sound's own time, or "playing" would end at once.
    if (g_object_class_find_property(G_OBJECT_GET_CLASS(sink), "sync"))
        g_object_set(sink, "sync", TRUE, nullptr);

    GstElement* pipeline = gst_element_factory_make("playbin", nullptr);
    if (!pipeline) {
        gst_object_unref(gst_object_ref_sink(sink));
        out.error = QStringLiteral("No GStreamer playbin element.");
        return out;
    }
    g_object_set(pipeline, "uri", uri.toUtf8().constData(), "audio-sink", sink, "flags",
                 kPlayFlagAudio | kPlayFlagSoftVolume, nullptr);

    GstBus* bus = gst_element_get_bus(pipeline);
    const GstStateChangeReturn ret = gst_element_set_state(pipeline, GST_STATE_PAUSED);
    bool ready = ret == GST_STATE_CHANGE_SUCCESS || ret == GST_STATE_CHANGE_NO_PREROLL;
    bool failed = ret == GST_STATE_CHANGE_FAILURE;
    // Wait for the pre-roll to finish or fail. After a failed state change the error message
    // is normally already on the bus; look for it briefly so the caller gets its text.
    while (!ready) {
        const qint64 left = failed ? 0 : deadline.remainingTime();
        GstMessage* msg = gst_bus_timed_pop_filtered(
            bus, static_cast<GstClockTime>(std::max<qint64>(left, 0)) * GST_MSECOND,
            static_cast<GstMessageType>(GST_MESSAGE_ERROR | GST_MESSAGE_ASYNC_DONE));
        if (!msg) {
            if (out.error.isEmpty())
                out.error = failed
                                ? GstCoreText(GST_CORE_ERROR_STATE_CHANGE)
                                : QStringLiteral("The sound file could not be prepared in time.");
            break;
        }
        if (GST_MESSAGE_TYPE(msg) == GST_MESSAGE_ERROR) {
            out.error = TakeErrorText(msg);
            out.sinkFailed = ComesFrom(msg, sink);
            failed = true;
        } else if (!failed && GST_MESSAGE_SRC(msg) == GST_OBJECT(pipeline)) {
            ready = true;
        }
        gst_message_unref(msg);
        if (failed) break;
    }
    gst_object_unref(bus);

    if (ready) {
        // A file GStreamer can read but that carries no sound (a picture, a text) pre-rolls
        // without an audio stream; that is not a sound file.
        gint audioStreams = 0;
        g_object_get(pipeline, "n-audio", &audioStreams, nullptr);
        if (audioStreams <= 0) {
            ready = false;
            out.error = QStringLiteral("The file holds no sound that can be played.");
        }
    }
    if (ready) {
        // A stream whose length is known must be long enough to be heard; one whose length
        // the player cannot tell before playing is given the benefit of the doubt.
        gint64 duration = -1;
        if (gst_element_query_duration(pipeline, GST_FORMAT_TIME, &duration) && duration >= 0 &&
            duration < gint64(SoundPlayer::kMinimumSoundMs) * GST_MSECOND) {
            ready = false;
            out.error = ShortSoundText();
        }
    }
    if (!ready) {
        Dispose(pipeline);
        if (out.error.isEmpty()) out.error = GstCoreText(GST_CORE_ERROR_FAILED);
        return out;
    }
    out.pipeline = pipeline;
    return out;
}

}  // namespace

struct SoundPlayer::Sound {
    GstElement* pipeline = nullptr;
    QString sinkName;
    bool playing = false;
    bool finished = false;  // the end of the stream was reached or playback failed

    ~Sound() {
        if (pipeline) Dispose(pipeline);
    }
};

SoundPlayer& SoundPlayer::Shared() {
    static SoundPlayer player;
    return player;
}

SoundPlayer::SoundPlayer() = default;
SoundPlayer::~SoundPlayer() = default;

QString SoundPlayer::LimitErrorText(const QString& text) {
    if (text.size() <= kMaxErrorLength) return text;
    int cut = kMaxErrorLength;
    if (text.at(cut - 1).isHighSurrogate()) --cut;
    return text.left(cut);
}

void SoundPlayer::SetAudioSink(const QString& factoryName) {
    sinkName_ = factoryName.trimmed();
}

QString SoundPlayer::AudioSink() const {
    if (!sinkName_.isEmpty()) return sinkName_;
    const QString fromEnv = qEnvironmentVariable("STATION_AUDIO_SINK").trimmed();
    return fromEnv.isEmpty() ? QStringLiteral("autoaudiosink") : fromEnv;
}

QString SoundPlayer::SinkInUse(const QString& alias) const {
    auto it = sounds_.find(Key(alias));
    return it == sounds_.end() ? QString() : it->second->sinkName;
}

bool SoundPlayer::IsOpen(const QString& alias) const {
    return sounds_.count(Key(alias)) != 0;
}

QString SoundPlayer::Open(const QString& alias, const QString& filePath,
                          const QString& /*deviceType*/) {
    QString error;
    if (!EnsureGstreamer(&error)) return LimitErrorText(error);
    if (alias.trimmed().isEmpty()) return QStringLiteral("No alias was given for the sound.");
    if (sounds_.count(Key(alias)))
        return LimitErrorText(
            QStringLiteral("The alias \"%1\" is already in use; close it first.").arg(alias));
    if (filePath.isEmpty()) {
        gchar* text = gst_error_get_message(GST_RESOURCE_ERROR, GST_RESOURCE_ERROR_NOT_FOUND);
        error = QString::fromUtf8(text);
        g_free(text);
        return LimitErrorText(error);
    }
    const QFileInfo file(filePath);
    if (file.exists() && !file.isFile() && !file.isDir()) {
        // A named pipe would block the open until some writer appears, and a device never
        // ends; neither is a sound file, and the user-interface thread must not hang on it.
        gchar* text = gst_error_get_message(GST_RESOURCE_ERROR, GST_RESOURCE_ERROR_OPEN_READ);
        error = QString::fromUtf8(text);
        g_free(text);
        return LimitErrorText(error);
    }
    // A WAV file is measured by the samples it really holds: its header may promise more
    // than a file cut short contains, and the stream's length would follow the promise.
    const WavContent wav = WavContent::Inspect(file.absoluteFilePath());
    if (wav.IsWave() && !wav.HasSound())
        return QStringLiteral("The file holds no sound that can be played.");
    if (wav.IsWave() && wav.SoundMs() >= 0 && wav.SoundMs() < kMinimumSoundMs)
        return ShortSoundText();
    const QString uri = QString::fromUtf8(QUrl::fromLocalFile(file.absoluteFilePath()).toEncoded());

    // One time budget for the whole open, the fallback below included.
    const QDeadlineTimer deadline(kPrerollTimeoutMs);
    const QString wanted = AudioSink();
    Preroll result = TryPreroll(uri, wanted, deadline);
    QString used = wanted;
    if (!result.pipeline && result.sinkFailed && wanted != QLatin1String("fakesink")) {
        // No usable audio output here (no sound card, no sound server): validate and play
        // into a silent sink rather than refusing a good file.
        Preroll silent = TryPreroll(uri, QStringLiteral("fakesink"), deadline);
        if (silent.pipeline || !silent.sinkFailed) {
            result = silent;
            used = QStringLiteral("fakesink");
        }
    }
    if (!result.pipeline) return LimitErrorText(result.error);

    auto sound = std::make_unique<Sound>();
    sound->pipeline = result.pipeline;
    sound->sinkName = used;
    sounds_[Key(alias)] = std::move(sound);
    return QString::fromLatin1(kOk);
}

void SoundPlayer::DrainBus(Sound& sound) {
    GstBus* bus = gst_element_get_bus(sound.pipeline);
    while (GstMessage* msg = gst_bus_pop_filtered(
               bus, static_cast<GstMessageType>(GST_MESSAGE_EOS | GST_MESSAGE_ERROR))) {
        sound.finished = true;
        sound.playing = false;
        gst_message_unref(msg);
    }
    gst_object_unref(bus);
}

QString SoundPlayer::Start(const QString& alias) {
    auto it = sounds_.find(Key(alias));
    if (it == sounds_.end())
        return LimitErrorText(QStringLiteral("The alias \"%1\" is not open.").arg(alias));
    Sound& sound = *it->second;
    DrainBus(sound);
    if (sound.finished) {
        // Rewind so that each play is the whole sound once.
        gst_element_set_state(sound.pipeline, GST_STATE_PAUSED);
        gst_element_seek_simple(sound.pipeline, GST_FORMAT_TIME,
                                static_cast<GstSeekFlags>(GST_SEEK_FLAG_FLUSH), 0);
        sound.finished = false;
    }
    if (gst_element_set_state(sound.pipeline, GST_STATE_PLAYING) == GST_STATE_CHANGE_FAILURE) {
        QString error = GstCoreText(GST_CORE_ERROR_STATE_CHANGE);
        GstBus* bus = gst_element_get_bus(sound.pipeline);
        if (GstMessage* msg = gst_bus_pop_filtered(bus, GST_MESSAGE_ERROR)) {
            error = TakeErrorText(msg);
            gst_message_unref(msg);
        }
        gst_object_unref(bus);
        sound.finished = true;
        return LimitErrorText(error);
    }
    sound.playing = true;
    ++startCount_;
    return QString::fromLatin1(kOk);
}

bool SoundPlayer::IsPlaying(const QString& alias) {
    auto it = sounds_.find(Key(alias));
    if (it == sounds_.end()) return false;
    DrainBus(*it->second);
    return it->second->playing;
}

QString SoundPlayer::Close(const QString& alias) {
    auto it = sounds_.find(Key(alias));
    if (it == sounds_.end())
        return LimitErrorText(QStringLiteral("The alias \"%1\" is not open.").arg(alias));
    sounds_.erase(it);  // the Sound stops its pipeline and frees it
    return QString::fromLatin1(kOk);
}

QString OpenSound(const QString& alias, const QString& filePath, const QString& deviceType) {
    return SoundPlayer::Shared().Open(alias, filePath, deviceType);
}

QString StartSound(const QString& alias) {
    return SoundPlayer::Shared().Start(alias);
}

QString CloseSound(const QString& alias) {
    return SoundPlayer::Shared().Close(alias);
}
