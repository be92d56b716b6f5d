#include "ui/WindowSystem.h"

#include <QApplication>

namespace quadix {

void PrepareWindowSystem()
{
    // Under X11 Qt hands a repaint to the server through shared memory and,
    // before it paints the same pixels again, waits for the server to have
    // read them: a round trip at every gravity step. A step changes a few
    // kilobytes, which cost less to send along with the request. A player's
    // own setting stays.
    if (!qEnvironmentVariableIsSet("QT_XCB_NO_MITSHM"))
        qputenv("QT_XCB_NO_MITSHM", "1");
}

void NameApplication()
{
    QApplication::setApplicationName(QStringLiteral("quadix"));
    QApplication::setOrganizationName(QStringLiteral("quadix"));
    QApplication::setDesktopFileName(QString::fromLatin1(kDesktopFileName));
}

bool CompositorPlacesWindows()
{
    // Qt's Wayland plugins are all named "wayland" or "wayland-<buffer kind>".
    return QGuiApplication::platformName().startsWith(QLatin1String("wayland"));
}

} // namespace quadix
