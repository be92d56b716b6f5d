#include "ui/WindowSystem.h"

#include <QApplication>

namespace quadix {

void NameApplication()
{
    QApplication::setApplicationName(QStringLiteral("quadix"));
    QApplication::setOrganizationName(QStringLiteral("quadix"));
    QApplication::setDesktopFileName(QString::fromLatin1(kDesktopFileName));
}

} // namespace quadix
