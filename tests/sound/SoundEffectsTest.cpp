// The embedded effects and the player. The player tests run on SDL's
// dummy driver, which opens a device and consumes the queue in real time;
// those of the sound server start a PulseAudio server of their own.
#include <QtEndian>
#include <QtTest>
#include <climits>
#include <future>
#include <optional>
#include <fcntl.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>
#include <thread>

#include <SDL.h>

#include "sound/SoundEffects.h"
#include "support/BoardText.h"
#include "support/FakeSdlAudio.h"
#include "support/ModelFakes.h"

using quadix::LoadEffect;
using quadix::SoundEffects;
using quadix::test::FakeSdlAudio;

namespace {

// Sample count of each effect; the game's timing was set against these.
constexpr int kSamples[7] = {0, 1955, 4184, 11176, 8215, 6717, 8215};

// The body of the first RIFF chunk called id, or a null array.
QByteArray Chunk(const QByteArray& wav, const char* id)
{
    for (qsizetype at = 12; at + 8 <= wav.size();) {
        const quint32 size = qFromLittleEndian<quint32>(wav.constData() + at + 4);
        if (wav.mid(at, 4) == id)
            return wav.mid(at + 8, size);
        at += 8 + size + (size & 1);
    }
    return {};
}

quint16 U16(const QByteArray& b, int at) { return qFromLittleEndian<quint16>(b.constData() + at); }
quint32 U32(const QByteArray& b, int at) { return qFromLittleEndian<quint32>(b.constData() + at); }

int SampleCount(const QByteArray& pcm) { return int(pcm.size() / 2); }

// Zero crossings per second between two fractions of the effect: a rough
// pitch, good enough to tell a rising tune from a falling one.
double Pitch(const QByteArray& pcm, double from, double to)
{
    const auto* s = reinterpret_cast<const int16_t*>(pcm.constData());
    const int first = int(SampleCount(pcm) * from);
    const int last = int(SampleCount(pcm) * to);
    int crossings = 0;
    for (int i = first + 1; i < last; ++i)
        crossings += (s[i - 1] < 0) != (s[i] < 0);
    return crossings * 8000.0 / 2 / (last - first);
}

void EffectIdsTable()
{
    QTest::addColumn<int>("id");
    for (int id = 1; id <= 6; ++id)
        QTest::addRow("effect %d", id) << id;
}

// Restores what the test environment chose (a driver, a device) when a test
// changes it.
struct EnvOverride {
    const char* name;
    std::optional<QByteArray> saved;
    EnvOverride(const char* variable, const QByteArray& value)
        : name(variable), saved(qEnvironmentVariableIsSet(variable) ? std::optional(qgetenv(variable)) : std::nullopt)
    {
        qputenv(name, value);
    }
    ~EnvOverride() { saved ? qputenv(name, *saved) : qunsetenv(name); }
};

// Points the process's stderr at a file while it lives.
class CapturedStderr {
public:
    CapturedStderr()
    {
        if (file_.open()) {
            saved_ = dup(STDERR_FILENO);
            dup2(file_.handle(), STDERR_FILENO);
        }
    }
    ~CapturedStderr() { restore(); }
    QByteArray text()
    {
        restore();
        file_.seek(0);
        return file_.readAll();
    }

private:
    void restore()
    {
        if (saved_ >= 0) {
            dup2(saved_, STDERR_FILENO);
            close(saved_);
            saved_ = -1;
        }
    }
    QTemporaryFile file_;
    int saved_ = -1;
};

// A sound server that takes the game's connection and never answers.
class HungServer {
public:
    HungServer()
    {
        const QByteArray path = QFile::encodeName(dir_.filePath("socket"));
        sockaddr_un address{};
        address.sun_family = AF_UNIX;
        qstrncpy(address.sun_path, path.constData(), sizeof address.sun_path);
        fd_ = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
        if (bind(fd_, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 || listen(fd_, 4) != 0)
            qFatal("no socket for the hung server");
        address_ = "unix:" + path;
    }
    ~HungServer() { close(fd_); }
    QByteArray address() const { return address_; }

private:
    QTemporaryDir dir_;
    int fd_ = -1;
    QByteArray address_;
};

// A PulseAudio server of the test's own whose only output is a pipe (48000
// Hz mono unless told otherwise), read as it plays: the bytes are what the
// player hears. It can be stopped and started again on the same socket, as
// a desktop's server is when it restarts.
class OwnSoundServer {
public:
    explicit OwnSoundServer(int rate = 48000, int channels = 1) : rate_(rate), channels_(channels)
    {
        socket_ = dir_.filePath("socket");
        if (!start())
            return;
        const int fd = open(QFile::encodeName(dir_.filePath("heard")), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
        if (fd < 0)
            return;
        reader_ = std::thread([this, fd] {
            char buffer[4096];
            while (!stop_) {
                pollfd p{fd, POLLIN, 0};
                if (poll(&p, 1, 20) <= 0)
                    continue;
                const ssize_t got = read(fd, buffer, sizeof buffer);
                std::lock_guard lock(mutex_);
                if (got > 0)
                    heard_.append(buffer, got);
            }
            close(fd);
        });
    }
    ~OwnSoundServer()
    {
        stop_ = true;
        if (reader_.joinable())
            reader_.join();
        kill();
    }
    // Starts the server; true once its socket is there.
    bool start()
    {
        const QString pulseaudio = QStandardPaths::findExecutable("pulseaudio");
        if (pulseaudio.isEmpty())
            return false;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("HOME", dir_.path());
        env.insert("XDG_RUNTIME_DIR", dir_.path());
        server_.setProcessEnvironment(env);
        server_.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        server_.start(pulseaudio, {"-n", "--daemonize=no", "--exit-idle-time=-1", "--use-pid-file=no",
                                   "--log-level=error",
                                   QStringLiteral("--load=module-pipe-sink sink_name=heard file=%1 format=s16le "
                                                  "rate=%2 channels=%3 use_system_clock_for_timing=yes")
                                       .arg(dir_.filePath("heard"))
                                       .arg(rate_)
                                       .arg(channels_),
                                   "--load=module-native-protocol-unix auth-anonymous=1 socket=" + socket_});
        for (int i = 0; i < 200 && !QFileInfo::exists(socket_); ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(25));
        return QFileInfo::exists(socket_);
    }
    // Ends the server at once, as a crash would; its socket goes with it.
    void kill()
    {
        server_.kill();
        server_.waitForFinished(3000);
        QFile::remove(socket_);
    }
    bool running() const { return reader_.joinable(); }
    QByteArray address() const { return "unix:" + QFile::encodeName(socket_); }
    // What was heard since the last call.
    QByteArray takeHeard()
    {
        std::lock_guard lock(mutex_);
        return std::exchange(heard_, {});
    }
    // The streams playing in it, as its own tool lists them.
    QStringList streams() const
    {
        QProcess pactl;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("PULSE_SERVER", address());
        pactl.setProcessEnvironment(env);
        pactl.start("pactl", {"list", "short", "sink-inputs"});
        pactl.waitForFinished(5000);
        return QString::fromLocal8Bit(pactl.readAllStandardOutput()).split('\n', Qt::SkipEmptyParts);
    }

private:
    QTemporaryDir dir_;
    const int rate_;
    const int channels_;
    QString socket_;
    QProcess server_;
    std::thread reader_;
    std::atomic<bool> stop_{false};
    std::mutex mutex_;
    QByteArray heard_;
};

// The game's player pointed at the test's own server, SDL loaded and the
// effects decoded, as once the window is shown.
struct PlayerOfServer {
    EnvOverride driver{"SDL_AUDIODRIVER", "pulseaudio"};
    EnvOverride address;
    SoundEffects player;
    explicit PlayerOfServer(const OwnSoundServer& server) : address("PULSE_SERVER", server.address())
    {
        player.warmUp();
        player.settle();
    }
};

// A flat bar drops into the gap of the bottom row and locks there, in a
// game on the real clock that plays into player; the rows it completed.
int PlayLockThatCompletesARow(SoundEffects& player)
{
    using namespace quadix;
    test::RecordingScreen screen;
    test::RecordingScoreboard scoreboard;
    test::ScriptedRandom random;
    random.types = {1, 1, 1, 1, 1, 1};
    SystemClock clock;
    Game game(screen, scoreboard, player, clock, random);
    game.NewGame();
    test::putRows(game.state, {"999....999"}, kBottomRow);
    GameState& s = game.state;
    s.pieceX = s.prevX = 15;
    s.pieceY = s.prevY = kBottomRow;
    s.blocked = 1;
    game.CanMoveDown();
    player.settle();
    return s.lines;
}

} // namespace

class SoundEffectsTest : public QObject {
    Q_OBJECT

private slots:
    void initTestCase()
    {
        // The player tests need a device that always opens.
        qputenv("SDL_AUDIODRIVER", "dummy");
    }

