// quadix_bench: measures the game loop and the main window, one measurement
// per process, so that every figure starts from a fresh program.
//
//   quadix_bench <mode> [--loop waiting|busy] [--interval ms] [--seconds s] [--samples n]
//
// Modes (each prints one line starting with "result", as key=value pairs):
//   cpu-play     CPU share of one core while a game runs, and VmRSS at its end
//   cpu-paused   CPU share while the game is paused
//   cpu-idle     CPU share between games (no game loop runs, only the event loop)
//   cadence      gaps between gravity steps: min, median, max
//   latency      key press posted to the playfield -> its step is on the screen
//   startup      CLOCK_REALTIME when the first painting of the window has completed
//   flash        a lock that completes rows, seen from a second X connection:
//                how long each of the flash's 40 colours stayed on the screen;
//                with SDL_AUDIODRIVER=disk, whether the row sound was heard
//                whole before the next piece's sound
//   sound-latency  [--state closed|open|cut] effects against their pictures:
//                the game paused and resumed again and again, each picture's
//                moment taken from the X server's damage reports, each
//                effect's from a recording of the sound server's sink
//
// Two loops are compared:
//   waiting  the game as it ships: FrmGame with its own clock, generator and
//            event pump, which sleeps in the event loop until something is due;
//   busy     the same window with a pump that never waits and only runs
//            QCoreApplication::processEvents(), so the loop spins without a
//            pause between gravity steps, also while paused.
// Both use a records file in a temporary folder, so the player's records are
// never read or written.
#include <QApplication>
#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QKeyEvent>
#include <QTemporaryDir>
#include <QTimer>
#include <QWindow>

#include <algorithm>
#include <cmath>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <fstream>
#include <functional>
#include <memory>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "Clocks.h"
#include "PictureDamage.h"
#include "ScreenSampler.h"
#include "SoundRecorder.h"
#include "game/Catalogue.h"
#include "game/SystemPorts.h"
#include "sound/SoundEffects.h"
#include "ui/FrmGame.h"
#include "ui/PictureBox.h"
#include "ui/WindowSystem.h"

namespace {

using namespace quadix;
using namespace quadix::bench;

long residentKb()
{
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line)) {
        if (line.rfind("VmRSS:", 0) == 0)
            return std::strtol(line.c_str() + 6, nullptr, 10);
    }
    return -1;
}

// The calling thread's time on a core and time spent ready to run but kept
// waiting for one, in ns. Their sum is the share of a core the thread asked
// for: on a busy machine a spinning loop gets less than it wants.
struct SchedTimes {
    int64_t running = 0;
    int64_t queued = 0;
};

SchedTimes threadSchedTimes()
{
    SchedTimes t;
    std::ifstream stat("/proc/thread-self/schedstat");
    long long running = 0, queued = 0;
    if (stat >> running >> queued) {
        t.running = running;
        t.queued = queued;
    }
    return t;
}

// CPU use over a span: the whole process (every thread, kernel time
// included), how much of a core the main thread wanted, and the X server's
// and the sound server's CPU over the same span (the drawing and the mixing
// the game asks of them).
class CpuSpan {
public:
    // The X server's figures are read outside the game's own span: reading
    // them costs the game a little time of its own.
    void start()
    {
        x0_ = XServerCpuNs();
        sound0_ = SoundServerCpuNs();
        sched0_ = threadSchedTimes();
        cpu0_ = processCpuNs();
        wall0_ = monotonicNs();
    }
    void stop()
    {
        wall_ = monotonicNs() - wall0_;
        cpu_ = processCpuNs() - cpu0_;
        const SchedTimes sched = threadSchedTimes();
        wanted_ = (sched.running - sched0_.running) + (sched.queued - sched0_.queued);
        const int64_t x1 = XServerCpuNs();
        x_ = x0_ >= 0 && x1 >= 0 ? x1 - x0_ : -1;
        const int64_t sound1 = SoundServerCpuNs();
        sound_ = sound0_ >= 0 && sound1 >= 0 ? sound1 - sound0_ : -1;
    }
    double seconds() const { return wall_ / 1e9; }
    double cpuPercent() const { return 100.0 * cpu_ / wall_; }
    double wantedPercent() const { return 100.0 * wanted_ / wall_; }
    // The X server's share, or -1 when it could not be read.
    double xServerPercent() const { return x_ < 0 ? -1.0 : 100.0 * x_ / wall_; }
    double soundServerPercent() const { return sound_ < 0 ? -1.0 : 100.0 * sound_ / wall_; }

private:
    int64_t cpu0_ = 0, wall0_ = 0, x0_ = -1, sound0_ = -1;
    SchedTimes sched0_;
    int64_t cpu_ = 0, wall_ = 1, wanted_ = 0, x_ = -1, sound_ = -1;
};

