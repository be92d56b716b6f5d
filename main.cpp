#include <QApplication>

#include "ui/FrmGame.h"

int main(int argc, char* argv[])
{
    quadix::PrepareWindowSystem();
    QApplication app(argc, argv);
    QApplication::setApplicationName("quadix");
    QApplication::setOrganizationName("quadix");
    QApplication::setDesktopFileName("io.github.quadix.Quadix");
    quadix::FrmGame window;
    window.show();
    return app.exec();
}