    void embeddedEffectIsMonoAdpcmWithFactChunk_data() { EffectIdsTable(); }
    void embeddedEffectIsMonoAdpcmWithFactChunk()
    {
        QFETCH(int, id);
        const QByteArray wav = LoadEffect(id);
        QCOMPARE(wav.left(4), QByteArray("RIFF"));
        QCOMPARE(wav.mid(8, 4), QByteArray("WAVE"));
        QCOMPARE(qsizetype(U32(wav, 4)) + 8, wav.size());

        const QByteArray fmt = Chunk(wav, "fmt ");
        QVERIFY(fmt.size() >= 50);
        QCOMPARE(U16(fmt, 0), quint16(2));      // Microsoft ADPCM
        QCOMPARE(U16(fmt, 2), quint16(1));      // mono
        QCOMPARE(U32(fmt, 4), quint32(8000));
        QCOMPARE(U32(fmt, 8), quint32(4096));   // 16 blocks a second
        QCOMPARE(U16(fmt, 12), quint16(256));
        QCOMPARE(U16(fmt, 14), quint16(4));
        QCOMPARE(U16(fmt, 18), quint16(500));   // samples per block
        QCOMPARE(U16(fmt, 20), quint16(7));     // the standard coefficient pairs

        const QByteArray fact = Chunk(wav, "fact");
        QCOMPARE(fact.size(), 4);
        QCOMPARE(int(U32(fact, 0)), kSamples[id]);
        const int blocks = (kSamples[id] + 499) / 500;
        QCOMPARE(Chunk(wav, "data").size(), blocks * 256);
    }

