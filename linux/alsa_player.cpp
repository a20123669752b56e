#include "linux/alsa_player.h"

#include <alsa/asoundlib.h>
#include <stdarg.h>


namespace {

// How far ahead of the clock the stream is kept: enough to ride out a late frame, little
// enough that a stop or a new sound is heard at once.
const uint64_t kLeadMs = 100;
const unsigned kLatencyUs = 250000;
const int kPumpMs = 20;

// ALSA reports its failures on standard error by default; a saver with no sound card says
// nothing.
void Quiet(const char*, int, const char*, int, const char*, ...) {}

}  // namespace

AlsaPlayer::~AlsaPlayer() {
    Close();
}

bool AlsaPlayer::Load(SoundIndex sound, const uint8_t* wave, size_t size) {
    std::vector<int16_t>().swap(sounds_[sound]);
    loaded_[sound] = ReadWave(wave, size, &formats_[sound]);
    return loaded_[sound];
}

void AlsaPlayer::Release(SoundIndex sound) {
    for (const Voice& voice : voices_) {
        if (voice.sound == sound) {
            Stop();
            break;
        }
    }
    loaded_[sound] = false;
    std::vector<int16_t>().swap(sounds_[sound]);
}

bool AlsaPlayer::Open() {
    if (pcm_ != nullptr) {
        return true;
    }
    if (unavailable_) {
        return false;
    }
    snd_lib_error_set_handler(Quiet);
    snd_pcm_t* pcm = nullptr;
    if (snd_pcm_open(&pcm, "default", SND_PCM_STREAM_PLAYBACK, SND_PCM_NONBLOCK) < 0) {
        unavailable_ = true;
        return false;
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
        unavailable_ = true;
        return false;
    }
    pcm_ = pcm;
    return true;
}

uint64_t AlsaPlayer::QueuedFrames() const {
    uint64_t frames = 0;
    for (size_t i = 0; i < voices_.size(); ++i) {
        frames += sounds_[voices_[i].sound].size() / kPlayerChannels;
    }
    return frames - position_;
}

uint32_t AlsaPlayer::Play(SoundIndex sound, SoundCue cue, uint64_t nowMs) {
    if (!loaded_[sound] || !Open()) {
        return 0;
    }
    if (sounds_[sound].empty()) {
        ConvertWave(formats_[sound], &sounds_[sound]);
    }
    if (nowMs >= waitUntilMs_ && !voices_.empty()) {
        // Like the platform's player: a new sound takes the place of the one playing, at once.
        Stop();
    }
    voices_.push_back(Voice{sound, cue == PlayLooped});
    uint32_t wait = 0;
    if (cue == PlayAndWait) {
        wait = static_cast<uint32_t>((QueuedFrames() * 1000 + kPlayerRate - 1) / kPlayerRate);
        waitUntilMs_ = nowMs + wait;
    }
    if (!streaming_) {
        streaming_ = true;
        streamStartMs_ = nowMs;
        framesSent_ = 0;
    }
    Pump(nowMs);
    return wait;
}

void AlsaPlayer::Stop() {
    voices_.clear();
    position_ = 0;
    waitUntilMs_ = 0;
    streaming_ = false;
    if (pcm_ != nullptr) {
        snd_pcm_drop(pcm_);
        snd_pcm_prepare(pcm_);
    }
}

int AlsaPlayer::Pump(uint64_t nowMs) {
    if (pcm_ == nullptr || voices_.empty()) {
        streaming_ = false;
        return -1;
    }
    uint64_t dueTotal = (nowMs - streamStartMs_ + kLeadMs) * kPlayerRate / 1000;
    if (dueTotal <= framesSent_) {
        return kPumpMs;
    }
    snd_pcm_sframes_t room = snd_pcm_avail_update(pcm_);
    if (room < 0) {
        if (snd_pcm_recover(pcm_, static_cast<int>(room), 1) < 0) {
            return kPumpMs;
        }
        room = snd_pcm_avail_update(pcm_);
        if (room < 0) {
            return kPumpMs;
        }
    }
    uint64_t wanted = dueTotal - framesSent_;
    uint64_t left = wanted < static_cast<uint64_t>(room) ? wanted : static_cast<uint64_t>(room);
    while (left > 0 && !voices_.empty()) {
        const std::vector<int16_t>& samples = sounds_[voices_.front().sound];
        size_t total = samples.size() / kPlayerChannels;
        size_t chunk = total - position_;
        if (chunk > left) {
            chunk = static_cast<size_t>(left);
        }
        scratch_.resize(chunk * kPlayerChannels);
        ScaleFrames(samples.data() + position_ * kPlayerChannels, chunk, volume_, scratch_.data());
        snd_pcm_sframes_t written = snd_pcm_writei(pcm_, scratch_.data(), chunk);
        if (written < 0) {
            if (written != -EAGAIN) {
                snd_pcm_recover(pcm_, static_cast<int>(written), 1);
            }
            break;
        }
        position_ += static_cast<size_t>(written);
        framesSent_ += static_cast<uint64_t>(written);
        left -= static_cast<uint64_t>(written);
        if (position_ >= total) {
            position_ = 0;
            if (!voices_.front().loop) {
                voices_.pop_front();
            }
        }
        if (static_cast<size_t>(written) < chunk) {
            break;
        }
    }
    if (voices_.empty()) {
        // What is written plays out by itself.
        streaming_ = false;
        return -1;
    }
    return kPumpMs;
}

void AlsaPlayer::Close() {
    if (pcm_ != nullptr) {
        Stop();
        snd_pcm_close(pcm_);
        pcm_ = nullptr;
    }
    voices_.clear();
}