struct Options {
    std::string mode;
    bool busy = false;
    int interval = 25;
    double seconds = 5.0;
    int samples = 50;
    std::string state = "closed";
};

struct Stats {
    double min = 0, median = 0, max = 0;
    size_t count = 0;
};

Stats statsOf(std::vector<double> values)
{
    Stats s;
    s.count = values.size();
    if (values.empty())
        return s;
    std::sort(values.begin(), values.end());
    s.min = values.front();
    s.max = values.back();
    const size_t n = values.size();
    s.median = n % 2 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
    return s;
}

// Every event goes through notify(): the benchmark looks at it before and
// after it is handled, without changing how it is handled.
class BenchApplication : public QApplication {
public:
    using QApplication::QApplication;

    bool notify(QObject* receiver, QEvent* event) override
    {
        if (before)
            before(receiver, event);
        ++depth_;
        const bool result = QApplication::notify(receiver, event);
        --depth_;
        if (after)
            after(receiver, event, depth_);
        return result;
    }

    std::function<void(QObject*, QEvent*)> before;
    // depth: how many deliveries are still under way around this one.
    std::function<void(QObject*, QEvent*, int depth)> after;

private:
    int depth_ = 0;
};

// The system clock, watched. A gravity step ends by reading the clock into
// lastTick; the next reading (the loop works out its wait, or starts its next
// pass) sees lastTick changed and stamps the step with the time of the
// reading before it, the one that became lastTick. So a step is stamped when
// it ended, even if the thread lost its core just after it. The readings
// themselves are the real clock's, untouched.
class StepStampingClock : public Clock {
public:
    uint32_t TickCount() override
    {
        const uint32_t now = real_.TickCount();
        const int64_t at = monotonicNs();
        if (state != nullptr && recording && state->lastTick != seenLastTick) {
            seenLastTick = state->lastTick;
            const bool previousWasTheStep = static_cast<uint32_t>(state->lastTick) == previousReading_;
            steps.push_back(previousWasTheStep ? previousAt_ : at);
        }
        previousReading_ = now;
        previousAt_ = at;
        return now;
    }
    void SleepUntil(uint32_t tick) override { real_.SleepUntil(tick); }

    const GameState* state = nullptr;
    bool recording = false;
    int32_t seenLastTick = 0;
    std::vector<int64_t> steps;

private:
    SystemClock real_;
    uint32_t previousReading_ = 0;
    int64_t previousAt_ = 0;
};

// A measurement ends either when its time is up or when its game does,
// whichever comes first; it is reported once. Copies share the one flag.
std::function<void()> once(std::function<void()> f)
{
    auto done = std::make_shared<bool>(false);
    return [f = std::move(f), done] {
        if (*done)
            return;
        *done = true;
        f();
    };
}

void busyPump(int)
{
    QCoreApplication::processEvents(QEventLoop::AllEvents);
}

// Shows the window and waits until the X server has mapped and exposed it.
bool showAndWaitExposed(FrmGame& window)
{
    window.show();
    QElapsedTimer waited;
    waited.start();
    while (waited.elapsed() < 5000) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        if (window.windowHandle() && window.windowHandle()->isExposed())
            return true;
    }
    return false;
}

const char* loopName(const Options& o) { return o.busy ? "busy" : "waiting"; }

void preciseSingleShot(int ms, const std::function<void()>& f)
{
    QTimer::singleShot(ms, Qt::PreciseTimer, qApp, f);
}

