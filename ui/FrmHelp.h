#pragma once
// The instructions window: what each key does, in two aligned columns.
#include <QDialog>

class QLabel;
class QPushButton;

namespace quadix {

class FrmHelp : public QDialog {
    Q_OBJECT
public:
    explicit FrmHelp(QWidget* owner = nullptr);

    // Shows the window modally, centred on its owner; returns when it is
    // closed, after which the window is gone.
    static void ShowModal(QWidget* owner);

    QLabel* Label2 = nullptr;        // what an action does
    QLabel* Label3 = nullptr;        // the key that does it
    QPushButton* Command1 = nullptr;

private:
    void Form_Load();
};

} // namespace quadix
