#pragma once

#include <QPoint>

class QMouseEvent;
class QWidget;

// Lets a window without a title bar be dragged by its surface: the window system moves it when it can
// (as for a press on a title bar), otherwise the window follows the mouse itself.
class SurfaceDrag
{
public:
    void Press(QWidget* window, const QMouseEvent* event);
    void Move(QWidget* window, const QMouseEvent* event);

private:
    QPoint m_offset;
    bool m_dragging = false;
};