    void effectDecodesToItsLength_data() { EffectIdsTable(); }
    void effectDecodesToItsLength()
    {
        QFETCH(int, id);
        const int samples = SampleCount(SoundEffects::DecodeEffect(id));
        QVERIFY2(qAbs(samples - kSamples[id]) <= kSamples[id] / 20,
                 qPrintable(QStringLiteral("%1 samples").arg(samples)));
    }

    // Pause and start have the same length, so only their tunes tell them
    // apart: pause falls, start rises, and the game-over tones fall.
    void effectTuneMovesTheRightWay_data()
    {
        QTest::addColumn<int>("id");
        QTest::addColumn<bool>("rising");
        QTest::newRow("game over falls") << 3 << false;
        QTest::newRow("pause falls") << 4 << false;
        QTest::newRow("start rises") << 6 << true;
    }
    void effectTuneMovesTheRightWay()
    {
        QFETCH(int, id);
        QFETCH(bool, rising);
        const QByteArray pcm = SoundEffects::DecodeEffect(id);
        const double head = Pitch(pcm, 0.0, 0.4);
        const double tail = Pitch(pcm, 0.5, 0.9);
        const double ratio = rising ? tail / head : head / tail;
        QVERIFY2(ratio > 1.25, qPrintable(QStringLiteral("head %1 Hz, tail %2 Hz").arg(head).arg(tail)));
    }

    void pauseAndStartSoundsDiffer()
    {
        const QByteArray pause = SoundEffects::DecodeEffect(4);
        const QByteArray start = SoundEffects::DecodeEffect(6);
        QCOMPARE(pause.size(), start.size());
        QVERIFY(pause != start);
        // Over the first 40 % start sits well below pause.
        QVERIFY(Pitch(pause, 0.0, 0.4) > 1.25 * Pitch(start, 0.0, 0.4));
    }

    // The queue drains in real time, so allow for what the dummy device
    // took between queuing and asking (a loaded machine can lag).
    void playQueuesTheEffectOfThatId_data() { EffectIdsTable(); }
    void playQueuesTheEffectOfThatId()
    {
        QFETCH(int, id);
        SoundEffects player;
        player.PlaySoundEffect(int16_t(id));
        player.settle();
        const auto queued = qsizetype(player.queuedBytes());
        const qsizetype full = SoundEffects::DecodeEffect(id, player.deviceRate()).size();
        QCOMPARE(player.lastPlayed(), id);
        // A fifth of a second of it may have been played.
        QVERIFY2(queued <= full && queued > full - player.deviceRate() * 2 / 5,
                 qPrintable(QStringLiteral("%1 of %2 bytes queued").arg(queued).arg(full)));
    }

    // A lock that completes rows plays 2 and then 1 at once: only the second may remain.
    void newEffectCutsOffTheOldOne()
    {
        SoundEffects player;
        player.PlaySoundEffect(3);
        player.PlaySoundEffect(1);
        player.settle();
        QCOMPARE(player.lastPlayed(), 1);
        const auto queued = qsizetype(player.queuedBytes());
        QVERIFY(queued > 0);
        QVERIFY2(queued <= SoundEffects::DecodeEffect(1, player.deviceRate()).size(),
                 qPrintable(QStringLiteral("%1 bytes queued").arg(queued)));
    }

