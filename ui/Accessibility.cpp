#include "ui/Accessibility.h"

#include <QAccessibleWidget>
#include <QDialog>
#include <QFrame>
#include <QLabel>
#include <QLineEdit>
#include <QStringList>
#include <QVariant>
#include <utility>

#include "ui/FrmGame.h"
#include "ui/FrmHelp.h"
#include "ui/FrmHighScores.h"
#include "ui/PictureBox.h"

namespace quadix {

namespace {

constexpr char kKindProperty[] = "quadixAccessibleKind";
constexpr char kHoldsDecorationProperty[] = "quadixHoldsDecoration";

bool IsDecoration(const QWidget* widget)
{
    const QVariant kind = widget->property(kKindProperty);
    return kind.isValid() && AccessibleKind(kind.toInt()) == AccessibleKind::Decoration;
}

// Qt's reading of a widget with another role, and without the decorations
// among its children.
class GameReading : public QAccessibleWidget {
public:
    GameReading(QWidget* widget, QAccessible::Role role)
        : QAccessibleWidget(widget, role)
    {
    }

    QString text(QAccessible::Text t) const override
    {
        const auto* label = qobject_cast<const QLabel*>(widget());
        if (t != QAccessible::Name || label == nullptr || !label->accessibleName().isEmpty())
            return QAccessibleWidget::text(t);
        // Qt names a widget after the label whose buddy it is: for a counter,
        // its caption.
        const QString caption = QAccessibleWidget::text(t);
        return caption.isEmpty() ? label->text() : caption + u' ' + label->text();
    }

    int childCount() const override { return int(readChildren().size()); }

    QAccessibleInterface* child(int index) const override
    {
        const QWidgetList children = readChildren();
        return index >= 0 && index < children.size() ? QAccessible::queryAccessibleInterface(children[index])
                                                     : nullptr;
    }

