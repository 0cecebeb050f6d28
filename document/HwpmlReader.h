#pragma once

#include "document/DroppedObjects.h"

#include "document/PageGeometry.h"

#include <QHash>
#include <QList>
#include <QSet>
#include <QString>
#include <QColor>
#include <QTextFormat>
#include <QXmlStreamReader>

#include <array>
#include <optional>

class QIODevice;
class QTextCursor;
class QTextDocument;
class QTextList;
class QTextTable;

// Reads an HWP XML (HWPML 2.x) document into a QTextDocument: paragraphs with their shapes and numbering,
// character shapes, tables with merged cells, borders and shading, equations as formulas, and the page of
// the first section. What the editor cannot show yet (pictures, drawn shapes, form controls, headers,
// footers, notes) is left out and counted, never turned into other text.
class HwpmlReader
{
public:
    explicit HwpmlReader(QIODevice* device);

    enum class Outcome
    {
        Read,
        NotHwpml,
        XmlError,
    };

    // Fills `document`, which should be empty. On anything but Read the document holds whatever was read
    // before the fault.
    Outcome Read(QTextDocument& document);
    // Where and why the XML could not be read, after Outcome::XmlError.
    qint64 ErrorLine() const { return m_xml.lineNumber(); }
    QString ErrorText() const { return m_xml.errorString(); }
    // The page of the first section, when the file gives a usable one.
    std::optional<PageGeometry> Page() const { return m_page; }
    const DroppedObjects& Dropped() const { return m_dropped; }

private:
    struct Border
    {
        bool visible = false;
        double width = 0; // points
        QTextFrameFormat::BorderStyle style = QTextFrameFormat::BorderStyle_None;
        QColor colour;
    };
    struct BorderFill
    {
        std::array<Border, 4> sides; // left, right, top, bottom
        QColor face;                 // invalid: no shading
    };
    struct ParaShape
    {
        QTextBlockFormat format;
        double percentSpacing = 0; // of the font size; 0 when the format gives the spacing
        double addedSpacing = -1;  // to the font size, in points; negative when the format gives the spacing
        double fixedSpacing = -1;  // a fixed pitch, in points; negative when the format gives the spacing
        QString headingType;       // "Number", "Bullet", "Outline" or "None"
        QString heading;           // the numbering or bullet id
        int level = 0;             // 0-based
    };
    struct ParaHead
    {
        QString numFormat;
        QString text; // the pattern, e.g. "^1." or "(^1)"
    };

    void readFontFace();
    void readCharShape();
    void readBorderFill();
    void readParaShape();
    void readNumbering();
    // Paragraphs up to the end of the current element. `fresh`: the cursor's block is an empty one the first
    // paragraph may take.
    void readParagraphs(QTextCursor& cursor, bool& fresh, int depth);
    void readParagraph(QTextCursor& cursor, bool& fresh, int depth);
    void readText(QTextCursor& cursor, const QTextCharFormat& format, int depth);
    void readChar(QTextCursor& cursor, const QTextCharFormat& format);
    // An equation, as a formula in the text around it.
    void readEquation(QTextCursor& cursor, const QTextCharFormat& format);
    void readSectionDef();
    void readColumnDef();
    void readTable(QTextCursor& cursor, int depth);
    void readCell(QTextTable* table, QSet<quint32>& taken, QList<int>& widths, int row, int depth);
    void number(QTextCursor& cursor, const ParaShape& shape);
    // Leaves out the current element and everything in it.
    void drop(DroppedObjects::Kind kind);

    QXmlStreamReader m_xml;
    std::optional<PageGeometry> m_page;
    bool m_sawSection = false;
    bool m_sawColumns = false;
    PageGeometry m_section;
    DroppedObjects m_dropped;

    QHash<QString, QString> m_hangulFonts; // font id → face name
    QHash<QString, QTextCharFormat> m_charShapes;
    QHash<QString, BorderFill> m_borderFills;
    QHash<QString, ParaShape> m_paraShapes;
    QHash<QString, QHash<int, ParaHead>> m_numberings; // id → level (1-based) → head
    // The list each numbering continues in, per level and per scope: the body is scope 0, each table cell
    // a scope of its own, since a list cannot run from one cell into another.
    QHash<QString, QTextList*> m_lists;
    int m_scope = 0;
    int m_scopes = 0;
};
