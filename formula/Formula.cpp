#include "formula/Formula.h"

#include <QFont>
#include <QPainter>

namespace formula {

void Layout::paint(QPainter* painter, const QPointF& origin, const QColor& colour) const
{
    painter->save();
    painter->translate(origin);
    painter->setPen(Qt::NoPen);
    painter->setBrush(colour);
    painter->drawPath(outline);
    painter->restore();
}

QList<Part> Layout::partsOf(Part::Kind kind) const
{
    QList<Part> found;
    for (const Part& part : parts)
        if (part.kind == kind)
            found.append(part);
    return found;
}

// Placeholder until the engine lands: the script as text.
std::shared_ptr<const Layout> Lay(const QString& script, double pointSize)
{
    auto layout = std::make_shared<Layout>();
    QFont font;
    font.setPointSizeF(pointSize);
    layout->outline.addText(0, 0, font, script);
    const QRectF r = layout->outline.boundingRect();
    layout->width = r.right();
    layout->ascent = pointSize * 0.8;
    layout->descent = pointSize * 0.2;
    layout->axis = pointSize * 0.25;
    return layout;
}

QString MathFontPath()
{
    return {};
}

QString MathFontError()
{
    return {};
}

} // namespace formula
