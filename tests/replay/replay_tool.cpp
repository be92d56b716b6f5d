// quadix_replay: records and plays the replays kept under tests/replay/games.
//
//   quadix_replay play FILE.replay
//       Plays the file on a fake clock and prints how the game ended. This is
//       the text kept in the matching .expected file; after a deliberate
//       change to the rules, bring a golden up to date with
//           quadix_replay play games/NAME.replay > games/NAME.expected
//       and read the diff before committing it.
//
//   quadix_replay record --seed N [options] -o FILE.replay
//       A small automatic player plays a game from the seed and writes the
//       keys it pressed, with their times, so that the game can be played
//       again without it. It looks at each piece when it arrives, tries every
//       turn and shift on a copy of the game, keeps the placement with the
//       best board (low, flat, few holes, rows completed) and presses the
//       keys: turns and shifts a few ms apart, then Down until the piece locks.
//       The recording is played back at once and must end the same way.
//         --well            keep column 19 empty and wait for four-row locks
//         --max-pieces N    press F2 when the Nth piece arrives
//         --stop-level L    press F2 when a piece arrives at level L
//         --stop-at MS      press F2 at MS
//         --idle-after N    leave the keys alone from the Nth piece on
//         --pause-at MS     press Esc at MS and F4 a second later
//         --key-gap MS      time between two keys (default 5)
//         --monkey-from N   from the Nth piece on, press random keys at random
//                           times instead (turns against walls and the stack,
//                           kicks, moves in the spawn pause and the grace steps)
//
// To re-record a golden (after a rule change that its keys no longer suit,
// or to change what it shows), build the quadix_replay target and, from
// tests/replay, run the command in the first comment line of its .replay
// file with "-o games/NAME.replay", then play the new file into
// games/NAME.expected as above. tst_replays checks that each golden still
// shows what its name promises.
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <initializer_list>
#include <iostream>
#include <limits>
#include <random>
#include <set>
#include <sstream>

#include "replay/Replay.h"
#include "support/FlowFakes.h"

using namespace quadix;
using namespace quadix::replay;

namespace {

struct Options {
    uint32_t seed = 1;
    bool well = false;
    int monkeyFrom = 0;
    int maxPieces = 0;
    int stopLevel = 0;
    int idleAfter = 0;
    std::optional<uint32_t> stopAt;
    std::optional<uint32_t> pauseAt;
    uint32_t pauseMs = 1000;
    uint32_t keyGap = 5;
    std::string output;
};

class SpawnSound : public Sound {
public:
    void PlaySoundEffect(int16_t id) override { spawned = spawned || id == 1; }
    bool spawned = false;
};

// A copy of the game where the bot tries its moves; the real rules decide
// where each attempt ends.
struct Sandbox {
    BlindScreen screen;
    test::RecordingScoreboard scoreboard;
    SpawnSound sound;
    test::FakeClock clock;
    test::SeededRandom random;
    Game game{screen, scoreboard, sound, clock, random};
    test::ScriptedWindow window{clock};
    GameFlow flow{game, clock, sound, window};
};

// A placement: so many clockwise turns, then so many shifts (negative: left).
// Three turns are one counter-clockwise turn.
struct Move {
    int turns = 0;
    int shift = 0;

    std::vector<Command> keys() const
    {
        std::vector<Command> out;
        if (turns == 3)
            out.push_back(Command::TurnCounterClockwise);
        else
            out.insert(out.end(), turns, Command::TurnClockwise);
        out.insert(out.end(), std::abs(shift), shift < 0 ? Command::ShiftLeft : Command::ShiftRight);
        return out;
    }
};

struct BoardShape {
    std::array<int, 10> heights{};
    int holes = 0;
    int wellCells = 0; // blocks in column 19
};

BoardShape shapeOf(const GameState& s)
{
    BoardShape b;
    for (int c = kFirstColumn; c <= kLastColumn; ++c) {
        int top = kFloorRow;
        for (int r = 0; r <= kBottomRow; ++r) {
            if (s.board(c, r) == 0) {
                if (top < kFloorRow)
                    ++b.holes;
            } else if (top == kFloorRow) {
                top = r;
            }
        }
        b.heights[c - kFirstColumn] = kFloorRow - top;
    }
    for (int r = 0; r <= kBottomRow; ++r)
        b.wellCells += s.board(kLastColumn, r) != 0;
    return b;
}

// Higher is better. The weights are the usual ones of simple bots: keep the
// stack low and flat, avoid covering holes, like completed rows. `rows` are
// the rows completed by each lock on the way to this board.
double valueOf(const GameState& s, std::initializer_list<int> rows, bool well)
{
    if (s.stopState != 0)
        return -1e9; // the next piece did not fit
    const BoardShape b = shapeOf(s);
    const int columns = well ? 9 : 10;
    int total = 0;
    int bumps = 0;
    int highest = 0;
    for (int i = 0; i < columns; ++i) {
        total += b.heights[i];
        highest = std::max(highest, b.heights[i]);
        if (i > 0)
            bumps += std::abs(b.heights[i] - b.heights[i - 1]);
    }
    double value = -0.51 * total - 0.72 * b.holes - 0.18 * bumps;
    const bool building = well && highest < 14;
    if (building)
        value -= 2.0 * b.wellCells;
    for (int n : rows) {
        if (!building)
            value += 0.76 * n;
        else // building for four rows: fewer rows at once are a waste
            value += n == kMostRowsAtOnce ? 20.0 : -1.5 * n;
    }
    return value;
}

class Bot {
public:
    Bot(Rig& rig, const Options& options) : rig_(rig), o_(options) {}

