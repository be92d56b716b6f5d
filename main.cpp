#include <QApplication>

#include "ui/FrmGame.h"
#include "ui/WindowSystem.h"

int main(int argc, char* argv[])
{
    quadix::PrepareWindowSystem();
    QApplication app(argc, argv);
    quadix::NameApplication();
    quadix::FrmGame window;
    window.show();
    return app.exec();
}
