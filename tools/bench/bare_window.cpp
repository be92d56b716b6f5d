// quadix_bare_window: the baselines of tools/benchmark.sh. A bare Qt 6
// window of the game's size with a menu bar and nothing else: no tiles, no
// sound, no records, no labels.
//
//   quadix_bare_window
//       prints, like "quadix_bench startup", CLOCK_REALTIME at main() and
//       when its first painting has been handed to the X server, so that the
//       two programs are timed the same way;
//   quadix_bare_window tick MS SECONDS
//       repaints a 42 x 29 rectangle (what a gravity step changes) every MS
//       milliseconds, through Qt's ordinary repaint(), and prints its CPU
//       share: the least any Qt window pays for such a cadence, to set the
//       game's figures against.
#include <QAction>
#include <QApplication>
#include <QMainWindow>
#include <QMenu>
#include <QMenuBar>
#include <QTimer>
#include <QWidget>

#include <QElapsedTimer>
#include <QPaintEvent>
#include <QPainter>
#include "Clocks.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>

namespace {

using namespace quadix::bench;

// Stamps the end of the outermost event delivery during which the window
// was painted, as the game's benchmark does.
class StampingApplication : public QApplication {
public:
    using QApplication::QApplication;
    QWidget* window = nullptr;
    long long mainNs = 0;

    bool notify(QObject* receiver, QEvent* event) override
    {
        ++depth_;
        const bool result = QApplication::notify(receiver, event);
        --depth_;
        if (!stamped_ && event->type() == QEvent::Paint) {
            auto* widget = qobject_cast<QWidget*>(receiver);
            painted_ = painted_ || (widget && widget->window() == window);
        }
        if (!stamped_ && painted_ && depth_ == 0) {
            stamped_ = true;
            std::printf("result mode=startup main_realtime_ns=%lld painted_realtime_ns=%lld\n", mainNs,
                        static_cast<long long>(realtimeNs()));
            std::fflush(stdout);
            QTimer::singleShot(0, this, [] { QCoreApplication::exit(0); });
        }
        return result;
    }

private:
    int depth_ = 0;
    bool painted_ = false;
    bool stamped_ = false;
};

// A client area that paints one small rectangle in a colour that changes.
class Ticker : public QWidget {
public:
    using QWidget::QWidget;
    int colour = 0;

protected:
    void paintEvent(QPaintEvent* event) override
    {
        QPainter(this).fillRect(event->rect(), colour % 2 ? Qt::white : Qt::black);
    }
};

int tick(int argc, char* argv[])
{
    const int ms = std::atoi(argv[2]);
    const double seconds = std::atof(argv[3]);
    QApplication app(argc, argv);
    QMainWindow window;
    window.menuBar()->addMenu(QStringLiteral("GIOCO"));
    auto* client = new Ticker(&window);
    client->setFixedSize(439, 385);
    window.setCentralWidget(client);
    window.show();
    QTimer timer;
    timer.setTimerType(Qt::PreciseTimer);
    long long cpu0 = 0;
    long long x0 = 0;
    QElapsedTimer wall;
    int ticks = 0;
    QObject::connect(&timer, &QTimer::timeout, [&] {
        if (ticks++ == 0) {
            x0 = XServerCpuNs();
            cpu0 = processCpuNs();
            wall.start();
        }
        ++client->colour;
        client->repaint(40, 100, 42, 29);
        if (wall.isValid() && wall.elapsed() >= seconds * 1000) {
            const double elapsed = wall.nsecsElapsed();
            const long long cpu = processCpuNs() - cpu0;
            const long long x1 = XServerCpuNs();
            std::printf("result mode=tick interval=%d cpu_pct=%.2f xserver_pct=%.2f\n", ms, 100.0 * cpu / elapsed,
                        x0 < 0 || x1 < 0 ? -1.0 : 100.0 * (x1 - x0) / elapsed);
            QCoreApplication::exit(0);
        }
    });
    // Start once the window is up.
    QTimer::singleShot(500, &app, [&] { timer.start(ms); });
    return app.exec();
}

} // namespace

int main(int argc, char* argv[])
{
    const long long mainNs = realtimeNs();
    if (argc == 4 && std::strcmp(argv[1], "tick") == 0)
        return tick(argc, argv);
    StampingApplication app(argc, argv);
    app.mainNs = mainNs;
    QMainWindow window;
    window.setWindowTitle(QStringLiteral("Quadix"));
    QMenu* game = window.menuBar()->addMenu(QStringLiteral("GIOCO"));
    game->addAction(QStringLiteral("Nuova partita"))->setShortcut(Qt::Key_F2);
    game->addAction(QStringLiteral("Esci"));
    window.menuBar()->addMenu(QStringLiteral("SUONI"))->addAction(QStringLiteral("Effetti Sonori"));
    auto* client = new QWidget(&window);
    client->setFixedSize(439, 385);
    window.setCentralWidget(client);
    app.window = &window;
    window.show();
    QTimer::singleShot(10000, &app, [] { QCoreApplication::exit(1); });
    return app.exec();
}