// Starts a game on the next turn of the event loop. The game runs inside
// that call, as it does from the menu; when it returns, afterGame runs and
// the program's event loop ends.
void startGame(FrmGame& window, const Options& o, const std::function<void()>& afterGame)
{
    QTimer::singleShot(0, qApp, [&window, o, afterGame] {
        if (o.interval != 25) {
            // Runs on the game loop's first pass, right after the new game
            // has set its own interval.
            QTimer::singleShot(0, qApp, [&window, o] { window.game().state.fallInterval = o.interval; });
        }
        window.flow().mnuStart_Click();
        afterGame();
        QCoreApplication::exit(0);
    });
}

void stopGame(FrmGame& window)
{
    if (window.game().state.gameRunning)
        window.flow().mnuStart_Click();
}

// ---- The measurements ---------------------------------------------------------

int cpuPlay(BenchApplication& app, FrmGame& window, const Options& o)
{
    CpuSpan span;
    auto finish = once([&] {
        span.stop();
        std::printf("result mode=cpu-play loop=%s interval=%d seconds=%.2f cpu_pct=%.2f wanted_pct=%.2f "
                    "xserver_pct=%.2f soundserver_pct=%.2f rss_kb=%ld running=%d\n",
                    loopName(o), o.interval, span.seconds(), span.cpuPercent(), span.wantedPercent(),
                    span.xServerPercent(), span.soundServerPercent(), residentKb(),
                    window.game().state.gameRunning ? 1 : 0);
        stopGame(window);
    });
    // The measured span starts with the game.
    QTimer::singleShot(0, qApp, [&] {
        span.start();
        preciseSingleShot(static_cast<int>(o.seconds * 1000), finish);
    });
    startGame(window, o, finish);
    return app.exec();
}

// How long after the pause the paused game is measured, as the table says:
// well after the pause sound (1.03 s) has been heard and its device closed,
// whatever the device's idle time, so that only the waiting game is measured.
constexpr int kPauseSettledMs = 2500;

int cpuPaused(BenchApplication& app, FrmGame& window, const Options& o)
{
    CpuSpan span;
    auto finish = once([&] {
        span.stop();
        std::printf("result mode=cpu-paused loop=%s seconds=%.2f cpu_pct=%.2f wanted_pct=%.2f xserver_pct=%.2f "
                    "soundserver_pct=%.2f paused=%d\n",
                    loopName(o), span.seconds(), span.cpuPercent(), span.wantedPercent(), span.xServerPercent(),
                    span.soundServerPercent(), window.game().state.paused ? 1 : 0);
        stopGame(window);
    });
    startGame(window, o, finish);
    preciseSingleShot(300, [&] { window.flow().mnuPause_Click(); });
    // From then on the game only waits.
    preciseSingleShot(300 + kPauseSettledMs, [&] {
        span.start();
        preciseSingleShot(static_cast<int>(o.seconds * 1000), finish);
    });
    return app.exec();
}

int cpuIdle(BenchApplication& app, const Options& o)
{
    CpuSpan span;
    preciseSingleShot(500, [&] {
        span.start();
        preciseSingleShot(static_cast<int>(o.seconds * 1000), [&] {
            span.stop();
            std::printf("result mode=cpu-idle loop=%s seconds=%.2f cpu_pct=%.2f wanted_pct=%.2f xserver_pct=%.2f "
                        "soundserver_pct=%.2f\n",
                        loopName(o), span.seconds(), span.cpuPercent(), span.wantedPercent(), span.xServerPercent(),
                        span.soundServerPercent());
            QCoreApplication::exit(0);
        });
    });
    return app.exec();
}

int cadence(BenchApplication& app, FrmGame& window, StepStampingClock& clock, const Options& o)
{
    clock.state = &window.game().state;
    auto finish = once([&] {
        clock.recording = false;
        std::vector<double> gaps;
        for (size_t i = 1; i < clock.steps.size(); ++i)
            gaps.push_back((clock.steps[i] - clock.steps[i - 1]) / 1e6);
        const Stats s = statsOf(gaps);
        std::printf("result mode=cadence loop=%s interval=%d gaps=%zu min_ms=%.2f median_ms=%.2f max_ms=%.2f "
                    "running=%d\n",
                    loopName(o), o.interval, s.count, s.min, s.median, s.max,
                    window.game().state.gameRunning ? 1 : 0);
        stopGame(window);
    });
    startGame(window, o, finish);
    // Skip the first steps of the game; then every step is stamped.
    preciseSingleShot(300, [&] {
        clock.seenLastTick = window.game().state.lastTick;
        clock.recording = true;
        preciseSingleShot(static_cast<int>(o.seconds * 1000), finish);
    });
    return app.exec();
}