    void start()
    {
        rig_.onNewPiece = [this] { newPiece(); };
        rig_.at(0, [this] { newPiece(); });
        if (o_.stopAt)
            rig_.at(*o_.stopAt, [this] { pressNow(*o_.stopAt, Command::StartStop); });
        if (o_.pauseAt) {
            rig_.at(*o_.pauseAt, [this] { pressNow(*o_.pauseAt, Command::Pause); });
            rig_.at(*o_.pauseAt + o_.pauseMs, [this] { pressNow(*o_.pauseAt + o_.pauseMs, Command::PauseResume); });
        }
    }

    const std::vector<Event>& pressed() const { return pressed_; }

private:
    void pressNow(uint32_t due, Command key)
    {
        if (!rig_.state().gameRunning)
            return;
        pressed_.push_back({due, key});
        rig_.press(key);
    }

    void newPiece()
    {
        const GameState& s = rig_.state();
        const int piece = rig_.piecesDealt();
        if (s.stopState != 0)
            return;
        const bool stop = (o_.maxPieces > 0 && piece >= o_.maxPieces)
            || (o_.stopLevel > 0 && s.level >= o_.stopLevel);
        if (stop) {
            const uint32_t due = rig_.elapsedMs() + 1;
            rig_.at(due, [this, due] { pressNow(due, Command::StartStop); });
            return;
        }
        if (o_.monkeyFrom > 0 && piece == o_.monkeyFrom)
            monkey(rig_.elapsedMs() + 1);
        if ((o_.monkeyFrom > 0 && piece >= o_.monkeyFrom) || (o_.idleAfter > 0 && piece >= o_.idleAfter))
            return;
        plan_ = bestMove().keys();
        step(rig_.elapsedMs() + o_.keyGap, piece, 0);
    }

    // One chain of events per piece: the planned keys one after another,
    // then Down until the piece locks. While paused, or while the new piece
    // waits out its spawn pause, the chain only looks and waits.
    void step(uint32_t due, int piece, size_t next)
    {
        rig_.at(due, [this, due, piece, next] {
            const GameState& s = rig_.state();
            if (piece != rig_.piecesDealt() || !s.gameRunning || s.stopState != 0)
                return;
            const uint32_t later = rig_.elapsedMs() + o_.keyGap;
            if (s.paused || (next >= plan_.size() && s.dropHeld > 0)) {
                step(later, piece, next);
                return;
            }
            const Command key = next < plan_.size() ? plan_[next] : Command::StepDown;
            pressNow(due, key);
            step(later, piece, next + 1);
        });
    }

    // Any key at any time, now and then a pause; a pause is ended by the next key.
    void monkey(uint32_t due)
    {
        rig_.at(due, [this, due] {
            const GameState& s = rig_.state();
            if (!s.gameRunning || (o_.idleAfter > 0 && rig_.piecesDealt() >= o_.idleAfter))
                return;
            constexpr Command moves[] = {Command::ShiftLeft, Command::ShiftRight, Command::TurnClockwise,
                                         Command::TurnClockwise, Command::TurnCounterClockwise, Command::StepDown};
            const uint32_t roll = monkeyDice_() % 1000;
            if (s.paused)
                pressNow(due, Command::PauseResume);
            else if (roll < 3)
                pressNow(due, Command::Pause);
            else
                pressNow(due, moves[roll % 6]);
            monkey(rig_.elapsedMs() + 1 + monkeyDice_() % 60);
        });
    }

    // Where the piece in play can be brought by a move, and the game after it locked.
    struct Outcome {
        Move move;
        GameState after;
        int rows = 0;
    };

    std::vector<Outcome> outcomes(const GameState& from)
    {
        std::vector<Outcome> out;
        std::set<std::vector<int>> seen;
        GameState& s = sandbox_.game.state;
        for (int turns = 0; turns < 4; ++turns) {
            for (int shift = -7; shift <= 7; ++shift) {
                const Move move{turns, shift};
                s = from;
                s.paused = false;
                s.gameRunning = true;
                for (Command command : move.keys())
                    Perform(sandbox_.flow, command);
                // The same place reached by more keys is no better.
                std::vector<int> where{s.pieceX, s.pieceY};
                for (int i = 0; i < kBlockSlots; ++i)
                    where.insert(where.end(), {s.pieceDX[i], s.pieceDY[i]});
                if (!seen.insert(where).second)
                    continue;
                const int linesBefore = s.lines;
                if (dropToLock())
                    out.push_back({move, s, s.lines - linesBefore});
            }
        }
        return out;
    }

