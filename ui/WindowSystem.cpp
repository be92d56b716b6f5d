#include "ui/WindowSystem.h"

#include <QApplication>

namespace quadix {

void PrepareWindowSystem()
{
    // Under X11 Qt hands a repaint to the server through shared memory and,
    // before it paints the same pixels again, waits for the server to have
    // read them: a round trip at every gravity step. A step changes a few
    // kilobytes, which cost less to send along with the request. A player's
    // own setting stays; but Qt turns shared memory off whenever the variable
    // is there, whatever it holds, so a player's 0 is met by taking it away.
    bool isNumber = false;
    const int playerSetting = qEnvironmentVariableIntValue("QT_XCB_NO_MITSHM", &isNumber);
    if (!qEnvironmentVariableIsSet("QT_XCB_NO_MITSHM"))
        qputenv("QT_XCB_NO_MITSHM", "1");
    else if (isNumber && playerSetting == 0)
        qunsetenv("QT_XCB_NO_MITSHM");
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
