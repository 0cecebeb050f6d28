#include "formula/Formula.h"

#include "formula/MathFont.h"
#include "formula/Script.h"
#include "formula/Typesetter.h"

#include <QHash>
#include <QPainter>

#include <list>
#include <mutex>

namespace formula {

void Layout::paint(QPainter* painter, const QPointF& origin, const QColor& colour) const
{
    painter->save();
    painter->translate(origin);
    painter->setPen(Qt::NoPen);
    painter->setBrush(colour);
    painter->setRenderHint(QPainter::Antialiasing);
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
