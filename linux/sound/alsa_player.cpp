#include "linux/sound/alsa_player.h"

#include <alsa/asoundlib.h>
#include <signal.h>
#include <time.h>

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <vector>

namespace {

// How far ahead of the clock the stream is kept: enough to ride out a late frame, little
// enough that a stop or a new sound is heard at once.
const uint64_t kLeadMs = 100;
const uint64_t kLeadFrames = kLeadMs * kPlayerRate / 1000;
const unsigned kLatencyUs = 250000;
const int kPumpMs = 20;
// How long the end waits for the player to give the device back.
const int kCloseMs = 200;

// ALSA reports its failures on standard error by default; a saver with no sound card says
// nothing.
void Quiet(const char*, int, const char*, int, const char*, ...) {}

// The same clock as the show's (CLOCK_MONOTONIC), for the thread's own use.
uint64_t NowMs() {
    timespec now;
    clock_gettime(CLOCK_MONOTONIC, &now);
    return static_cast<uint64_t>(now.tv_sec) * 1000u + static_cast<uint64_t>(now.tv_nsec) / 1000000u;
}

snd_pcm_t* OpenDevice() {
    snd_lib_error_set_handler(Quiet);
    snd_pcm_t* pcm = nullptr;
    if (snd_pcm_open(&pcm, "default", SND_PCM_STREAM_PLAYBACK, SND_PCM_NONBLOCK) < 0) {
        return nullptr;
    }
    snd_pcm_sw_params_t* sw = nullptr;
    bool ready = snd_pcm_set_params(pcm, SND_PCM_FORMAT_S16_LE, SND_PCM_ACCESS_RW_INTERLEAVED, kPlayerChannels,
                                    kPlayerRate, 1, kLatencyUs) == 0 &&
                 snd_pcm_sw_params_malloc(&sw) == 0;
    // Start with the first frames instead of waiting for a full buffer the lead never fills.
    if (ready) {
        ready = snd_pcm_sw_params_current(pcm, sw) == 0 && snd_pcm_sw_params_set_start_threshold(pcm, sw, 1) == 0 &&
                snd_pcm_sw_params(pcm, sw) == 0;
    }
    if (sw != nullptr) {
        snd_pcm_sw_params_free(sw);
    }
    if (!ready) {
        snd_pcm_close(pcm);
        return nullptr;
    }
    return pcm;
}

// Frames the device takes now without waiting; 0 when it cannot say.
uint64_t Room(snd_pcm_t* pcm) {
    snd_pcm_sframes_t room = snd_pcm_avail_update(pcm);
    if (room < 0) {
        if (snd_pcm_recover(pcm, static_cast<int>(room), 1) < 0) {
            return 0;
        }
        room = snd_pcm_avail_update(pcm);
    }
    return room > 0 ? static_cast<uint64_t>(room) : 0;
}

}  // namespace

struct AlsaPlayer::Stream {
    struct Voice {
        SoundIndex sound;
        bool loop;
    };

    std::mutex lock;
    std::condition_variable wake;    // a cue, a stop or the end for the thread
    std::condition_variable closed;  // the thread has given the device back
    std::vector<int16_t> sounds[SoundCount];
    // The one sound playing: a new cue takes its place, so there is never more than one.
    Voice voice = {SoundCount, false};
    bool playing = false;
    size_t position = 0;  // frames of the voice already handed on
    uint64_t streamStartMs = 0;
    uint64_t framesSent = 0;
    int32_t volume = 255;
    bool unavailable = false;
    bool drop = false;  // what the device still holds is to be thrown away
    bool closing = false;
    bool finished = false;

    uint64_t QueuedFrames() const {
        return playing ? sounds[voice.sound].size() / kPlayerChannels - position : 0;
    }

    void StopVoice() {
        playing = false;
        position = 0;
        drop = true;
    }

    // Moves the voice on by up to `frames`, scaled into `to` unless it is null; returns the
    // frames moved.
    uint64_t Advance(uint64_t frames, int16_t* to) {
        uint64_t moved = 0;
        while (moved < frames && playing) {
            const std::vector<int16_t>& samples = sounds[voice.sound];
            size_t total = samples.size() / kPlayerChannels;
            size_t chunk = total - position;
            if (chunk > frames - moved) {
                chunk = static_cast<size_t>(frames - moved);
            }
            if (to != nullptr) {
                ScaleFrames(samples.data() + position * kPlayerChannels, chunk, volume, to + moved * kPlayerChannels);
            }
            position += chunk;
            moved += chunk;
            if (position >= total) {
                position = 0;
                playing = voice.loop && total > 0;
            }
        }
        return moved;
    }

    // The frames that have come due, up to `room`, into `scratch`. After a stall of the device
    // what should have played meanwhile is passed over, so the sound keeps to the clock as
    // the show's steps do instead of rushing through the backlog.
    uint64_t TakeDue(uint64_t nowMs, uint64_t room, std::vector<int16_t>* scratch) {
        if (!playing) {
            return 0;
        }
        uint64_t elapsed = nowMs > streamStartMs ? nowMs - streamStartMs : 0;
        uint64_t due = (elapsed + kLeadMs) * kPlayerRate / 1000;
        if (due <= framesSent) {
            return 0;
        }
        uint64_t behind = due - framesSent;
        if (behind > 2 * kLeadFrames) {
            framesSent += Advance(behind - kLeadFrames, nullptr);
            behind = kLeadFrames;
        }
        uint64_t frames = behind < room ? behind : room;
        scratch->resize(static_cast<size_t>(frames) * kPlayerChannels);
        frames = Advance(frames, scratch->data());
        framesSent += frames;
        return frames;
    }
};

