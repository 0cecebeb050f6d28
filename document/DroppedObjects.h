#pragma once

#include <QString>

#include <array>

// What a reader left out of a document because the editor cannot show it yet, counted by kind, so that the
// writer can be told what went.
class DroppedObjects
{
public:
    enum class Kind
    {
        DrawnObject, // shapes, text boxes, containers
        Picture,     // a picture whose data is missing or unreadable
        Note,        // footnotes and endnotes
        HiddenComment,
        Caption,
        Formula,   // an equation without its script record
        Table,     // beyond the nesting or the size the editor takes
        TableCell, // a cell outside its table, or over another
        FormObject,
        Other,
    };

    void Add(Kind kind, int count = 1);
    void Add(const DroppedObjects& other);
    int Count(Kind kind) const { return m_counts[std::size_t(kind)]; }
    int Total() const;
    // The kinds and their counts, "그리기 개체 3개, 각주·미주 1개"; empty when nothing was left out.
    QString Describe() const;
    bool operator==(const DroppedObjects&) const = default;

private:
    std::array<int, std::size_t(Kind::Other) + 1> m_counts{};
};
