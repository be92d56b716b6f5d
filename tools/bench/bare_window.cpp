// quadix_bare_window: the start-up baseline of tools/benchmark.sh. A bare Qt 6
// window of the game's size with a menu bar and nothing else: no tiles, no
// sound, no records, no labels. It prints, like "quadix_bench startup",
// CLOCK_REALTIME at main() and when its first painting has been handed to
// the X server, so that the two programs are timed the same way.
#include <QAction>
#include <QApplication>
#include <QMainWindow>
#include <QMenu>
#include <QMenuBar>
#include <QTimer>
#include <QWidget>

#include <cstdio>
#include <ctime>

namespace {

long long realtimeNs()
{
    timespec ts{};
    clock_gettime(CLOCK_REALTIME, &ts);
    return static_cast<long long>(ts.tv_sec) * 1000000000 + ts.tv_nsec;
}

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
                        realtimeNs());
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

} // namespace

int main(int argc, char* argv[])
{
    const long long mainNs = realtimeNs();
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
