#pragma once
// A window as a screen reader walks it through Qt's accessibility: from the
// window's reading down through each reading's children. A control the walk
// never meets is one a screen reader never reads.
#include <QAccessible>
#include <QStringList>
#include <QWidget>
#include <utility>

namespace quadix::test {

inline QList<QAccessibleInterface*> Readings(QAccessibleInterface* reading)
{
    QList<QAccessibleInterface*> readings{reading};
    for (int i = 0; i < reading->childCount(); ++i)
        readings << Readings(reading->child(i));
    return readings;
}

// The reading of `object` met on the walk through `window`, or null.
inline QAccessibleInterface* ReadingReached(QWidget* window, const QObject* object)
{
    for (QAccessibleInterface* reading : Readings(QAccessible::queryAccessibleInterface(window)))
        if (reading->object() == object)
            return reading;
    return nullptr;
}

// A reading's role and name; role -1 for none.
inline std::pair<int, QString> RoleAndName(QAccessibleInterface* reading)
{
    if (reading == nullptr)
        return {-1, QString()};
    return {int(reading->role()), reading->text(QAccessible::Name)};
}

// What the walk meets shown with nothing to read, no name and nothing inside
// it, as "class objectName".
inline QStringList ShownWithoutName(QWidget* window)
{
    QStringList unnamed;
    for (QAccessibleInterface* reading : Readings(QAccessible::queryAccessibleInterface(window)))
        if (!reading->state().invisible && reading->childCount() == 0
            && reading->text(QAccessible::Name).trimmed().isEmpty())
            unnamed << QString::fromLatin1(reading->object()->metaObject()->className()) + u' '
                           + reading->object()->objectName();
    return unnamed;
}

// The object names of the labels that name `reading`.
inline QString LabelledBy(QAccessibleInterface* reading)
{
    QStringList labels;
    for (const auto& [label, relation] : reading->relations(QAccessible::Label))
        labels << label->object()->objectName();
    return labels.join(u',');
}

} // namespace quadix::test
