#include "formula/GlyphCache.h"

#include "formula/MathFont.h"

#include <QHash>
#include <QPainter>
#include <QRawFont>

#include <cmath>
#include <list>
#include <mutex>

namespace formula::GlyphCache {

namespace {

// Positions within a pixel are kept to a quarter pixel: finer does not show.
constexpr int kSteps = 4;
constexpr qsizetype kBudgetBytes = 64 * 1024 * 1024;

struct Key
{
    int face; // 0 and 1 for the formula faces, then the raw fonts in the order first seen
    quint32 id;
    qint64 size; // pixels per font unit × 2^20
    int dx, dy;
    QRgb colour;
    bool operator==(const Key& o) const
    {
        return face == o.face && id == o.id && size == o.size && dx == o.dx && dy == o.dy && colour == o.colour;
    }
};

size_t qHash(const Key& k, size_t seed)
{
    return qHashMulti(seed, k.face, k.id, k.size, k.dx, k.dy, k.colour);
}

class Cache
{
public:
    bool find(const Key& key, Rendered* out)
    {
        std::lock_guard lock(m_lock);
        auto found = m_index.find(key);
        if (found == m_index.end())
            return false;
        m_order.splice(m_order.begin(), m_order, found.value());
        *out = found.value()->second;
        return true;
    }
    void add(const Key& key, const Rendered& rendered)
    {
        std::lock_guard lock(m_lock);
        if (m_index.contains(key))
            return;
        m_order.emplace_front(key, rendered);
        m_index.insert(key, m_order.begin());
        m_bytes += rendered.image.sizeInBytes();
        while (m_bytes > kBudgetBytes && m_order.size() > 1) {
            m_bytes -= m_order.back().second.image.sizeInBytes();
            m_index.remove(m_order.back().first);
            m_order.pop_back();
        }
    }

private:
    std::mutex m_lock;
    std::list<std::pair<Key, Rendered>> m_order;
    QHash<Key, std::list<std::pair<Key, Rendered>>::iterator> m_index;
    qsizetype m_bytes = 0;
};

Cache& cache()
{
    static Cache* const glyphs = new Cache;
    return *glyphs;
}

Rendered render(const QPainterPath& outline, const Key& key, double pixelsPerUnit)
{
    Rendered rendered;
    if (outline.isEmpty())
        return rendered;
    const QPointF shift(double(key.dx) / kSteps, double(key.dy) / kSteps);
    const QTransform place =
        QTransform::fromScale(pixelsPerUnit, pixelsPerUnit) * QTransform::fromTranslate(shift.x(), shift.y());
    const QRect box = place.mapRect(outline.boundingRect()).toAlignedRect().adjusted(-1, -1, 1, 1);
    if (box.isEmpty() || box.width() > 4096 || box.height() > 4096)
        return rendered;
    QImage image(box.size(), QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(Qt::NoPen);
    painter.setBrush(QColor::fromRgba(key.colour));
    painter.translate(-box.topLeft());
    painter.setTransform(place, true);
    painter.drawPath(outline);
    painter.end();
    // An image keeps the paint engine it was painted with until it goes, some 25 kB: the cache keeps a copy.
    rendered.image = image.copy();
    rendered.offset = box.topLeft();
    return rendered;
}

Key keyOf(int face, quint32 id, double pixelsPerUnit, QPointF fraction, QRgb colour)
{
    return {face,
            id,
            qint64(std::llround(pixelsPerUnit * 1048576.0)),
            std::clamp(int(fraction.x() * kSteps), 0, kSteps - 1),
            std::clamp(int(fraction.y() * kSteps), 0, kSteps - 1),
            colour};
}

} // namespace

Rendered Get(int face, quint32 id, double pixelsPerUnit, QPointF fraction, QRgb colour)
{
    const Key key = keyOf(face, id, pixelsPerUnit, fraction, colour);
    Rendered rendered;
    if (cache().find(key, &rendered))
        return rendered;
    rendered =
        render(MathFont::instance().outline(face == 0 ? MathFont::Math : MathFont::Text, id), key, pixelsPerUnit);
    cache().add(key, rendered);
    return rendered;
}

// Raw fonts of the same face are distinct objects on each thread, so they are told apart by what makes their
// outlines differ: the face (family and style), the weight and slant asked for (a bold or italic the face lacks
// is made up from its outlines) and the size.
int FaceOf(const QRawFont& font)
{
    static std::mutex lock;
    static QHash<QString, int>* const numbers = new QHash<QString, int>;
    const QString name = QStringLiteral("%1|%2|%3|%4|%5")
                             .arg(font.familyName(), font.styleName())
                             .arg(font.weight())
                             .arg(int(font.style()))
                             .arg(font.pixelSize(), 0, 'g', 17);
    std::lock_guard guard(lock);
    auto found = numbers->constFind(name);
    if (found == numbers->constEnd())
        found = numbers->insert(name, int(numbers->size()) + 2);
    return found.value();
}

Rendered Get(const QRawFont& font, int face, quint32 id, double pixelsPerUnit, QPointF fraction, QRgb colour)
{
    const Key key = keyOf(face, id, pixelsPerUnit, fraction, colour);
    Rendered rendered;
    if (cache().find(key, &rendered))
        return rendered;
    QPainterPath outline = font.pathForGlyph(id);
    outline.setFillRule(Qt::WindingFill);
    rendered = render(outline, key, pixelsPerUnit);
    cache().add(key, rendered);
    return rendered;
}

} // namespace formula::GlyphCache
