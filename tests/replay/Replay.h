#pragma once
// Replays: a whole game played from a seed and a list of timed keys, on a
// fake clock and with no window, summed up as text. The recorded games under
// games/ are replayed by the tests, so that any change to how the game plays
// shows up as a difference in a text file.
//
// A replay file:
//   # comment lines
//   seed 1234
//   <ms> <key>      one per line, ms from the start of the game, ascending
// with the keys Left Right Up Ctrl Insert Down Esc F4 F2, each read as the
// command its key gives. Up and Ctrl both turn clockwise; a replay written
// out names that command Up.
#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "control/GameFlow.h"

namespace quadix::replay {

const char* KeyName(Command command);
std::optional<Command> CommandFromKeyName(std::string_view name);
// The pause and the moves go to the playfield, as their keys do; pause/resume
// and start/stop to their menu items' handlers.
void Perform(GameFlow& flow, Command command);

struct Event {
    uint32_t ms = 0;
    Command command = Command::StepDown;
    bool operator==(const Event&) const = default;
};

struct Script {
    uint32_t seed = 0;
    std::vector<Event> events;
};

// Reads a replay file's text; on failure returns nullopt and says which line is wrong.
std::optional<Script> ParseScript(std::string_view text, std::string* error = nullptr);
// Writes the seed and the events, after the given comment lines.
std::string WriteScript(const Script& script, const std::vector<std::string>& comments = {});

// A screen nobody looks at: replays read the result from the game state.
class BlindScreen : public Screen {
public:
    void DrawBlock(int, int, int, int, int) override {}
    void RefreshField() override {}
    void ClearField() override {}
    void ClearPreview() override {}
};

// Locked pieces counted by the rows each completed.
constexpr int kMostRowsAtOnce = 4;
using LockCounts = std::array<int, kMostRowsAtOnce + 1>;

// The first piece dealt at a level, and how the level plays.
struct LevelReached {
    int level = 0;
    int piece = 0;
    uint32_t ms = 0;
    int fallInterval = 0;
    int previewCount = 0;
};

// How a replayed game ended.
struct Result {
    int pieces = 0;             // pieces dealt, the first one and the one in play included
    int32_t score = 0;
    int lines = 0;
    int level = 0;
    int fallInterval = 0;
    int previewCount = 0;
    LockCounts locks{};
    bool stoppedByPlayer = false;
    int stopState = 0;
    int pieceType = 0;          // the piece in play when the game ended
    int pieceX = 0;
    int pieceY = 0;
    int hiddenCells = 0;        // locked cells in the rows above the well
    uint32_t endMs = 0;         // fake time from the start to the end of the game
    int unplayedEvents = 0;     // events still due after the game had ended
    std::vector<LevelReached> levels;
    std::vector<std::string> board; // rows 10..35, '.' empty, a digit the type
    std::string error;          // set when the game could not be played to its end
};

// The stable text form compared against the .expected files.
std::string ResultText(const Result& result);

// One game around fakes: the real generator seeded with the replay's seed,
// a fake clock and a scripted window whose event pump runs the keys.
class Rig {
public:
    explicit Rig(uint32_t seed);
    ~Rig();
    Rig(const Rig&) = delete;
    Rig& operator=(const Rig&) = delete;

    // Runs `action` at `ms` from the start of the game (at once if that
    // time has passed), from the game loop's event pump.
    void at(uint32_t ms, std::function<void()> action);
    // A key of the replay file; the result counts those left unplayed.
    void schedule(const Event& event);
    void press(Command command);

    // Starts the game at time 0 and plays it to its end.
    Result run();

    // Called as each piece after the first is dealt, when it stands at the
    // top of the well and its sound plays (before its spawn pause begins).
    std::function<void()> onNewPiece;

    uint32_t elapsedMs() const;
    int piecesDealt() const;
    GameState& state();
    GameFlow& flow();

private:
    struct Parts;
    void soundPlayed(int16_t id);
    void afterPump();
    void noteLevel();
    void fail(const std::string& message);

    std::unique_ptr<Parts> parts_;
    uint32_t startTick_ = 0;
    uint32_t lastEventMs_ = 0;
    int spawns_ = 0;
    int rowSounds_ = 0;
    int linesAtLastDeal_ = 0;
    LockCounts locks_{};
    std::vector<LevelReached> levels_;
    std::string error_;
};

// Plays a script from start to end.
Result Play(const Script& script);

} // namespace quadix::replay
