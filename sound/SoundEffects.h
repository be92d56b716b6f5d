#pragma once
// The six sound effects, played asynchronously from memory; a new effect cuts
// off the one still playing. Without an audio device the game stays silent.
#include <array>
#include <cstdint>
#include <functional>
#include <QByteArray>

#include "game/Ports.h"

namespace quadix {

// The whole WAV file of effect id (1..6) as embedded in the program; empty for other ids.
QByteArray LoadEffect(int id);

class SoundEffects : public Sound {
public:
    SoundEffects();
    ~SoundEffects() override;
    SoundEffects(const SoundEffects&) = delete;
    SoundEffects& operator=(const SoundEffects&) = delete;

    // Plays effect id if effects are switched on; returns at once.
    void PlaySoundEffect(int16_t id) override;

    bool soundOn() const { return soundOn_; }
    void setSoundOn(bool on) { soundOn_ = on; }

    // Told of every effect started while effects are on, with or without a
    // device: what the player would hear.
    std::function<void(int)> onStarted;

    // True when an audio device is open; without one every effect is silent.
    bool hasDevice() const { return device_ != 0; }
    // Id of the last effect handed to the device, 0 if none has been yet.
    int lastPlayed() const { return lastPlayed_; }
    // Bytes of audio still waiting to be played by the device.
    uint32_t queuedBytes() const;

    // Effect id decoded to what the device is fed: signed 16-bit native-endian
    // mono samples at 8000 Hz. Empty for unknown ids or undecodable data.
    static QByteArray DecodeEffect(int id);

private:
    bool soundOn_ = true;
    bool audioStarted_ = false;     // SDL's audio subsystem is ours to quit
    uint32_t device_ = 0;           // SDL audio device id, 0 without a device
    int lastPlayed_ = 0;
    // Decoded once and kept: each effect is queued from these buffers.
    std::array<QByteArray, 7> pcm_{};
};

} // namespace quadix
