#include "document/DroppedObjects.h"

#include <QStringList>

#include <iterator>
#include <numeric>

namespace {

// In the order of DroppedObjects::Kind.
constexpr const char16_t* kLabels[] = {u"그리기 개체", u"그림", u"각주·미주", u"숨은 설명", u"캡션",
                                       u"수식",        u"표",   u"표의 칸",   u"양식 개체", u"기타 개체"};
static_assert(std::size(kLabels) == std::size_t(DroppedObjects::Kind::Other) + 1);

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
            parts.append(QStringLiteral("%1 %2개").arg(QString::fromUtf16(kLabels[i])).arg(m_counts[i]));
    }
    return parts.join(QStringLiteral(", "));
}
