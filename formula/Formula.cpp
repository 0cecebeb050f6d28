#include "formula/Formula.h"

#include "formula/GlyphCache.h"
#include "formula/MathFont.h"
#include "formula/Script.h"
#include "formula/Typesetter.h"

#include <QHash>
#include <QPaintEngine>
#include <QPainter>

#include <cmath>

#include <list>
#include <mutex>

namespace formula {

namespace {

QImage withRatio(QImage image, double dpr)
{
    image.setDevicePixelRatio(dpr);
    return image;
}

} // namespace

void Layout::paint(QPainter* painter, const QPointF& origin, const QColor& colour) const
{
    painter->save();
    painter->translate(origin);
    painter->setPen(Qt::NoPen);
    painter->setBrush(colour);
    painter->setRenderHint(QPainter::Antialiasing);
    const QTransform toDevice = painter->combinedTransform();
    const double dpr = painter->device() ? painter->device()->devicePixelRatioF() : 1.0;
    const double pixels = toDevice.m11() * dpr;
    // Rendered glyphs only where they land pixel for pixel: a raster device, scaled alike both ways, neither
    // rotated nor sheared, and glyphs of a size a cache holds.
    const bool blit = painter->paintEngine() && painter->paintEngine()->type() == QPaintEngine::Raster
                      && toDevice.type() <= QTransform::TxScale && pixels > 0
                      && std::abs(toDevice.m22() - toDevice.m11()) <= 1e-9 * pixels;
    if (!blit) {
        painter->drawPath(outline);
        painter->restore();
        return;
    }
    // Glyphs bigger than this on the device are filled as outlines: images of them would cost more than they save.
    constexpr double kLargestBlit = 512;
    QPainterPath large = shapes;
    for (const PlacedGlyph& g : glyphs) {
        if (g.scale * pixels * MathFont::instance().unitsPerEm(g.face == 0 ? MathFont::Math : MathFont::Text)
            > kLargestBlit)
            large.addPath(QTransform(g.scale, 0, 0, g.scale, g.x, g.y)
                              .map(MathFont::instance().outline(g.face == 0 ? MathFont::Math : MathFont::Text, g.id)));
    }
    large.setFillRule(Qt::WindingFill);
    painter->drawPath(large);
    painter->resetTransform();
    for (const PlacedGlyph& g : glyphs) {
        if (g.scale * pixels * MathFont::instance().unitsPerEm(g.face == 0 ? MathFont::Math : MathFont::Text)
            > kLargestBlit)
            continue;
        const QPointF at = toDevice.map(QPointF(g.x, g.y)) * dpr;
        const QPointF whole(std::floor(at.x()), std::floor(at.y()));
        const GlyphCache::Rendered r =
            GlyphCache::Get(g.face, g.id, g.scale * pixels, at - whole, colour.rgba());
        if (r.image.isNull())
            continue;
        painter->drawImage(QPointF((whole.x() + r.offset.x()) / dpr, (whole.y() + r.offset.y()) / dpr),
                           dpr == 1.0 ? r.image : withRatio(r.image, dpr));
    }
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

namespace {

// The layouts of the formulas a document shows: each is painted whenever its page is, so keep them.
class LayoutCache
{
public:
    std::shared_ptr<const Layout> find(const QString& script, double size)
    {
        std::lock_guard lock(m_lock);
        auto found = m_index.find(Key {script, size});
        if (found == m_index.end())
            return nullptr;
        m_order.splice(m_order.begin(), m_order, found.value());
        return found.value()->second;
    }
    void add(const QString& script, double size, std::shared_ptr<const Layout> layout)
    {
        std::lock_guard lock(m_lock);
        const Key key {script, size};
        if (m_index.contains(key))
            return;
        m_order.emplace_front(key, std::move(layout));
        m_index.insert(key, m_order.begin());
        while (m_order.size() > kCapacity) {
            m_index.remove(m_order.back().first);
            m_order.pop_back();
        }
    }

private:
    struct Key
    {
        QString script;
        double size;
        bool operator==(const Key& other) const { return size == other.size && script == other.script; }
    };
    friend size_t qHash(const Key& key, size_t seed) { return qHashMulti(seed, key.script, key.size); }

    static constexpr size_t kCapacity = 4096;
    std::mutex m_lock;
    std::list<std::pair<Key, std::shared_ptr<const Layout>>> m_order;
    QHash<Key, std::list<std::pair<Key, std::shared_ptr<const Layout>>>::iterator> m_index;
};

LayoutCache& cache()
{
    static LayoutCache* const layouts = new LayoutCache;
    return *layouts;
}

} // namespace

std::shared_ptr<const Layout> Lay(const QString& script, double pointSize)
{
    if (auto known = cache().find(script, pointSize))
        return known;
    const std::unique_ptr<Node> tree =
        Parse(script.size() > kMaxShownLength ? script.left(kMaxShownLength) + QStringLiteral(" \"…\"") : script);
    auto layout = std::make_shared<const Layout>(Typeset(*tree, pointSize));
    cache().add(script, pointSize, layout);
    return layout;
}

QString MathFontPath()
{
    return MathFont::instance().path();
}

QString MathFontError()
{
    return MathFont::instance().error();
}

} // namespace formula
