#pragma once
// The six sound effects, played asynchronously from memory; a new effect cuts
// off the one still playing. Without an audio device the game stays silent.
#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <QByteArray>

#include "game/Ports.h"

namespace quadix {

namespace sdl {
struct Api;
}

// The whole WAV file of effect id (1..6) as embedded in the program; empty for other ids.
QByteArray LoadEffect(int id);

// The effects are handed to a thread of their own, which loads SDL and
// decodes them, and plays each one into the desktop's sound server over a
// connection made once, in a stream that ends once the effect has been
// heard; where there is no such server, through SDL's audio device, opened
// when an effect is due and closed again once it has been heard. A game that
// waits (between games, paused, a piece taking its time) keeps no audio
// thread awake and no stream open in the sound server. The window's thread
// never waits for the sound system.
class SoundEffects : public Sound {
public:
    // The stream (or SDL's device) stays open this long after the last
    // effect has been heard. None: SDL's device at a buffer of a few
    // milliseconds costs the sound server several percent of a core and
    // SDL's thread a wake-up every buffer, and a stream in the server keeps
    // its output awake; opening either again costs little.
    static constexpr int kIdleCloseMs = 0;
    // After a device could not be opened, effects are silent this long
    // before the next try.
    static constexpr int kRetryMs = 10000;
    // A game that closes waits this long at most for the sound thread to
    // close the device: a sound server that hangs keeps it for ever.
    static constexpr int kCloseWaitMs = 500;

    // Where the player finds SDL when the first effect is due: sdl::Load,
    // unless a test puts in an SDL of its own.
    using SdlLoader = const sdl::Api* (*)();
    explicit SoundEffects(SdlLoader load = nullptr);
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

    // Loads SDL and decodes the effects in the background, so that the
    // first effect is not late. The main window calls it once it is shown.
    void warmUp();
    // Waits until every effect asked for has been handed to the device, or
    // found to have none.
    void settle();
    void setIdleCloseMs(int ms);

    // True while an effect's stream is open in the sound server, or SDL's
    // audio device is.
    bool hasDevice() const;
    // Id of the last effect handed to the device, 0 if none has been yet.
    int lastPlayed() const;
    // Bytes of audio still waiting to be played by SDL's device (an effect
    // goes to the sound server whole, at once).
    uint32_t queuedBytes() const;
    // Samples a second of the sound server's output or of the device last
    // opened, 0 before either was found.
    int deviceRate() const;

    // Effect id decoded to signed 16-bit native-endian mono samples at rate
    // (as stored: 8000 Hz), what a device at that rate is fed. Empty for
    // unknown ids, undecodable data or without SDL.
    static QByteArray DecodeEffect(int id, int rate = 8000);

private:
    class Player;
    Player& player();

    SdlLoader load_ = nullptr;
    bool soundOn_ = true;
    std::shared_ptr<Player> player_;
};

} // namespace quadix