    void unknownIdPlaysNothingAndLeavesThePlayingEffectAlone_data()
    {
        QTest::addColumn<int>("id");
        QTest::newRow("0") << 0;
        QTest::newRow("7") << 7;
        QTest::newRow("-1") << -1;
        QTest::newRow("32767") << 32767;
    }
    void unknownIdPlaysNothingAndLeavesThePlayingEffectAlone()
    {
        QFETCH(int, id);
        QVERIFY(LoadEffect(id).isEmpty());
        QVERIFY(SoundEffects::DecodeEffect(id).isEmpty());
        SoundEffects player;
        player.PlaySoundEffect(int16_t(id));
        player.settle();
        QCOMPARE(player.lastPlayed(), 0);
        QCOMPARE(player.queuedBytes(), 0u);

        player.PlaySoundEffect(3);
        player.PlaySoundEffect(int16_t(id));
        player.settle();
        QCOMPARE(player.lastPlayed(), 3);
        QVERIFY(player.queuedBytes() > uint32_t(SoundEffects::DecodeEffect(1, player.deviceRate()).size()));
    }

    void switchedOffPlayerStartsNothing()
    {
        SoundEffects player;
        QVERIFY(player.soundOn());
        player.setSoundOn(false);
        for (int16_t id = 1; id <= 6; ++id)
            player.PlaySoundEffect(id);
        player.settle();
        QCOMPARE(player.lastPlayed(), 0);
        QCOMPARE(player.queuedBytes(), 0u);

        player.setSoundOn(true);
        player.PlaySoundEffect(2);
        player.settle();
        QCOMPARE(player.lastPlayed(), 2);
    }

    void switchingOffLetsThePlayingEffectFinish()
    {
        SoundEffects player;
        player.PlaySoundEffect(3);
        player.setSoundOn(false);
        player.PlaySoundEffect(1);
        player.settle();
        QCOMPARE(player.lastPlayed(), 3);
        QVERIFY(player.queuedBytes() > uint32_t(SoundEffects::DecodeEffect(1, player.deviceRate()).size()));
    }

    // Nothing of SDL's audio runs until an effect is due, and once the
    // effects have been heard the device and the subsystem (with their
    // threads) are closed again; the next effect opens them anew.
    void deviceIsOpenOnlyWhileEffectsAreHeard()
    {
        SoundEffects player;
        player.setIdleCloseMs(50);
        player.warmUp();
        player.settle();
        QVERIFY(!player.hasDevice());
        QCOMPARE(SDL_GetCurrentAudioDriver(), nullptr);

        player.PlaySoundEffect(1);
        player.settle();
        QVERIFY(player.hasDevice());
        QVERIFY(SDL_GetCurrentAudioDriver() != nullptr);
        std::this_thread::sleep_for(std::chrono::milliseconds(150));
        QVERIFY(player.hasDevice());  // 0.24 s of sound: still being heard
        QTRY_VERIFY_WITH_TIMEOUT(!player.hasDevice() && SDL_GetCurrentAudioDriver() == nullptr, 3000);

        player.PlaySoundEffect(6);
        player.settle();
        QVERIFY(player.hasDevice());
        QCOMPARE(player.lastPlayed(), 6);
    }

