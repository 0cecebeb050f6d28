#include "editor/ToolbarIcons.h"

#include <QAction>
#include <QFile>
#include <QHash>
#include <QIcon>
#include <QPainter>
#include <QPixmap>
#include <QSvgRenderer>
#include <QToolButton>

namespace {

// Icons come from the SVG files compiled into the program, drawn once per process at the toolbar's size and
// twice that for high-density screens; three editors share them. An icon engine plug-in is not needed.
QIcon toolbarIcon(const QString& name)
{
    static QHash<QString, QIcon> cache;
    if (const auto it = cache.constFind(name); it != cache.constEnd())
        return *it;
    QIcon icon;
    const QString path = QStringLiteral(":/vellorin/icons/%1.svg").arg(name);
    if (QFile::exists(path)) {
        QSvgRenderer renderer(path);
        for (int size : {24, 48}) {
            QPixmap pixmap(size, size);
            pixmap.fill(Qt::transparent);
            QPainter painter(&pixmap);
            painter.setRenderHint(QPainter::Antialiasing);
            renderer.render(&painter);
            painter.end();
            icon.addPixmap(pixmap);
        }
    }
    cache.insert(name, icon);
    return icon;
}

} // namespace

void ApplyToolbarIcons(QWidget* root)
{
    for (QToolButton* button : root->findChildren<QToolButton*>()) {
        QAction* action = button->defaultAction();
        QIcon icon = toolbarIcon(button->objectName());
        if (icon.isNull() && action)
            icon = toolbarIcon(action->objectName());
        if (icon.isNull())
            continue;
        if (action) {
            action->setIcon(icon);
            action->setToolTip(action->text());
        } else {
            button->setIcon(icon);
            button->setToolTip(button->text());
        }
        button->setToolButtonStyle(Qt::ToolButtonIconOnly);
    }
}