// The player's thread: it alone opens, feeds and closes the device, and only ever calls it
// with the lock released, so a device that blocks holds up nobody but this thread.
void AlsaPlayer::Run(std::shared_ptr<Stream> stream) {
    snd_pcm_t* pcm = OpenDevice();
    std::unique_lock<std::mutex> hold(stream->lock);
    if (pcm == nullptr) {
        stream->unavailable = true;
        stream->playing = false;
    }
    std::vector<int16_t> scratch;
    while (pcm != nullptr && !stream->closing) {
        if (stream->drop) {
            stream->drop = false;
            hold.unlock();
            snd_pcm_drop(pcm);
            snd_pcm_prepare(pcm);
            hold.lock();
            continue;
        }
        if (!stream->playing) {
            // What is written plays out by itself.
            stream->wake.wait(hold);
            continue;
        }
        hold.unlock();
        uint64_t room = Room(pcm);
        hold.lock();
        if (stream->drop || stream->closing) {
            continue;
        }
        uint64_t frames = stream->TakeDue(NowMs(), room, &scratch);
        if (frames == 0) {
            stream->wake.wait_for(hold, std::chrono::milliseconds(kPumpMs));
            continue;
        }
        hold.unlock();
        // Frames the device refuses are lost, a click at worst; the clock does not wait.
        snd_pcm_sframes_t written = snd_pcm_writei(pcm, scratch.data(), frames);
        if (written < 0 && written != -EAGAIN) {
            snd_pcm_recover(pcm, static_cast<int>(written), 1);
        }
        hold.lock();
    }
    hold.unlock();
    if (pcm != nullptr) {
        snd_pcm_drop(pcm);
        snd_pcm_close(pcm);
    }
    hold.lock();
    stream->finished = true;
    stream->closed.notify_all();
}

AlsaPlayer::~AlsaPlayer() {
    Close();
}

bool AlsaPlayer::Load(SoundIndex sound, const uint8_t* wave, size_t size) {
    Release(sound);
    loaded_[sound] = ReadWave(wave, size, &formats_[sound]);
    return loaded_[sound];
}

void AlsaPlayer::Release(SoundIndex sound) {
    loaded_[sound] = false;
    converted_[sound] = false;
    if (stream_ == nullptr) {
        return;
    }
    std::lock_guard<std::mutex> hold(stream_->lock);
    if (stream_->playing && stream_->voice.sound == sound) {
        stream_->StopVoice();
        stream_->wake.notify_all();
    }
    std::vector<int16_t>().swap(stream_->sounds[sound]);
}

void AlsaPlayer::Open() {
    if (stream_ != nullptr) {
        return;
    }
    stream_ = std::make_shared<Stream>();
    stream_->volume = volume_;
    // Signals are the show's: the thread takes none, so none is ever held up by the device.
    sigset_t all;
    sigset_t saved;
    sigfillset(&all);
    pthread_sigmask(SIG_SETMASK, &all, &saved);
    thread_ = std::thread(Run, stream_);
    pthread_sigmask(SIG_SETMASK, &saved, nullptr);
}

uint32_t AlsaPlayer::Play(SoundIndex sound, SoundCue cue, uint64_t nowMs) {
    if (!loaded_[sound]) {
        return 0;
    }
    Open();
    std::vector<int16_t> samples;
    if (!converted_[sound]) {
        ConvertWave(formats_[sound], &samples);
    }
    std::lock_guard<std::mutex> hold(stream_->lock);
    // A device still opening counts as there: the cue is timed as if it were heard.
    if (stream_->unavailable || stream_->finished) {
        return 0;
    }
    if (!converted_[sound]) {
        stream_->sounds[sound].swap(samples);
        converted_[sound] = true;
    }
    // A new sound takes the place of the one playing, at once; a cue that must follow a sound
    // is held back by the show until that sound has ended.
    stream_->StopVoice();
    stream_->streamStartMs = nowMs;
    stream_->framesSent = 0;
    stream_->voice = Stream::Voice{sound, cue == PlayLooped};
    stream_->playing = true;
    uint32_t wait = 0;
    if (cue == PlayAndWait) {
        wait = static_cast<uint32_t>((stream_->QueuedFrames() * 1000 + kPlayerRate - 1) / kPlayerRate);
    }
    stream_->wake.notify_all();
    return wait;
}

void AlsaPlayer::Stop() {
    if (stream_ != nullptr) {
        std::lock_guard<std::mutex> hold(stream_->lock);
        stream_->StopVoice();
        stream_->wake.notify_all();
    }
}

void AlsaPlayer::SetVolume(int32_t volume) {
    volume_ = volume;
    if (stream_ != nullptr) {
        std::lock_guard<std::mutex> hold(stream_->lock);
        stream_->volume = volume;
    }
}

void AlsaPlayer::Close() {
    if (stream_ == nullptr) {
        return;
    }
    bool finished;
    {
        std::unique_lock<std::mutex> hold(stream_->lock);
        stream_->StopVoice();
        stream_->closing = true;
        stream_->wake.notify_all();
        finished = stream_->closed.wait_for(hold, std::chrono::milliseconds(kCloseMs),
                                            [this] { return stream_->finished; });
    }
    // A thread stuck in a blocked write is not waited for: it shares nothing the show frees,
    // and the program's exit ends it.
    if (finished) {
        thread_.join();
    } else {
        thread_.detach();
    }
    stream_.reset();
}