    // The device is opened at its own rate (the sound server then has
    // nothing to convert) with a buffer of about 5 ms, and the effect is
    // queued before the device starts, so no buffer of silence goes first.
    // A new effect drops what is left of the old one and follows at once.
    void deviceOpensAtItsOwnRateWithTheEffectAtItsHead_data()
    {
        QTest::addColumn<int>("defaultRate");
        QTest::addColumn<int>("forcedRate");
        QTest::addColumn<int>("askedRate");
        QTest::addColumn<int>("playedRate");
        QTest::addColumn<int>("conversions");
        QTest::newRow("device at 48000 Hz") << 48000 << 0 << 48000 << 48000 << 2;
        QTest::newRow("device at 44100 Hz") << 44100 << 0 << 44100 << 44100 << 2;
        QTest::newRow("device that does not say") << 0 << 0 << 48000 << 48000 << 2;
        // Regression: every later opening converted the effect twice more,
        // once for the rate asked and once for the rate given.
        QTest::newRow("device that takes another rate") << 48000 << 22050 << 48000 << 22050 << 3;
        // Regression: a rate past reason overflowed the buffer's size and
        // asked for gigabytes to hold the effects at that rate.
        QTest::newRow("device that tells a huge rate") << INT_MAX << 0 << 48000 << 48000 << 2;
        QTest::newRow("device that takes a huge rate") << 48000 << 2000000000 << 48000 << 48000 << 2;
    }
    void deviceOpensAtItsOwnRateWithTheEffectAtItsHead()
    {
        QFETCH(int, defaultRate);
        QFETCH(int, forcedRate);
        QFETCH(int, askedRate);
        QFETCH(int, playedRate);
        QFETCH(int, conversions);
        FakeSdlAudio audio;
        audio.defaultRate = defaultRate;
        audio.forcedRate = forcedRate;
        SoundEffects player(&FakeSdlAudio::Load);
        player.PlaySoundEffect(6);
        player.settle();
        QCOMPARE(audio.desired.freq, askedRate);
        QCOMPARE(audio.desired.format, AUDIO_S16SYS);
        QCOMPARE(int(audio.desired.channels), 1);
        QCOMPARE(int(audio.desired.samples), 256);
        // A rate past reason is left to SDL to convert to.
        QCOMPARE(bool(audio.allowedChanges & SDL_AUDIO_ALLOW_FREQUENCY_CHANGE),
                 playedRate == (forcedRate != 0 ? forcedRate : askedRate));

        const auto queued = [&](int id) {
            return QStringLiteral("queue %1").arg(SampleCount(SoundEffects::DecodeEffect(id, playedRate)));
        };
        QCOMPARE(audio.sinceOpen(), QStringList({"open", queued(6), "unpause"}));
        player.PlaySoundEffect(1);
        player.settle();
        QCOMPARE(audio.sinceOpen(), QStringList({"open", queued(6), "unpause", "clear", queued(1)}));

        // Heard, closed, and opened again for the same effect: nothing new
        // to convert.
        audio.drain();
        QTRY_VERIFY(!player.hasDevice());
        player.PlaySoundEffect(6);
        player.settle();
        QCOMPARE(audio.sinceOpen(), QStringList({"open", queued(6), "unpause"}));
        QCOMPARE(audio.conversions.load(), conversions);
    }

    // SDL keeps its hints in a list without a lock, which the window thread
    // changes while it starts the gamepads: the sound thread must not write
    // to it.
    void soundThreadSetsNoHint()
    {
        FakeSdlAudio audio;
        {
            SoundEffects player(&FakeSdlAudio::Load);
            player.PlaySoundEffect(2);
            player.settle();
        }
        QVERIFY(audio.calls().contains("thread ends"));
        QCOMPARE(audio.calls().filter("hint"), QStringList());
    }

    // A sound server that hangs (stopped, or stuck) holds SDL's audio calls
    // for ever. Closing the window then must neither wait for the sound
    // thread nor leave SDL's lock taken, which the gamepad's shutdown needs;
    // the effect asked for in the meantime is dropped, not played.
    void closingGameNeverWaitsOnAHungServer_data()
    {
        QTest::addColumn<QString>("hangIn");
        QTest::newRow("loading SDL") << "load";
        QTest::newRow("starting SDL's audio") << "init";
        QTest::newRow("opening the device") << "open";
        QTest::newRow("closing the device") << "close";
        QTest::newRow("connecting to the sound server") << "server";
    }
    void closingGameNeverWaitsOnAHungServer()
    {
        QFETCH(QString, hangIn);
        FakeSdlAudio audio;
        std::optional<HungServer> hung;
        std::optional<EnvOverride> driver, address;
        if (hangIn == "server") {
            hung.emplace();
            driver.emplace("SDL_AUDIODRIVER", "pulseaudio");
            address.emplace("PULSE_SERVER", hung->address());
        } else {
            audio.hangIn = hangIn;
        }
        auto player = std::make_unique<SoundEffects>(&FakeSdlAudio::Load);
        player->PlaySoundEffect(6);
        if (hangIn == "close") {
            player->settle();
        } else if (hangIn == "server") {
            // SDL is in; the thread waits for the server's answer.
            QVERIFY(audio.waitFor("load"));
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
            player->PlaySoundEffect(1);
        } else {
            QVERIFY(audio.waitFor(hangIn));
            player->PlaySoundEffect(1);
        }
        auto closed = std::async(std::launch::async, [&] {
            player.reset();
            std::unique_lock subsystems(quadix::sdl::SubsystemLock(), std::try_to_lock);
            return subsystems.owns_lock();
        });
        const bool closedInTime = closed.wait_for(std::chrono::seconds(3)) == std::future_status::ready;
        // Whatever happened, the hung call returns now and the thread ends.
        audio.release();
        QVERIFY2(closedInTime, "closing waited on the hung server");
        QVERIFY2(closed.get(), "SDL's lock stayed taken");
        QVERIFY(audio.waitFor("thread ends"));
        // Only the effect that was playing when the server hung was queued.
        QCOMPARE(audio.calls().filter("queue").size(), hangIn == "close" ? 1 : 0);
        // Regression: a thread let go of while SDL loaded or started went on
        // to open the device while the game was exiting.
        const QStringList after = audio.calls().mid(audio.calls().indexOf(hangIn) + 1);
        QVERIFY2(!after.contains("init") && !after.contains("open"), qPrintable(after.join(", ")));
    }

