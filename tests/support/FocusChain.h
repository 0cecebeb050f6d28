#pragma once

#include <QAccessible>
#include <QComboBox>
#include <QRadioButton>
#include <QTest>
#include <QWidget>

// What the keyboard reaches in `window`, walked from `start` with Tab until it comes back round. Where Tab
// stays put (an editor keeps it for the document), Ctrl+Tab moves on, as a user would press it.
inline QList<QWidget*> TabWalk(QWidget* window, QWidget* start, int limit = 80)
{
    start->setFocus(Qt::TabFocusReason);
    QList<QWidget*> visited;
    for (QWidget* current = window->focusWidget(); current && visited.size() < limit;) {
        visited.append(current);
        QTest::keyClick(current, Qt::Key_Tab);
        if (window->focusWidget() == current)
            QTest::keyClick(current, Qt::Key_Tab, Qt::ControlModifier);
        current = window->focusWidget();
        if (current == visited.first() || current == visited.last())
            break;
    }
    return visited;
}

inline QStringList ObjectNames(const QList<QWidget*>& widgets)
{
    QStringList names;
    for (const QWidget* widget : widgets)
        names.append(widget->objectName());
    return names;
}

// Every control of `window` that Tab may stop at as it stands: shown, enabled and taking focus from Tab.
inline QList<QWidget*> TabStops(QWidget* window)
{
    QList<QWidget*> stops;
    for (QWidget* widget : window->findChildren<QWidget*>()) {
        // Of a row of radio buttons Tab stops at the checked one; the arrow keys go along the row.
        const auto* radio = qobject_cast<QRadioButton*>(widget);
        if ((widget->focusPolicy() & Qt::TabFocus) && !widget->focusProxy() && widget->isVisibleTo(window) &&
            widget->isEnabled() && !(radio && !radio->isChecked()))
            stops.append(widget);
    }
    return stops;
}

// What a screen reader says the control is called. A list keeps the name given to it: on Linux the
// accessible name of a combo box is its current text, which tells nothing about what the list is for.
inline QString SpokenName(QWidget* widget)
{
    if (qobject_cast<QComboBox*>(widget))
        return widget->accessibleName();
    QAccessibleInterface* accessible = QAccessible::queryAccessibleInterface(widget);
    return accessible ? accessible->text(QAccessible::Name) : QString();
}

// The controls among `widgets` that a screen reader user could not tell apart: no name, no text, no label.
inline QStringList Unnamed(const QList<QWidget*>& widgets)
{
    QStringList names;
    for (QWidget* widget : widgets) {
        if (SpokenName(widget).trimmed().isEmpty())
            names.append(widget->objectName());
    }
    return names;
}