// A second thread posts a Left or Right key press to the playfield at random
// moments, as input coming from outside the game loop would arrive. The
// sample ends when the playfield's refresh for the key, which the key's own
// handler makes, has handed the step to the window system. Keys alternate,
// so the piece wobbles about the middle and every key moves it; a sample
// whose key did not move the piece is counted apart.
int latency(BenchApplication& app, FrmGame& window, const Options& o)
{
    QWidget* field = window.picQuadixField;
    std::atomic<bool> pending{false};
    std::atomic<int64_t> postedAt{0};
    std::atomic<bool> stopPosting{false};
    bool keyDelivered = false;
    int16_t xBefore = 0;
    std::vector<double> moved;
    int unmoved = 0;

    app.before = [&](QObject* receiver, QEvent* event) {
        if (receiver == field && event->type() == QEvent::KeyPress && pending.load() && !keyDelivered) {
            keyDelivered = true;
            xBefore = window.game().state.pieceX;
        }
    };
    // The sample ends when the playfield's refresh for the key has put the
    // step on the screen.
    BlockRenderer& renderer = window.renderer();
    const auto present = renderer.onFieldRefresh;
    renderer.onFieldRefresh = [&, present](const QRect& changed) {
        present(changed);
        if (!keyDelivered)
            return;
        const double ms = (monotonicNs() - postedAt.load()) / 1e6;
        if (window.game().state.pieceX != xBefore)
            moved.push_back(ms);
        else
            ++unmoved;
        keyDelivered = false;
        pending.store(false);
    };

    auto finish = once([&] {
        stopPosting.store(true);
        const Stats s = statsOf(moved);
        std::printf("result mode=latency loop=%s interval=%d samples=%zu unmoved=%d min_ms=%.3f median_ms=%.3f "
                    "max_ms=%.3f running=%d\n",
                    loopName(o), o.interval, s.count, unmoved, s.min, s.median, s.max,
                    window.game().state.gameRunning ? 1 : 0);
        stopGame(window);
    });

    std::thread poster;
    preciseSingleShot(300, [&] {
        poster = std::thread([&] {
            std::mt19937 rng(12345);
            std::uniform_int_distribution<int> pauseUs(30000, 100000);
            bool left = true;
            for (int i = 0; i < o.samples && !stopPosting.load(); ++i) {
                std::this_thread::sleep_for(std::chrono::microseconds(pauseUs(rng)));
                // The previous sample must be over before the next key goes out.
                while (pending.load() && !stopPosting.load())
                    std::this_thread::sleep_for(std::chrono::milliseconds(1));
                if (stopPosting.load())
                    break;
                auto* key = new QKeyEvent(QEvent::KeyPress, left ? Qt::Key_Left : Qt::Key_Right, Qt::NoModifier);
                left = !left;
                postedAt.store(monotonicNs());
                pending.store(true);
                QCoreApplication::postEvent(field, key);
            }
            while (pending.load() && !stopPosting.load())
                std::this_thread::sleep_for(std::chrono::milliseconds(1));
            QMetaObject::invokeMethod(qApp, [&] { finish(); }, Qt::QueuedConnection);
        });
    });
    startGame(window, o, finish);
    // Whatever happens, do not wait for ever.
    preciseSingleShot(30000, finish);
    const int rc = app.exec();
    stopPosting.store(true);
    if (poster.joinable())
        poster.join();
    app.before = nullptr;
    renderer.onFieldRefresh = present;
    return rc;
}

