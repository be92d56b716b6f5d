#pragma once
// The records window: the ten places of the table of records under the
// numbers "1." to "10.". It keeps no data; it is filled before every showing.
#include "scores/HighScores.h"

#include <QDialog>
#include <array>

class QFrame;
class QLabel;
class QPushButton;

namespace quadix {

class FrmHighScores : public QDialog {
    Q_OBJECT
public:
    explicit FrmHighScores(QWidget* parent = nullptr);

    // Shows rows 0..9 of the table exactly as stored.
    void Fill(const HighScoreTable& table);

    // The records window now open, or null.
    static FrmHighScores* Current();
    // From the menu: modeless and owned by no window, so the game stays usable.
    // An open window is refilled and brought to the front instead.
    static FrmHighScores* ShowModeless(const HighScoreTable& table);
    // After a name entry: modal; returns when the player has closed it. A
    // window still open from the menu is the one that turns modal. `owner`
    // is the window it keeps waiting.
    static void ShowModal(const HighScoreTable& table, QWidget* owner = nullptr);
    // Closes the open window, if any (the program is ending).
    static void CloseCurrent();

    std::array<QLabel*, kPlaces> Label1{};  // names
    std::array<QLabel*, kPlaces> Label2{};  // points
    std::array<QLabel*, kPlaces> Label3{};  // lines
    std::array<QLabel*, kPlaces> Label4{};  // "1." .. "10."
    QLabel* Label5 = nullptr;
    QLabel* Label6 = nullptr;
    QLabel* Label7 = nullptr;
    QFrame* Line1 = nullptr;
    QPushButton* cmdClose = nullptr;

protected:
    void changeEvent(QEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

private:
    void CentreOnScreen();
    void cmdClose_Click();

    bool modalShowing_ = false;
};

} // namespace quadix
