#pragma once
#include <QMainWindow>
namespace quadix {
class FrmGame : public QMainWindow {
    Q_OBJECT
};
}