    int indexOfChild(const QAccessibleInterface* child) const override
    {
        return int(readChildren().indexOf(qobject_cast<QWidget*>(child->object())));
    }

private:
    QWidgetList readChildren() const
    {
        QWidgetList children;
        for (QObject* object : widget()->children()) {
            auto* child = qobject_cast<QWidget*>(object);
            if (child != nullptr && !child->isWindow() && !IsDecoration(child))
                children << child;
        }
        return children;
    }
};

QAccessible::Role ContainerRole(const QWidget* widget)
{
    if (qobject_cast<const QDialog*>(widget) != nullptr)
        return QAccessible::Dialog;
    return widget->isWindow() ? QAccessible::Window : QAccessible::Client;
}

QAccessibleInterface* GameReadingFactory(const QString&, QObject* object)
{
    auto* widget = qobject_cast<QWidget*>(object);
    if (widget == nullptr)
        return nullptr;
    const QVariant kind = widget->property(kKindProperty);
    if (kind.isValid()) {
        switch (AccessibleKind(kind.toInt())) {
        case AccessibleKind::Decoration: return nullptr;  // never reached through its parent
        case AccessibleKind::Canvas: return new GameReading(widget, QAccessible::Canvas);
        case AccessibleKind::Counter: return new GameReading(widget, QAccessible::StaticText);
        // Read as a notification: a screen reader reads one out the moment
        // it is shown, which Qt tells the accessibility bus of every widget.
        case AccessibleKind::StatusMessage: return new GameReading(widget, QAccessible::Notification);
        }
    }
    if (widget->property(kHoldsDecorationProperty).toBool())
        return new GameReading(widget, ContainerRole(widget));
    return nullptr;
}

// A widget being destroyed goes back to Qt, which reads none (as Qt's own
// factory refuses them): a reading made now would outlive it in Qt's cache.
void Mark(QWidget* widget, const char* property, const QVariant& value)
{
    if (!widget->property(property).isValid())
        QObject::connect(widget, &QObject::destroyed, [property](QObject* gone) {
            gone->setProperty(property, QVariant());
        });
    widget->setProperty(property, value);
}

// Qt keeps the first reading it makes of a widget; one made before the mark
// is dropped, so the next question about the widget comes to the factory.
void DropQtReading(QWidget* widget)
{
    QAccessibleInterface* reading = QAccessible::queryAccessibleInterface(widget);
    if (reading != nullptr && dynamic_cast<GameReading*>(reading) == nullptr)
        QAccessible::deleteAccessibleInterface(QAccessible::uniqueId(reading));
}

} // namespace

void SetAccessibleKind(QWidget* widget, AccessibleKind kind)
{
    [[maybe_unused]] static const bool installed = [] {
        QAccessible::installFactory(GameReadingFactory);
        return true;
    }();
    Mark(widget, kKindProperty, int(kind));
    QWidget* reread = widget;
    if (kind == AccessibleKind::Decoration) {
        reread = widget->parentWidget();
        Mark(reread, kHoldsDecorationProperty, true);
    }
    DropQtReading(reread);
}

void DescribeForScreenReaders(FrmGame& window)
{
    SetAccessibleKind(window.Shape1, AccessibleKind::Decoration);
    SetAccessibleKind(window.Shape2, AccessibleKind::Decoration);

    window.picQuadixField->setAccessibleName(QStringLiteral("Campo di gioco"));
    window.picPreviewBlocks->setAccessibleName(QStringLiteral("Blocchi in arrivo"));
    window.Label1->setBuddy(window.picPreviewBlocks);
    for (PictureBox* surface : {window.picQuadixField, window.picPreviewBlocks})
        SetAccessibleKind(surface, AccessibleKind::Canvas);

    // Buddies only name here: a caption has no mnemonic that could move the focus.
    const std::pair<QLabel*, QLabel*> counters[] = {
        {window.Label4, window.LabelScore}, {window.Label5, window.LabelLines}, {window.Label6, window.LabelLevel}};
    for (const auto& [caption, counter] : counters) {
        caption->setBuddy(counter);
        SetAccessibleKind(counter, AccessibleKind::Counter);
    }

    // The prompt names the box, and so is read as the box takes the keys.
    window.lblEnterName->setBuddy(window.txtEnterName);
    // One notification at a time: a screen reader cuts a notification short
    // when the next one comes. The message that always comes with the end of
    // a game or with a pause is read after it, as its description.
    window.lblGameOver->setAccessibleDescription(window.lblNewGame->text());
    window.lblPause->setAccessibleDescription(window.lblPressF4->text());
    for (QLabel* message : {window.lblGameOver, window.lblPause, window.lblSaveFailed})
        SetAccessibleKind(message, AccessibleKind::StatusMessage);
}

void DescribeForScreenReaders(FrmHighScores& window)
{
    SetAccessibleKind(window.Line1, AccessibleKind::Decoration);
    // The cells are read with their place's number (see DescribePlaces).
    for (int i = 0; i < kPlaces; ++i) {
        for (QLabel* cell : {window.Label1[i], window.Label2[i], window.Label3[i]})
            SetAccessibleKind(cell, AccessibleKind::Decoration);
    }
}

// A screen reader reads the longer lines of a window that opens and passes
// over its short labels: cell by cell, the table went unread.
void DescribePlaces(FrmHighScores& window)
{
    for (int i = 0; i < kPlaces; ++i) {
        QString line = window.Label4[i]->text();
        const QString name = window.Label1[i]->text();
        const QString points = window.Label2[i]->text().trimmed();
        const QString lines = window.Label3[i]->text().trimmed();
        if (!name.isEmpty() || !points.isEmpty() || !lines.isEmpty()) {
            const QStringList parts = {name, window.Label6->text() + u' ' + points, window.Label7->text() + u' ' + lines};
            line += u' ' + parts.join(u", ");
        }
        window.Label4[i]->setAccessibleName(line);
    }
}

void DescribeForScreenReaders(FrmHelp& window)
{
    // Each action is read with its key, line by line: read as the two
    // columns are drawn, every action would come before every key.
    const QStringList actions = window.Label2->text().split(u'\n');
    const QStringList keys = window.Label3->text().split(u'\n');
    QStringList lines;
    for (qsizetype i = 0; i < actions.size() && i < keys.size(); ++i) {
        if (!actions[i].isEmpty())
            lines << actions[i] + u' ' + keys[i];
    }
    window.Label2->setAccessibleName(lines.join(u'\n'));
    SetAccessibleKind(window.Label3, AccessibleKind::Decoration);
}

} // namespace quadix