int startup(BenchApplication& app, FrmGame& window, int64_t mainEnteredNs)
{
    bool painted = false;
    bool stamped = false;
    // The stamp is taken when the outermost delivery during which a part of
    // the window was painted has returned: by then the whole window has been
    // painted and handed to the X server.
    app.after = [&](QObject* receiver, QEvent* event, int depth) {
        if (stamped)
            return;
        if (event->type() == QEvent::Paint) {
            auto* widget = qobject_cast<QWidget*>(receiver);
            if (widget && widget->window() == &window)
                painted = true;
        }
        if (painted && depth == 0) {
            stamped = true;
            std::printf("result mode=startup main_realtime_ns=%lld painted_realtime_ns=%lld\n",
                        static_cast<long long>(mainEnteredNs), static_cast<long long>(realtimeNs()));
            std::fflush(stdout);
            QTimer::singleShot(0, qApp, [] { QCoreApplication::exit(0); });
        }
    };
    window.show();
    preciseSingleShot(10000, [] { QCoreApplication::exit(1); });
    const int rc = app.exec();
    app.after = nullptr;
    return rc;
}


// The top face colour of block tiles 1..8: the flash's colours, in order.
constexpr uint32_t kTopFaces[9] = {0x000000, 0xA0DFEF, 0xF0CFCF, 0xBFA0DF, 0xF0F7A0,
                                   0xF0DFAF, 0xF0AF6F, 0x7FF77F, 0xEFEFEF};

// Where the row sound and the next piece's sound are in what SDL's disk
// driver wrote, at rate: the row sound must be there whole, the piece's
// after it.
void reportSounds(const QByteArray& heardPath, int rate)
{
    QFile file(QString::fromLocal8Bit(heardPath));
    if (heardPath.isEmpty() || rate <= 0 || !file.open(QIODevice::ReadOnly)) {
        std::printf(" row_sound_whole=n/a");
        return;
    }
    const QByteArray heard = file.readAll();
    const QByteArray row = SoundEffects::DecodeEffect(2, rate);
    const QByteArray piece = SoundEffects::DecodeEffect(1, rate).left(rate / 4);
    const qsizetype rowAt = heard.indexOf(row);
    const qsizetype pieceAt = heard.indexOf(piece, rowAt < 0 ? 0 : rowAt);
    const double msPerByte = 1000.0 / rate / 2;
    std::printf(" row_sound_whole=%d row_sound_ms=%.0f", rowAt >= 0 ? 1 : 0, row.size() * msPerByte);
    if (rowAt >= 0 && pieceAt >= 0)
        std::printf(" silence_before_piece_sound_ms=%.0f", (pieceAt - rowAt - row.size()) * msPerByte);
}

// Puts the first piece at the bottom of the well, fills the rest of its rows
// with violet blocks, and steps it down: the lock completes every row it is in.
void completeRowsUnderThePiece(FrmGame& window)
{
    Game& game = window.game();
    GameState& s = game.state;
    int lowest = 0;
    for (int i = 0; i <= s.lastBlock[s.pieceType]; ++i)
        lowest = std::max<int>(lowest, s.pieceDY[i]);
    game.PutCommand();
    s.pieceY = static_cast<int16_t>(kBottomRow - lowest);
    s.fallPixel = 14;
    for (int i = 0; i <= s.lastBlock[s.pieceType]; ++i) {
        const int row = s.pieceY + s.pieceDY[i];
        for (int c = kFirstColumn; c <= kLastColumn; ++c) {
            bool piece = false;
            for (int j = 0; j <= s.lastBlock[s.pieceType]; ++j)
                piece = piece || (s.pieceX + s.pieceDX[j] == c && s.pieceY + s.pieceDY[j] == row);
            if (!piece && s.board(c, row) == 0) {
                s.board(c, row) = 3;
                ++s.rowFill[row];
            }
        }
    }
    game.DrawAllBlocks();
    game.DrawPiece();
}

