#pragma once
// The sound effects straight to the desktop's sound server (PulseAudio, or
// PipeWire speaking its protocol), the way a game that plays short sounds
// often wants them: the connection is made once and kept, each effect is
// written to the server whole in one go, and the stream it plays in lives
// only while an effect is heard. Compared with SDL's device, which opens a
// connection of its own each time and feeds the server a few milliseconds
// at a time from a thread, the first sound of an effect reaches the server
// in one round trip, and nothing of it can run dry behind a busy core.
#include <chrono>
#include <functional>
#include <memory>
#include <QByteArray>

namespace quadix {

class PulseOutput {
public:
    // What the sound thread is asked while it waits on the server: true
    // when the game has closed and waiting is pointless.
    using Abandon = std::function<bool()>;

    // Connects to the server the player's session names (never starting
    // one). nullptr without libpulse, without a server that answers within
    // `within`, or when the player told SDL to use another sound driver
    // (SDL_AUDIODRIVER), which the effects then go through instead.
    static std::unique_ptr<PulseOutput> Connect(std::chrono::milliseconds within, const Abandon& abandon);
    ~PulseOutput();
    PulseOutput(const PulseOutput&) = delete;
    PulseOutput& operator=(const PulseOutput&) = delete;

    // Samples a second of the server's default output.
    int rate() const;
    // False once the server went away or stopped answering.
    bool connected() const;
    // Plays S16 mono samples at rate(), cutting off whatever still plays;
    // opens the stream first when there is none. False if it could not.
    bool play(const QByteArray& pcm);
    // Ends the stream (an effect still playing ends with it); the
    // connection stays for the next effect.
    void closeStream();
    // True once the server has taken the whole effect from the stream, so
    // that closing it cuts nothing off.
    bool heard();
    bool hasStream() const;

    struct Impl;

private:
    explicit PulseOutput(std::unique_ptr<Impl> impl);
    std::unique_ptr<Impl> impl_;
};

} // namespace quadix
