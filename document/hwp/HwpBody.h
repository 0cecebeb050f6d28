#pragma once

#include "document/DroppedObjects.h"

#include "document/PageDecorations.h"
#include "document/PageGeometry.h"
#include "document/hwp/Container.h"
#include "document/hwp/HwpFile.h"
#include "document/hwp/HwpDocInfo.h"
#include "document/hwp/Records.h"

#include <QHash>
#include <QImage>
#include <QList>
#include <QTextBlock>
#include <QTextCursor>

#include <optional>
#include <utility>

class QTextDocument;
class QTextList;

// Turns the records of the BodyText sections into the editor's document. The records were checked when they
// were split (sizes, levels), so what is read here cannot fail: what the editor cannot show, or what refers
// to something that is not there, is left out and counted.
class HwpBody
{
public:
    // `streams` gives the pictures; `compressed` is the file header's word on how they are stored.
    HwpBody(QTextDocument& document, const HwpDocInfo::DocInfo& info, const HwpContainer::Streams& streams,
            bool compressed);

    void ReadSection(const QList<HwpRecords::Record>& records);
    // The first section's page, when the file gives a usable one.
    std::optional<PageGeometry> Page() const;
    const DroppedObjects& Dropped() const { return m_dropped; }
    // The block each paragraph read starts in, by section and record.
    const QList<HwpFile::ParagraphPlace>& ParagraphPlaces() const { return m_places; }

private:
    // A section's records, with where each record's children end.
    struct Tree
    {
        const QList<HwpRecords::Record>& records;
        QList<qsizetype> ends;
        QList<qsizetype> children(qsizetype parent) const;
    };
    struct Cell;

    // Lengths and sizes as far as a damaged file may take them, HWPUNIT.
    static int units(qint64 value);

    void readParagraph(const Tree& tree, qsizetype index, QTextCursor& cursor, bool& fresh, int depth);
    // True when the control stood on a line of its own (a picture not set as a character), so that the
    // paragraph's text after it starts a new line.
    bool readControl(const Tree& tree, qsizetype index, QTextCursor& cursor, const QTextCharFormat& format,
                     const QTextBlockFormat& paragraph, int depth);
    void readSectionDef(const Tree& tree, qsizetype index);
    void readColumnDef(const HwpRecords::Record& record);
    void readTable(const Tree& tree, qsizetype index, QTextCursor& cursor, int depth);
    // The paragraphs of a caption, header or footer, as a small document of their own in the editor's format.
    QByteArray readList(const Tree& tree, const QList<qsizetype>& paragraphs, int depth);
    // A header or footer, and where the page number stands.
    void readMargin(const Tree& tree, qsizetype index, bool header, int depth);
    void readPageNumber(const HwpRecords::Record& record);
    void readAutoNumber(const HwpRecords::Record& record, QTextCursor& cursor, const QTextCharFormat& format);
    // How tall the word processor laid out the text of a cell's paragraphs, and the spacing below its last line,
    // in HWPUNIT; zeros when it did not say.
    std::pair<int, int> contentHeight(const Tree& tree, const QList<qsizetype>& paragraphs) const;
    // In HwpBodyObjects.cpp, with the pictures.
    void readEquation(const Tree& tree, qsizetype index, QTextCursor& cursor, const QTextCharFormat& format);
    bool readPicture(const Tree& tree, qsizetype index, QTextCursor& cursor, const QTextBlockFormat& paragraph);
    // The picture of bin item `binId`; null when it is missing or not a picture.
    QImage loadPicture(int binId) const;
    void number(QTextCursor& cursor, const HwpDocInfo::ParaShape& shape);

    QTextDocument& m_document;
    const HwpDocInfo::DocInfo& m_info;
    const HwpContainer::Streams& m_streams;
    bool m_compressed;
    DroppedObjects m_dropped;
    QHash<int, QString> m_pictureNames; // bin item → the document's resource, empty when it did not decode
    int m_pictures = 0;
    qsizetype m_pictureBytes = 0;
    int m_cells = 0;
    bool m_sawSection = false;
    bool m_sawColumns = false;
    PageGeometry m_section;
    int m_outlineNumbering = 0;
    // The list each numbering continues in, per level and per scope: the body is scope 0, each table cell a
    // scope of its own, since a list cannot run from one cell into another.
    QHash<QString, QTextList*> m_lists;
    int m_scope = 0;
    int m_scopes = 0;
    QTextCursor m_cursor;
    bool m_fresh = true;
    QList<HwpFile::ParagraphPlace> m_places;
    int m_sectionIndex = -1;
    bool m_sectionStart = false;
    // Headers and footers of the first section, and whether a header's or footer's paragraphs are being read,
    // where an automatic page number stands for each page's own.
    PageDecorations::Margins m_margins;
    bool m_inMargin = false;
};