int flash(BenchApplication& app, FrmGame& window)
{
    // The first column of the bottom row, a few pixels into its top face.
    const QPoint cell = window.picQuadixField->mapToGlobal(
        window.picQuadixField->clientRect().topLeft() + QPoint(7, (kBottomRow - kTopRow) * 14 + 2));
    ScreenSampler sampler(cell.x(), cell.y());
    int64_t lockedAt = 0;
    auto finish = once([&] {
        sampler.stop();
        // The colours after the lock, each with how long it stayed.
        std::vector<std::pair<int, double>> runs;
        const auto& changes = sampler.changes();
        if (qEnvironmentVariableIsSet("QUADIX_BENCH_VERBOSE"))
            for (const auto& c : changes)
                std::fprintf(stderr, "%06x at %+.2f ms\n", c.rgb, (c.atNs - lockedAt) / 1e6);

        for (size_t i = 0; i < changes.size(); ++i) {
            if (changes[i].atNs < lockedAt)
                continue;
            const int64_t end = i + 1 < changes.size() ? changes[i + 1].atNs : monotonicNs();
            int colour = -1;
            for (int k = 1; k <= 8; ++k)
                colour = changes[i].rgb == kTopFaces[k] ? k : colour;
            runs.push_back({colour, (end - changes[i].atNs) / 1e6});
        }
        // The flash: the longest stretch of runs going 1, 2, ... 8, 1, 2 ...
        size_t first = 0, length = 0;
        for (size_t i = 0; i < runs.size(); ++i) {
            size_t n = 0;
            while (i + n < runs.size() && runs[i + n].first == int(n % 8) + 1)
                ++n;
            if (n > length) {
                first = i;
                length = n;
            }
        }
        std::vector<double> shown;
        double total = 0;
        for (size_t i = first; i < first + length; ++i) {
            shown.push_back(runs[i].second);
            total += runs[i].second;
        }
        const Stats st = statsOf(shown);
        std::printf("result mode=flash frames=%zu samples=%ld min_ms=%.2f median_ms=%.2f max_ms=%.2f last_ms=%.2f "
                    "total_ms=%.1f",
                    length, sampler.samples(), st.min, st.median, st.max, shown.empty() ? 0.0 : shown.back(), total);
        reportSounds(qgetenv("SDL_DISKAUDIOFILE"), window.soundEffects().deviceRate());
        std::printf("\n");
        stopGame(window);
    });
    if (!sampler.start()) {
        std::fprintf(stderr, "quadix_bench: cannot open a second connection to the X server\n");
        return 1;
    }
    // SDL's disk driver starts its file afresh with every device: one device
    // for both sounds.
    window.soundEffects().setIdleCloseMs(1000);
    Options o;
    startGame(window, o, finish);
    // The piece locks by the down key, or by gravity if that comes first.
    preciseSingleShot(100, [&] {
        lockedAt = monotonicNs();
        completeRowsUnderThePiece(window);
        window.flow().picQuadixField_KeyDown(Command::StepDown);
        // The next piece's sound is 0.24 s long: let it reach the disk.
        preciseSingleShot(1200, finish);
    });
    return app.exec();
}

// ---- Effects against their pictures -------------------------------------------

// How long each effect sounds, from its samples at 8000 Hz.
double effectSeconds(int id)
{
    return SoundEffects::DecodeEffect(id).size() / 2 / 8000.0;
}

// The first 15 ms of an effect as the sink hears it: 8000 Hz taken up to the
// recorder's rate by straight lines, close enough to find it by correlation.
std::vector<float> effectHead(int id)
{
    const QByteArray pcm = SoundEffects::DecodeEffect(id);
    const auto* s = reinterpret_cast<const int16_t*>(pcm.constData());
    const int factor = SoundRecorder::kRate / 8000;
    std::vector<float> head;
    for (int i = 0; i + 1 < pcm.size() / 2 && head.size() < size_t(SoundRecorder::kRate * 15 / 1000); ++i)
        for (int k = 0; k < factor; ++k)
            head.push_back(s[i] + (s[i + 1] - s[i]) * float(k) / factor);
    return head;
}

// Where in heard[from, to) the head matches best, and how well (normalised
// correlation, 1 for a perfect match). The previous effect, still playing
// when a new one cuts it off, is another tune and matches poorly.
std::pair<size_t, double> bestMatch(const std::vector<int16_t>& heard, const std::vector<float>& head, size_t from,
                                    size_t to)
{
    double headNorm = 0;
    for (float v : head)
        headNorm += double(v) * v;
    std::pair<size_t, double> best{0, 0.0};
    for (size_t at = from; at + head.size() <= std::min(to, heard.size()); ++at) {
        double dot = 0, norm = 0;
        for (size_t i = 0; i < head.size(); ++i) {
            dot += head[i] * heard[at + i];
            norm += double(heard[at + i]) * heard[at + i];
        }
        const double score = norm > 0 ? dot / std::sqrt(headNorm * norm) : 0.0;
        if (score > best.second)
            best = {at, score};
    }
    return best;
}