    // A sound server that does not answer is given up after a moment: the
    // effect it held back is late and dropped, and the next ones go through
    // SDL's device at once, without asking that server again for a while.
    // A player who put another driver first in SDL's list is not asked.
    void effectsGoThroughSdlWhenTheServerDoesNotAnswer_data()
    {
        QTest::addColumn<QByteArray>("drivers");
        QTest::addColumn<bool>("serverAsked");
        QTest::newRow("pulseaudio") << QByteArray("pulseaudio") << true;
        QTest::newRow("PipeWire first in a list") << QByteArray("PipeWire,alsa") << true;
        QTest::newRow("ALSA first in a list") << QByteArray("alsa,pulseaudio") << false;
        QTest::newRow("another driver") << QByteArray("dummy") << false;
    }
    void effectsGoThroughSdlWhenTheServerDoesNotAnswer()
    {
        QFETCH(QByteArray, drivers);
        QFETCH(bool, serverAsked);
        HungServer hung;
        EnvOverride driver("SDL_AUDIODRIVER", drivers);
        EnvOverride address("PULSE_SERVER", hung.address());
        FakeSdlAudio audio;
        SoundEffects player(&FakeSdlAudio::Load);
        player.PlaySoundEffect(6);
        player.settle();
        QCOMPARE(player.lastPlayed(), serverAsked ? 0 : 6);
        QCOMPARE(audio.calls().filter("queue").size(), serverAsked ? 0 : 1);
        QElapsedTimer waited;
        waited.start();
        player.PlaySoundEffect(1);
        player.settle();
        QCOMPARE(player.lastPlayed(), 1);
        QCOMPARE(audio.calls().filter("queue").size(), serverAsked ? 1 : 2);
        QVERIFY2(waited.elapsed() < 150, qPrintable(QStringLiteral("%1 ms").arg(waited.elapsed())));
    }

    // The sound server hears each effect whole from its first sample, at
    // its own rate; a new effect cuts off the one still playing and is
    // heard whole right after it; once heard, no stream of the game's is
    // left in the server.
    void soundServerHearsEachEffectWholeAndCutOff()
    {
        OwnSoundServer server;
        if (!server.running())
            QSKIP("no PulseAudio server of the test's own (Debian's pulseaudio)");
        PlayerOfServer game(server);
        SoundEffects& player = game.player;
        QCOMPARE(player.deviceRate(), 48000);
        QVERIFY(!player.hasDevice());
        const QByteArray start = SoundEffects::DecodeEffect(6, 48000);
        const QByteArray over = SoundEffects::DecodeEffect(3, 48000);
        const QByteArray piece = SoundEffects::DecodeEffect(1, 48000);
        // All that is heard until the stream ends, and the pipe's last samples.
        const auto heardOut = [&] {
            for (int i = 0; i < 500 && player.hasDevice(); ++i)
                std::this_thread::sleep_for(std::chrono::milliseconds(10));
            std::this_thread::sleep_for(std::chrono::milliseconds(200));
            return player.hasDevice() ? QByteArray() : server.takeHeard();
        };

        server.takeHeard();
        player.PlaySoundEffect(6);
        player.settle();
        QVERIFY(player.hasDevice());
        QCOMPARE(server.streams().size(), 1);
        QVERIFY2(heardOut().contains(start), "the start sound was not heard whole");
        QCOMPARE(server.streams(), QStringList());

        player.PlaySoundEffect(3);
        std::this_thread::sleep_for(std::chrono::milliseconds(300));
        player.PlaySoundEffect(1);
        const QByteArray heard = heardOut();
        const qsizetype pieceAt = heard.indexOf(piece);
        QVERIFY2(pieceAt >= 0, "the piece's sound was not heard whole");
        QVERIFY2(!heard.contains(over), "the game-over sound was not cut off");
        const qsizetype overAt = heard.indexOf(over.left(9600));
        QVERIFY2(overAt >= 0 && overAt < pieceAt, "the game-over sound did not begin before the piece's");
        QCOMPARE(server.streams(), QStringList());
    }


