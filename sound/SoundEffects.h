#pragma once
// The six sound effects, played asynchronously from memory; a new effect cuts
// off the one still playing. Without an audio device the game stays silent.
#include <cstdint>
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

private:
    bool soundOn_ = true;
    // implementation details (SDL device, decoded buffers) are the sound module's own
};

} // namespace quadix