// What the player was hearing when an effect was asked for, by the time
// since the effect before it was asked for and how long that one sounds.
const char* situation(int64_t askedNs, int64_t previousNs, int previousId)
{
    const double since = (askedNs - previousNs) / 1e9;
    const double previousLasts = effectSeconds(previousId);
    if (since < previousLasts)
        return "cut";
    if (since < previousLasts + 1.0)
        return "open";
    if (since > previousLasts + 2.0)
        return "closed";
    return "between";
}

// The game is paused and resumed again and again, the moments chosen so
// that the pause and start sounds come in the situation asked for: more than
// 2 s after the last effect ended ("closed": the sound device had time to
// close), within a second of its end ("open") or while it still plays
// ("cut"). Every effect the game asks for is noted, the pieces' too, so a
// piece landing in between changes the situation of the next one. Each
// picture is taken from the X server's first report of drawing in the
// playfield after the game handed the step over; each sound from the
// recording, where the effect's first 15 ms match best.
struct AskedEffect {
    int id = 0;
    int64_t atNs = 0;
    int64_t drawnNs = 0;   // the last playfield refresh before it
    const char* situation = "";
};

// The pause and start sounds the toggles asked for, in the situation wanted.
bool measuredEffect(const AskedEffect& a, const Options& o)
{
    return (a.id == 4 || a.id == 6) && o.state == a.situation;
}

// Each measured effect found in the recording after its picture.
void reportLatencies(const std::vector<AskedEffect>& asked, const PictureDamage& damage,
                     const SoundRecorder& recorder, const Options& o)
{
    const bool verbose = qEnvironmentVariableIsSet("QUADIX_BENCH_VERBOSE");
    std::vector<double> late;
    int missed = 0;
    for (const AskedEffect& a : asked) {
        if (!measuredEffect(a, o))
            continue;
        const int64_t picture = damage.firstReportFrom(a.drawnNs);
        const auto [at, score] = bestMatch(recorder.samples(), effectHead(a.id),
                                           recorder.indexHeardAt(picture - 20000000),
                                           recorder.indexHeardAt(picture + 500000000));
        if (picture < 0 || score < 0.8) {
            if (verbose)
                std::fprintf(stderr, "effect %d %s: not found (picture %s, match %.2f)\n", a.id, a.situation,
                             picture < 0 ? "none" : "seen", score);
            ++missed;
            continue;
        }
        late.push_back((recorder.heardAtNs(at) - picture) / 1e6);
        if (verbose)
            std::fprintf(stderr, "effect %d %s: %.1f ms (match %.2f; picture %.1f ms after the request)\n", a.id,
                         a.situation, late.back(), score, (picture - a.atNs) / 1e6);
    }
    const Stats st = statsOf(late);
    std::printf("result mode=sound-latency state=%s interval=%d samples=%zu missed=%d min_ms=%.1f median_ms=%.1f "
                "max_ms=%.1f\n",
                o.state.c_str(), o.interval, st.count, missed, st.min, st.median, st.max);
}

