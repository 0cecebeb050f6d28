#include "document/DroppedObjects.h"

#include <QStringList>

#include <numeric>

namespace {

const char16_t* label(DroppedObjects::Kind kind)
{
    switch (kind) {
    case DroppedObjects::Kind::DrawnObject:
        return u"그리기 개체";
    case DroppedObjects::Kind::Picture:
        return u"그림";
    case DroppedObjects::Kind::Note:
        return u"각주·미주";
    case DroppedObjects::Kind::HiddenComment:
        return u"숨은 설명";
    case DroppedObjects::Kind::Caption:
        return u"캡션";
    case DroppedObjects::Kind::Formula:
        return u"수식";
    case DroppedObjects::Kind::Table:
        return u"표";
    case DroppedObjects::Kind::TableCell:
        return u"표의 칸";
    case DroppedObjects::Kind::FormObject:
        return u"양식 개체";
    case DroppedObjects::Kind::Other:
        break;
    }
    return u"기타 개체";
}

} // namespace

void DroppedObjects::Add(Kind kind, int count)
{
    m_counts[std::size_t(kind)] += count;
}

void DroppedObjects::Add(const DroppedObjects& other)
{
    for (std::size_t i = 0; i < m_counts.size(); ++i)
        m_counts[i] += other.m_counts[i];
}

int DroppedObjects::Total() const
{
    return std::accumulate(m_counts.begin(), m_counts.end(), 0);
}

QString DroppedObjects::Describe() const
{
    QStringList parts;
    for (std::size_t i = 0; i < m_counts.size(); ++i) {
        if (m_counts[i] > 0)
            parts.append(QStringLiteral("%1 %2개").arg(QString::fromUtf16(label(Kind(i)))).arg(m_counts[i]));
    }
    return parts.join(QStringLiteral(", "));
}
