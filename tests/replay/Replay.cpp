#include "replay/Replay.h"

#include <charconv>
#include <sstream>

#include "support/FlowFakes.h"

namespace quadix::replay {

namespace {

using test::FakeClock;
using test::RecordingScoreboard;
using test::ScriptedWindow;
using test::SeededRandom;

constexpr int16_t kSoundNewPiece = 1;
constexpr int16_t kSoundRowsDone = 2;
// A game that still runs this long after its last key never ends by itself.
constexpr uint32_t kRunawayMs = 2 * 60 * 60 * 1000;

struct KeyNameEntry {
    Command command;
    const char* name;
};
// A command's first name is the one written.
constexpr KeyNameEntry kKeyNames[] = {
    {Command::ShiftLeft, "Left"}, {Command::ShiftRight, "Right"}, {Command::TurnClockwise, "Up"},
    {Command::TurnClockwise, "Ctrl"}, {Command::TurnCounterClockwise, "Insert"}, {Command::StepDown, "Down"},
    {Command::Pause, "Esc"}, {Command::PauseResume, "F4"}, {Command::StartStop, "F2"},
};

class HookedSound : public Sound {
public:
    void PlaySoundEffect(int16_t id) override { played(id); }
    std::function<void(int16_t)> played;
};

std::string_view trimmed(std::string_view s)
{
    while (!s.empty() && (s.front() == ' ' || s.front() == '\t'))
        s.remove_prefix(1);
    while (!s.empty() && (s.back() == ' ' || s.back() == '\t' || s.back() == '\r'))
        s.remove_suffix(1);
    return s;
}

std::optional<uint32_t> number(std::string_view s)
{
    uint32_t value = 0;
    auto [end, ec] = std::from_chars(s.data(), s.data() + s.size(), value);
    if (ec != std::errc() || end != s.data() + s.size() || s.empty())
        return std::nullopt;
    return value;
}

char cellChar(int16_t v)
{
    if (v == 0)
        return '.';
    if (v >= 1 && v <= 9)
        return static_cast<char>('0' + v);
    return '?';
}

} // namespace

const char* KeyName(Command command)
{
    for (const auto& entry : kKeyNames)
        if (entry.command == command)
            return entry.name;
    return "?";
}

std::optional<Command> CommandFromKeyName(std::string_view name)
{
    for (const auto& entry : kKeyNames)
        if (name == entry.name)
            return entry.command;
    return std::nullopt;
}

void Perform(GameFlow& flow, Command command)
{
    if (command == Command::PauseResume)
        flow.mnuPause_Click();
    else if (command == Command::StartStop)
        flow.mnuStart_Click();
    else
        flow.picQuadixField_KeyDown(command);
}

// ---- Replay files -------------------------------------------------------------

std::optional<Script> ParseScript(std::string_view text, std::string* error)
{
    Script script;
    bool haveSeed = false;
    int lineNo = 0;
    auto failAt = [&](const std::string& why) -> std::optional<Script> {
        if (error)
            *error = lineNo > 0 ? "line " + std::to_string(lineNo) + ": " + why : why;
        return std::nullopt;
    };
    while (!text.empty()) {
        size_t eol = text.find('\n');
        std::string_view line = trimmed(text.substr(0, eol));
        text.remove_prefix(eol == std::string_view::npos ? text.size() : eol + 1);
        ++lineNo;
        if (line.empty() || line.front() == '#')
            continue;
        size_t gap = line.find_first_of(" \t");
        std::string_view first = line.substr(0, gap);
        std::string_view second = gap == std::string_view::npos ? std::string_view() : trimmed(line.substr(gap));
        if (second.find_first_of(" \t") != std::string_view::npos)
            return failAt("more than two words");
        if (first == "seed") {
            if (haveSeed)
                return failAt("a second seed");
            auto seed = number(second);
            if (!seed)
                return failAt("the seed is not a number");
            script.seed = *seed;
            haveSeed = true;
            continue;
        }
        if (!haveSeed)
            return failAt("an event before the seed");
        auto ms = number(first);
        if (!ms)
            return failAt("expected <ms> <key>");
        auto command = CommandFromKeyName(second);
        if (!command)
            return failAt("unknown key '" + std::string(second) + "'");
        if (!script.events.empty() && *ms < script.events.back().ms)
            return failAt("time goes backwards");
        script.events.push_back({*ms, *command});
    }
    if (!haveSeed) {
        lineNo = 0;
        return failAt("no seed line");
    }
    return script;
}

std::string WriteScript(const Script& script, const std::vector<std::string>& comments)
{
    std::ostringstream out;
    for (const auto& comment : comments)
        out << "# " << comment << '\n';
    out << "seed " << script.seed << '\n';
    for (const auto& event : script.events)
        out << event.ms << ' ' << KeyName(event.command) << '\n';
    return out.str();
}

std::string ResultText(const Result& r)
{
    std::ostringstream out;
    if (!r.error.empty())
        out << "error " << r.error << '\n';
    out << "pieces " << r.pieces << '\n'
        << "score " << r.score << '\n'
        << "lines " << r.lines << '\n'
        << "level " << r.level << '\n'
        << "fallInterval " << r.fallInterval << '\n'
        << "previewCount " << r.previewCount << '\n'
        << "locks";
    for (int rows = 0; rows <= kMostRowsAtOnce; ++rows)
        out << ' ' << rows << ':' << r.locks[rows];
    out << '\n'
        << "stoppedByPlayer " << (r.stoppedByPlayer ? 1 : 0) << '\n'
        << "stopState " << r.stopState << '\n'
        << "piece " << r.pieceType << " at " << r.pieceX << ',' << r.pieceY << '\n'
        << "hiddenCells " << r.hiddenCells << '\n'
        << "endMs " << r.endMs << '\n'
        << "unplayedEvents " << r.unplayedEvents << '\n';
    for (const auto& l : r.levels)
        out << "reached " << l.level << " piece " << l.piece << " ms " << l.ms << " fallInterval "
            << l.fallInterval << " previewCount " << l.previewCount << '\n';
    out << "board\n";
    for (const auto& row : r.board)
        out << row << '\n';
    return out.str();
}

// ---- The rig --------------------------------------------------------------------

struct Rig::Parts {
    explicit Parts(uint32_t seed) : random(seed) {}
    BlindScreen screen;
    RecordingScoreboard scoreboard;
    HookedSound sound;
    FakeClock clock;
    SeededRandom random;
    Game game{screen, scoreboard, sound, clock, random};
    ScriptedWindow window{clock};
    GameFlow flow{game, clock, sound, window};
    int scheduled = 0;
    int played = 0;
};

Rig::Rig(uint32_t seed) : parts_(std::make_unique<Parts>(seed))
{
    startTick_ = parts_->clock.now;
    parts_->sound.played = [this](int16_t id) { soundPlayed(id); };
    parts_->window.onPump = [this] { afterPump(); };
    parts_->window.onDeadlock = [this] { fail("paused with no event left to resume the game"); };
}

Rig::~Rig() = default;

uint32_t Rig::elapsedMs() const { return parts_->clock.now - startTick_; }
int Rig::piecesDealt() const { return 1 + spawns_; }
GameState& Rig::state() { return parts_->game.state; }
GameFlow& Rig::flow() { return parts_->flow; }

void Rig::at(uint32_t ms, std::function<void()> action)
{
    const uint32_t now = elapsedMs();
    lastEventMs_ = std::max(lastEventMs_, ms);
    parts_->window.at(ms > now ? ms - now : 0, std::move(action));
}

void Rig::schedule(const Event& event)
{
    ++parts_->scheduled;
    at(event.ms, [this, command = event.command] {
        ++parts_->played;
        press(command);
    });
}

void Rig::press(Command command)
{
    Perform(parts_->flow, command);
}

void Rig::fail(const std::string& message)
{
    if (error_.empty())
        error_ = message;
    parts_->flow.Abandon();
}

// Every piece after the first is announced by its sound; the lines counted
// since the previous piece tell how many rows the lock before it completed.
void Rig::soundPlayed(int16_t id)
{
    if (id == kSoundRowsDone)
        ++rowSounds_;
    if (id != kSoundNewPiece)
        return;
    ++spawns_;
    const int rows = state().lines - linesAtLastDeal_;
    linesAtLastDeal_ = state().lines;
    if (rows < 0 || rows > kMostRowsAtOnce) {
        fail("a lock changed the lines by " + std::to_string(rows));
        return;
    }
    ++locks_[rows];
    noteLevel();
    if (onNewPiece)
        onNewPiece();
}

// Levels are seen as the pieces are dealt: the first pass of the game loop
// sees the first piece.
void Rig::noteLevel()
{
    const GameState& s = state();
    if (levels_.empty() || levels_.back().level != s.level)
        levels_.push_back({s.level, piecesDealt(), elapsedMs(), s.fallInterval, s.previewCount});
}

void Rig::afterPump()
{
    if (levels_.empty())
        noteLevel();
    if (elapsedMs() > lastEventMs_ + kRunawayMs)
        fail("still running two hours after the last event");
}

Result Rig::run()
{
    parts_->flow.mnuStart_Click();
    const GameState& s = state();
    Result r;
    r.pieces = piecesDealt();
    r.score = s.score;
    r.lines = s.lines;
    r.level = s.level;
    r.fallInterval = s.fallInterval;
    r.previewCount = s.previewCount;
    r.locks = locks_;
    r.stoppedByPlayer = s.stoppedByPlayer;
    r.stopState = s.stopState;
    r.pieceType = s.pieceType;
    r.pieceX = s.pieceX;
    r.pieceY = s.pieceY;
    r.endMs = elapsedMs();
    r.unplayedEvents = parts_->scheduled - parts_->played;
    r.levels = levels_;
    for (int row = 0; row < kTopRow; ++row)
        for (int c = kFirstColumn; c <= kLastColumn; ++c)
            r.hiddenCells += s.board(c, row) != 0;
    for (int row = kTopRow; row <= kBottomRow; ++row) {
        std::string text;
        for (int c = kFirstColumn; c <= kLastColumn; ++c)
            text += cellChar(s.board(c, row));
        r.board.push_back(text);
    }

    const int rowLocks = locks_[1] + locks_[2] + locks_[3] + locks_[4];
    const auto& shown = parts_->scoreboard;
    if (!error_.empty())
        r.error = error_;
    else if (s.gameRunning)
        r.error = "the game did not end";
    else if (rowLocks != rowSounds_)
        r.error = std::to_string(rowLocks) + " locks completed rows but the rows sound played "
            + std::to_string(rowSounds_) + " times";
    else if (shown.score != s.score || shown.lines != s.lines || shown.level != s.level)
        r.error = "the scoreboard shows " + std::to_string(shown.score) + "/" + std::to_string(shown.lines)
            + "/" + std::to_string(shown.level) + " for score/lines/level";
    return r;
}

Result Play(const Script& script)
{
    Rig rig(script.seed);
    for (const auto& event : script.events)
        rig.schedule(event);
    return rig.run();
}

} // namespace quadix::replay
