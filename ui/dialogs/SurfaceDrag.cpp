#include "ui/dialogs/SurfaceDrag.h"

#include <QMouseEvent>
#include <QWidget>
#include <QWindow>

void SurfaceDrag::Press(QWidget* window, const QMouseEvent* event)
{
    m_dragging = false;
    if (event->button() != Qt::LeftButton)
        return;
    if (QWindow* handle = window->windowHandle(); handle && handle->startSystemMove())
        return;
    m_dragging = true;
    m_offset = event->globalPosition().toPoint() - window->frameGeometry().topLeft();
}

void SurfaceDrag::Move(QWidget* window, const QMouseEvent* event)
{
    if (m_dragging && (event->buttons() & Qt::LeftButton))
        window->move(event->globalPosition().toPoint() - m_offset);
    else
        m_dragging = false;
}