    bool dropToLock()
    {
        GameState& s = sandbox_.game.state;
        s.dropHeld = 0;
        sandbox_.sound.spawned = false;
        for (int i = 0; i < 2 * kBoardRows && !sandbox_.sound.spawned; ++i)
            Perform(sandbox_.flow, Command::StepDown);
        return sandbox_.sound.spawned;
    }

    // Looks two pieces ahead: the one in play and the next one of the preview.
    Move bestMove()
    {
        Move best;
        double bestValue = -std::numeric_limits<double>::infinity();
        for (const Outcome& first : outcomes(rig_.state())) {
            double value = valueOf(first.after, {first.rows}, o_.well);
            if (first.after.stopState == 0) {
                value = -std::numeric_limits<double>::infinity();
                for (const Outcome& second : outcomes(first.after))
                    value = std::max(value, valueOf(second.after, {first.rows, second.rows}, o_.well));
            }
            if (value > bestValue) {
                bestValue = value;
                best = first.move;
            }
        }
        return best;
    }

    Rig& rig_;
    const Options& o_;
    Sandbox sandbox_;
    std::vector<Command> plan_;
    std::vector<Event> pressed_;
    std::mt19937 monkeyDice_{o_.seed};
};

int usage()
{
    std::cerr << "usage: quadix_replay play FILE.replay\n"
                 "       quadix_replay record --seed N [--well] [--max-pieces N] [--stop-level L]\n"
                 "                            [--stop-at MS] [--idle-after N] [--pause-at MS]\n"
                 "                            [--monkey-from N] [--key-gap MS] -o FILE.replay\n";
    return 2;
}

std::optional<std::string> readFile(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    if (!in)
        return std::nullopt;
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

int play(const std::string& path)
{
    auto text = readFile(path);
    if (!text) {
        std::cerr << path << ": cannot read\n";
        return 1;
    }
    std::string error;
    auto script = ParseScript(*text, &error);
    if (!script) {
        std::cerr << path << ": " << error << '\n';
        return 1;
    }
    const Result result = Play(*script);
    std::cout << ResultText(result);
    return result.error.empty() ? 0 : 1;
}

int record(const Options& o, const std::string& commandLine)
{
    Rig rig(o.seed);
    Bot bot(rig, o);
    bot.start();
    const Result recorded = rig.run();
    const Script script{o.seed, bot.pressed()};

    // The file alone must play the same game.
    const Result replayed = Play(script);
    if (ResultText(replayed) != ResultText(recorded)) {
        std::cerr << "the recording does not replay the same game\n--- recorded\n"
                  << ResultText(recorded) << "--- replayed\n" << ResultText(replayed);
        return 1;
    }
    std::ofstream out(o.output, std::ios::binary);
    out << WriteScript(script, {"recorded by: quadix_replay " + commandLine,
                                "replay with: quadix_replay play FILE"});
    if (!out) {
        std::cerr << o.output << ": cannot write\n";
        return 1;
    }
    std::cout << ResultText(recorded);
    return recorded.error.empty() ? 0 : 1;
}

} // namespace

int main(int argc, char** argv)
{
    if (argc == 3 && std::string(argv[1]) == "play")
        return play(argv[2]);
    if (argc < 2 || std::string(argv[1]) != "record")
        return usage();

    Options o;
    std::string commandLine = "record";
    bool haveSeed = false;
    for (int i = 2; i < argc; ++i) {
        const std::string arg = argv[i];
        auto value = [&]() -> std::optional<std::string> {
            if (i + 1 >= argc)
                return std::nullopt;
            return std::string(argv[++i]);
        };
        auto count = [&]() -> std::optional<uint32_t> {
            auto v = value();
            if (!v || v->empty() || v->find_first_not_of("0123456789") != std::string::npos)
                return std::nullopt;
            return static_cast<uint32_t>(std::stoul(*v));
        };
        std::optional<uint32_t> n;
        if (arg == "--well") {
            o.well = true;
        } else if (arg == "--monkey-from" && (n = count()) && *n > 0) {
            o.monkeyFrom = static_cast<int>(*n);
        } else if (arg == "-o") {
            auto v = value();
            if (!v)
                return usage();
            o.output = *v;
            continue; // the output name is not part of how the game was played
        } else if (arg == "--seed" && (n = count())) {
            o.seed = *n;
            haveSeed = true;
        } else if (arg == "--max-pieces" && (n = count())) {
            o.maxPieces = static_cast<int>(*n);
        } else if (arg == "--stop-level" && (n = count())) {
            o.stopLevel = static_cast<int>(*n);
        } else if (arg == "--stop-at" && (n = count())) {
            o.stopAt = *n;
        } else if (arg == "--idle-after" && (n = count())) {
            o.idleAfter = static_cast<int>(*n);
        } else if (arg == "--pause-at" && (n = count())) {
            o.pauseAt = *n;
        } else if (arg == "--key-gap" && (n = count()) && *n > 0) {
            o.keyGap = *n;
        } else {
            return usage();
        }
        commandLine += " " + arg + (n ? " " + std::to_string(*n) : "");
    }
    if (!haveSeed || o.output.empty())
        return usage();
    return record(o, commandLine);
}
