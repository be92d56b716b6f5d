#include "ui/WindowSystem.h"

#include <QApplication>

namespace quadix {

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
