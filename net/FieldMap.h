#pragma once

// A field map holds one record of metadata: the server's field names as keys and the texts that the
// controls show as values. Unordered, one value per key, set-or-replace.

#include <QHash>
#include <QList>
#include <QString>

class CMapStringToString
{
public:
    using Container = QHash<QString, QString>;
    using const_iterator = Container::const_iterator;

    CMapStringToString() = default;
    CMapStringToString(std::initializer_list<std::pair<QString, QString>> entries) : m_map(entries) {}

    void SetAt(const QString& key, const QString& value) { m_map.insert(key, value); }
    // Returns whether the key is present; the value is written only when it is.
    bool Lookup(const QString& key, QString& value) const
    {
        const auto it = m_map.constFind(key);
        if (it == m_map.constEnd())
            return false;
        value = it.value();
        return true;
    }
    // The value of a key, or an empty text when the key is absent.
    QString Value(const QString& key) const { return m_map.value(key); }
    bool Contains(const QString& key) const { return m_map.contains(key); }
    bool RemoveKey(const QString& key) { return m_map.remove(key); }
    void RemoveAll() { m_map.clear(); }
    qsizetype GetCount() const { return m_map.size(); }
    bool IsEmpty() const { return m_map.isEmpty(); }

    const_iterator begin() const { return m_map.cbegin(); }
    const_iterator end() const { return m_map.cend(); }

    bool operator==(const CMapStringToString& other) const = default;

private:
    Container m_map;
};

// One field map per record, held by value: emptying the list releases every record.
using CFieldMapList = QList<CMapStringToString>;