    // Regression: the stream was ended a fixed moment after the effect's
    // own length, and a sink that takes its samples in long steps (here the
    // pipe at a low rate; a network or Bluetooth one) lost the effect's
    // tail. Whatever the default output's rate and channels, the effect is
    // played at its rate and heard to its last sample.
    void soundServerHearsTheEffectToItsEnd_data()
    {
        QTest::addColumn<int>("rate");
        QTest::addColumn<int>("channels");
        QTest::newRow("8000 stereo") << 8000 << 2;
        QTest::newRow("22050 mono") << 22050 << 1;
        QTest::newRow("96000 mono") << 96000 << 1;
    }
    void soundServerHearsTheEffectToItsEnd()
    {
        QFETCH(int, rate);
        QFETCH(int, channels);
        OwnSoundServer server(rate, channels);
        if (!server.running())
            QSKIP("no PulseAudio server of the test's own (Debian's pulseaudio)");
        PlayerOfServer game(server);
        SoundEffects& player = game.player;
        QCOMPARE(player.deviceRate(), rate);
        server.takeHeard();
        player.PlaySoundEffect(1);
        player.settle();
        QTRY_VERIFY_WITH_TIMEOUT(!player.hasDevice(), 5000);
        std::this_thread::sleep_for(std::chrono::milliseconds(300));
        const QByteArray heard = server.takeHeard();
        QByteArray left;
        for (qsizetype at = 0; at + 2 * channels <= heard.size(); at += 2 * channels)
            left.append(heard.constData() + at, 2);
        const QByteArray piece = SoundEffects::DecodeEffect(1, rate);
        QVERIFY2(left.contains(piece.left(piece.size() / 2)), "the effect's beginning was not heard");
        QVERIFY2(left.contains(piece), "the effect's end was cut off");
    }

    // Regression: the first effect after the desktop's sound server had
    // restarted was written to the connection of the one gone, and lost;
    // and one gone while an effect played left the player believing a
    // stream was still open, so the next effect went to no device at all.
    void effectAfterTheServerRestartedIsHeard_data()
    {
        QTest::addColumn<bool>("whilePlaying");
        QTest::newRow("between effects") << false;
        QTest::newRow("while an effect plays") << true;
    }
    void effectAfterTheServerRestartedIsHeard()
    {
        QFETCH(bool, whilePlaying);
        OwnSoundServer server;
        if (!server.running())
            QSKIP("no PulseAudio server of the test's own (Debian's pulseaudio)");
        PlayerOfServer game(server);
        game.player.PlaySoundEffect(whilePlaying ? 3 : 6);
        game.player.settle();
        if (!whilePlaying)
            QTRY_VERIFY_WITH_TIMEOUT(!game.player.hasDevice(), 5000);
        server.kill();
        QVERIFY(server.start());
        server.takeHeard();
        game.player.PlaySoundEffect(1);
        game.player.settle();
        QCOMPARE(game.player.lastPlayed(), 1);
        QTRY_VERIFY_WITH_TIMEOUT(!game.player.hasDevice(), 5000);
        std::this_thread::sleep_for(std::chrono::milliseconds(300));
        const QByteArray heard = server.takeHeard();
        QVERIFY2(heard.contains(SoundEffects::DecodeEffect(1, 48000)), "the piece's sound was not heard whole");
    }

    // Regression: while it looked for a device the sound thread pointed the
    // whole game's stderr at /dev/null, for as long as a hung server kept it
    // looking: the window thread's warnings and a crash's report were lost.
    void windowThreadIsHeardOnStderrWhileTheDeviceOpens()
    {
        FakeSdlAudio audio;
        audio.hangIn = "open";
        CapturedStderr log;
        SoundEffects player(&FakeSdlAudio::Load);
        player.PlaySoundEffect(6);
        QVERIFY(audio.waitFor("open"));
        const QByteArray line = "the window thread speaks\n";
        QCOMPARE(write(STDERR_FILENO, line.constData(), size_t(line.size())), ssize_t(line.size()));
        audio.release();
        player.settle();
        QCOMPARE(log.text(), line);
    }

