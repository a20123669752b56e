// A ShowPort that records every operation as a typed record and answers from its settings,
// so the portable show's tests compare what it did as values.
#pragma once

#include <gtest/gtest.h>

#include <functional>
#include <ostream>
#include <vector>

#include "core/show_port.h"

enum class Op {
    LoadPicture,
    ReleasePicture,
    SizeOfPicture,
    LoadSound,
    ReleaseSound,
    ClientRect,
    BeginStep,
    Copy,
    Fill,
    EndStep,
    Erase,
    Play,
    Stop,
    SetVolume,
    RestoreVolume,
    Arm,
    Kill,
    Clock,
};

struct PortCall {
    Op op;
    int64_t a = 0;
    int64_t b = 0;
    int64_t c = 0;
    int64_t d = 0;

    bool operator==(const PortCall& other) const {
        return op == other.op && a == other.a && b == other.b && c == other.c && d == other.d;
    }
};

inline PortCall Copy(int32_t x, int32_t y, int32_t width, int32_t height) {
    return PortCall{Op::Copy, x, y, width, height};
}
inline PortCall Fill(int32_t left, int32_t top, int32_t right, int32_t bottom) {
    return PortCall{Op::Fill, left, top, right, bottom};
}
inline PortCall Play(SoundIndex sound, SoundCue cue) {
    return PortCall{Op::Play, sound, cue};
}
inline PortCall Stop(SoundStop stop) {
    return PortCall{Op::Stop, stop};
}
inline PortCall Arm(uint32_t milliseconds) {
    return PortCall{Op::Arm, milliseconds};
}
inline PortCall Kill() {
    return PortCall{Op::Kill};
}

inline void PrintTo(const PortCall& call, std::ostream* out) {
    static const char* const kNames[] = {"LoadPicture", "ReleasePicture", "SizeOfPicture", "LoadSound",
                                         "ReleaseSound", "ClientRect", "BeginStep", "Copy",
                                         "Fill", "EndStep", "Erase", "Play",
                                         "Stop", "SetVolume", "RestoreVolume", "Arm",
                                         "Kill", "Clock"};
    *out << kNames[static_cast<int>(call.op)] << "(" << call.a << "," << call.b << "," << call.c << "," << call.d
         << ")";
}

class RecordingPort final : public ShowPort {
public:
    std::vector<PortCall> calls;

    // Answers.
    bool pictureLoads[PictureCount] = {true, true, true, true};
    PictureSize sizes[PictureCount] = {{168, 110}, {168, 110}, {179, 100}, {179, 100}};
    SoundLoad soundLoads[SoundCount] = {SoundReady, SoundReady, SoundReady, SoundReady};
    ShowRect client = {0, 0, 640, 480};
    bool armResult = true;
    uint32_t clock = 1;
    uint32_t waitForCue = 0;  // what a cue that waits leaves the show to wait
    std::function<void()> whileCueWaits;  // what arrives while the player holds the thread

    // The calls of one kind, in order.
    std::vector<PortCall> Only(Op op) const {
        std::vector<PortCall> found;
        for (const PortCall& call : calls) {
            if (call.op == op) {
                found.push_back(call);
            }
        }
        return found;
    }
    // The x of every copy, in order.
    std::vector<int> CopiesX() const {
        std::vector<int> xs;
        for (const PortCall& call : Only(Op::Copy)) {
            xs.push_back(static_cast<int>(call.a));
        }
        return xs;
    }

    bool LoadPicture(PictureIndex picture) override {
        calls.push_back({Op::LoadPicture, picture});
        return pictureLoads[picture];
    }
    void ReleasePicture(PictureIndex picture) override { calls.push_back({Op::ReleasePicture, picture}); }
    PictureSize SizeOfPicture(PictureIndex picture) override {
        calls.push_back({Op::SizeOfPicture, picture});
        return pictureLoads[picture] ? sizes[picture] : PictureSize{0, 0};
    }
    SoundLoad LoadSound(SoundIndex sound) override {
        calls.push_back({Op::LoadSound, sound});
        return soundLoads[sound];
    }
    void ReleaseSound(SoundIndex sound) override { calls.push_back({Op::ReleaseSound, sound}); }
    ShowRect ClientRect() override {
        calls.push_back({Op::ClientRect});
        return client;
    }
    void BeginStep(PictureIndex picture) override { calls.push_back({Op::BeginStep, picture}); }
    void CopyPicture(int32_t x, int32_t y, int32_t width, int32_t height) override {
        calls.push_back(Copy(x, y, width, height));
    }
    void FillBlack(const ShowRect& rect) override { calls.push_back(Fill(rect.left, rect.top, rect.right, rect.bottom)); }
    void EndStep() override { calls.push_back({Op::EndStep}); }
    void EraseBlack(const ShowRect& rect) override {
        calls.push_back({Op::Erase, rect.left, rect.top, rect.right, rect.bottom});
    }
    uint32_t PlaySound(SoundIndex sound, SoundCue cue) override {
        calls.push_back(Play(sound, cue));
        if (cue == PlayAndWait && whileCueWaits) {
            whileCueWaits();
        }
        return cue == PlayAndWait ? waitForCue : 0;
    }
    void StopSound(SoundStop stop) override { calls.push_back(Stop(stop)); }
    void SetVolume(int32_t volume) override { calls.push_back({Op::SetVolume, volume}); }
    void RestoreVolume() override { calls.push_back({Op::RestoreVolume}); }
    bool ArmTimer(uint32_t milliseconds) override {
        calls.push_back(Arm(milliseconds));
        return armResult;
    }
    void KillTimer() override { calls.push_back(Kill()); }
    uint32_t ClockSeconds() override {
        calls.push_back({Op::Clock});
        return clock;
    }
};
