#pragma once
// How the game's windows read to a screen reader, where Qt's own reading of
// a widget does not say what the widget is in the game: the counters with
// their captions, the playfield and the preview as drawing surfaces, the
// messages as status messages, the instructions and the records line by line,
// and the frames not at all.
class QWidget;

namespace quadix {

class FrmGame;
class FrmHelp;
class FrmHighScores;

enum class AccessibleKind {
    Decoration,    // left out of what is read: drawn for the look alone, or read with another control
    Canvas,        // a drawing surface
    Counter,       // a number label, read after the caption whose buddy it is: "Punti 1200"
    StatusMessage, // a message label, read out as soon as it appears
};

// From now on `widget` reads as `kind`, also where Qt had already made its
// own reading of it (a label makes one while its text is set).
void SetAccessibleKind(QWidget* widget, AccessibleKind kind);

// What each window's controls are, to a screen reader.
void DescribeForScreenReaders(FrmGame& window);
void DescribeForScreenReaders(FrmHighScores& window);
void DescribeForScreenReaders(FrmHelp& window);
// Each place of the records window as one line, read from its number:
// "1. Anna, Punti 1200, Linee 12". Called whenever the window is filled.
void DescribePlaces(FrmHighScores& window);

} // namespace quadix