int soundLatency(BenchApplication& app, FrmGame& window, const Options& o)
{
    std::vector<AskedEffect> asked;
    int64_t lastRefreshNs = 0;
    BlockRenderer& renderer = window.renderer();
    const auto present = renderer.onFieldRefresh;
    renderer.onFieldRefresh = [&, present](const QRect& changed) {
        if (!changed.isEmpty())
            lastRefreshNs = monotonicNs();
        present(changed);
    };
    window.soundEffects().onStarted = [&](int id) {
        const int64_t now = monotonicNs();
        const char* what = asked.empty() ? "first" : situation(now, asked.back().atNs, asked.back().id);
        asked.push_back({id, now, lastRefreshNs, what});
    };

    SoundRecorder recorder;
    PictureDamage damage;
    const QRect field(window.picQuadixField->mapTo(&window, window.picQuadixField->clientRect().topLeft()),
                      window.picQuadixField->clientRect().size());
    if (!recorder.start() || !damage.start(window.winId(), field.x(), field.y(), field.width(), field.height())) {
        std::fprintf(stderr, "quadix_bench: no sound server to record, or no damage reports from the X server\n");
        return 1;
    }

    // Gaps between one pause or resume and the next.
    std::vector<int> gapsMs;
    const int toggleLasts = int(effectSeconds(4) * 1000);
    if (o.state == "closed")
        gapsMs = {toggleLasts + 2300, 1300};   // a long pause, then the resume is measured
    else if (o.state == "open")
        gapsMs = {toggleLasts + 300};
    else
        gapsMs = {300};

    auto wanted = [&] {
        return std::count_if(asked.begin(), asked.end(), [&](const AskedEffect& a) { return measuredEffect(a, o); });
    };
    size_t next = 0;
    std::function<void()> toggle = [&] {
        if (!window.game().state.gameRunning || wanted() >= o.samples) {
            preciseSingleShot(600, [&] { stopGame(window); });
            return;
        }
        // Each resume starts from a well that is empty but for every other
        // cell of the bottom row: the game never ends, and the resume always
        // has something to show.
        if (window.game().state.paused) {
            GameState& s = window.game().state;
            s.board.clear();
            s.rowFill.clear();
            BuildWalls(s);
            for (int c = kFirstColumn; c <= kLastColumn; c += 2)
                s.board(c, kBottomRow) = 3;
            s.rowFill[kBottomRow] = (kLastColumn - kFirstColumn + 2) / 2;
        }
        window.flow().mnuPause_Click();
        preciseSingleShot(gapsMs[next++ % gapsMs.size()], toggle);
    };
    startGame(window, o, [] {});
    // The recording is dated from its second second on.
    preciseSingleShot(2500, toggle);
    preciseSingleShot(600000, [&] { stopGame(window); });
    const int rc = app.exec();
    damage.stop();
    recorder.stop();
    renderer.onFieldRefresh = present;
    window.soundEffects().onStarted = nullptr;

    reportLatencies(asked, damage, recorder, o);
    return rc;
}

int usage()
{
    std::fprintf(stderr,
                 "usage: quadix_bench cpu-play|cpu-paused|cpu-idle|cadence|latency|startup|flash|sound-latency\n"
                 "       [--loop waiting|busy] [--interval ms] [--seconds s] [--samples n]\n"
                 "       [--state closed|open|cut]\n");
    return 2;
}

} // namespace

int main(int argc, char* argv[])
{
    const int64_t mainEnteredNs = realtimeNs();

    Options o;
    if (argc < 2)
        return usage();
    o.mode = argv[1];
    for (int i = 2; i + 1 < argc; i += 2) {
        const std::string key = argv[i];
        const char* value = argv[i + 1];
        if (key == "--loop")
            o.busy = std::strcmp(value, "busy") == 0;
        else if (key == "--interval")
            o.interval = std::atoi(value);
        else if (key == "--seconds")
            o.seconds = std::atof(value);
        else if (key == "--samples")
            o.samples = std::atoi(value);
        else if (key == "--state")
            o.state = value;
        else
            return usage();
    }

    PrepareWindowSystem();
    BenchApplication app(argc, argv);
    QTemporaryDir recordsDir;
    StepStampingClock stampingClock;

    GamePorts ports;
    const QString records = recordsDir.filePath(QStringLiteral("records.dat"));
    ports.scoreFile = ScoreFilePaths{records, records};
    if (o.busy)
        ports.pump = busyPump;
    if (o.mode == "cadence")
        ports.clock = &stampingClock;

    FrmGame window(ports);
    int rc = 0;
    if (o.mode == "startup") {
        rc = startup(app, window, mainEnteredNs);
    } else {
        if (!showAndWaitExposed(window)) {
            std::fprintf(stderr, "quadix_bench: the window was never exposed\n");
            return 1;
        }
        if (o.mode == "cpu-play")
            rc = cpuPlay(app, window, o);
        else if (o.mode == "cpu-paused")
            rc = cpuPaused(app, window, o);
        else if (o.mode == "cpu-idle")
            rc = cpuIdle(app, o);
        else if (o.mode == "cadence")
            rc = cadence(app, window, stampingClock, o);
        else if (o.mode == "latency")
            rc = latency(app, window, o);
        else if (o.mode == "flash")
            rc = flash(app, window);
        else if (o.mode == "sound-latency")
            rc = soundLatency(app, window, o);
        else
            return usage();
    }
    std::fflush(stdout);
    return rc;
}