    // End to end, through SDL's disk driver or the test's own sound server,
    // each writing what the player would hear. A lock that completes a row
    // starts the row sound, flashes the row on the real clock and brings in
    // the next piece with its own sound; the row sound must be heard whole
    // before the new piece's sound begins.
    void rowSoundIsHeardToItsEndBeforeTheNextPiece_data()
    {
        QTest::addColumn<bool>("throughServer");
        QTest::newRow("SDL's disk driver") << false;
        QTest::newRow("sound server") << true;
    }
    void rowSoundIsHeardToItsEndBeforeTheNextPiece()
    {
        QFETCH(bool, throughServer);
        std::optional<OwnSoundServer> server;
        if (throughServer && !server.emplace().running())
            QSKIP("no PulseAudio server of the test's own (Debian's pulseaudio)");
        QTemporaryDir dir;
        const QByteArray diskFile = dir.filePath("heard.raw").toLocal8Bit();
        EnvOverride disk("SDL_DISKAUDIOFILE", diskFile);
        std::optional<PlayerOfServer> ofServer;
        std::optional<EnvOverride> driver;
        std::optional<SoundEffects> ofSdl;
        if (throughServer) {
            ofServer.emplace(*server);
            server->takeHeard();
        } else {
            driver.emplace("SDL_AUDIODRIVER", "disk");
            ofSdl.emplace();
            // The disk driver starts its file afresh with every device.
            ofSdl->setIdleCloseMs(1000);
            // As the window does once it is shown: SDL loaded, effects decoded.
            ofSdl->warmUp();
            ofSdl->settle();
        }
        SoundEffects& player = throughServer ? ofServer->player : *ofSdl;
        QCOMPARE(PlayLockThatCompletesARow(player), 1);
        QVERIFY(player.hasDevice());
        QCOMPARE(player.lastPlayed(), 1);
        const int rate = player.deviceRate();
        QTRY_VERIFY_WITH_TIMEOUT(throughServer ? !player.hasDevice() : player.queuedBytes() == 0, 5000);
        // The device has taken the last of it; let it reach the file.
        std::this_thread::sleep_for(std::chrono::milliseconds(300));
        ofSdl.reset();
        QByteArray samples;
        if (throughServer) {
            samples = server->takeHeard();
        } else {
            QFile file(QString::fromLocal8Bit(diskFile));
            QVERIFY(file.open(QIODevice::ReadOnly));
            samples = file.readAll();
        }
        const QByteArray rowSound = SoundEffects::DecodeEffect(2, rate);
        const QByteArray pieceSound = SoundEffects::DecodeEffect(1, rate);
        const qsizetype rowAt = samples.indexOf(rowSound);
        QVERIFY2(rowAt >= 0, "the row sound was cut short");
        const qsizetype pieceAt = samples.indexOf(pieceSound.left(2000), rowAt + rowSound.size());
        QVERIFY2(pieceAt >= 0, "the new piece's sound was not heard after the row sound");
        QCOMPARE(samples.indexOf(pieceSound.left(2000)), pieceAt); // and not before it
    }

    void missingAudioDeviceLeavesPlayerSilent_data()
    {
        QTest::addColumn<QByteArray>("driver");
        QTest::addColumn<QByteArray>("device");
        QTest::newRow("no such driver") << QByteArray("nosuchdriver") << QByteArray("");
        // Regression: ALSA's page of errors reached the player's terminal
        // once stderr was no longer pointed away from the whole game.
        QTest::newRow("ALSA without that card") << QByteArray("alsa") << QByteArray("hw:99");
    }
    void missingAudioDeviceLeavesPlayerSilent()
    {
        QFETCH(QByteArray, driver);
        QFETCH(QByteArray, device);
        {
            EnvOverride sdlDriver("SDL_AUDIODRIVER", driver);
            EnvOverride alsaDevice("AUDIODEV", device);
            CapturedStderr log;
            SoundEffects player;
            for (int16_t id = 0; id <= 7; ++id)
                player.PlaySoundEffect(id);
            player.settle();
            QVERIFY(!player.hasDevice());
            QCOMPARE(player.lastPlayed(), 0);
            QCOMPARE(player.queuedBytes(), 0u);
            // Nothing of SDL's audio is left running to look for a device.
            QCOMPARE(SDL_GetCurrentAudioDriver(), nullptr);
            QCOMPARE(log.text(), QByteArray());
        }
        // The failed start must leave SDL able to open a device later on.
        SoundEffects player;
        player.PlaySoundEffect(6);
        player.settle();
        QCOMPARE(player.lastPlayed(), 6);
    }
};

QTEST_GUILESS_MAIN(SoundEffectsTest)
#include "SoundEffectsTest.moc"
