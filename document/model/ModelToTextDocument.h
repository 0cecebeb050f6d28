#pragma once

#include "document/CellDiagonals.h"
#include "document/DroppedObjects.h"
#include "document/PageDecorations.h"
#include "document/PageGeometry.h"
#include "document/model/HwpModel.h"

#include <QHash>
#include <QList>
#include <QString>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextFormat>

#include <array>
#include <optional>

class QTextDocument;
class QTextList;

// Builds the editor's document from the model, whichever form the model was read from: the one place where the
// word processor's shapes, units and rules become Qt's formats. Everything a reader could not check (an id with
// no shape, a cell outside its table, a table too deep or too large) is settled here, the same for every form:
// left out and counted, never the document lost.
class ModelToTextDocument
{
public:
    // Where a paragraph of the model went: its section, its place in the file, how deep in tables it stands
    // (0: the body), and the block it starts in.
    struct Place
    {
        int section = 0;
        qsizetype record = 0;
        int depth = 0;
        QTextBlock block;
    };

    // Fills `document`, which should be empty, from `model`.
    static void Fill(QTextDocument& document, const HwpModel::Document& model, std::optional<PageGeometry>* page,
                     DroppedObjects* dropped, QList<Place>* places = nullptr);

private:
    struct Border
    {
        QTextFrameFormat::BorderStyle style = QTextFrameFormat::BorderStyle_None;
        double width = 0; // points
        QColor colour;
    };
    struct CellFill
    {
        std::array<Border, 4> sides; // left, right, top, bottom
        QColor face;                 // invalid: no shading
        CellDiagonals::Diagonals diagonals;
    };
    struct ParaFormat
    {
        // Lengths in format units (see LayoutUnits).
        QTextBlockFormat format;
        // Line spacing in percent of the font size, which the paragraph's fonts turn into a format; 0 when the
        // format gives the spacing.
        double percentSpacing = 0;
        // Spacing added to the font size between lines, and a fixed pitch, in points; negative when the format
        // gives the spacing.
        double addedSpacing = -1;
        double fixedSpacing = -1;
        HwpModel::Heading heading = HwpModel::Heading::None;
        int numbering = 0;
        int level = 0;
    };

    ModelToTextDocument(QTextDocument& document, const HwpModel::Document& model);

    void section(const HwpModel::Section& section);
    void paragraph(const HwpModel::Paragraph& paragraph, QTextCursor& cursor, bool& fresh, int depth);
    // True when the control stood on a line of its own (a picture not set as a character), so that the
    // paragraph's text after it starts a new line.
    bool control(const HwpModel::Control& control, QTextCursor& cursor, const QTextCharFormat& format,
                 const QTextBlockFormat& paragraph, int depth);
    void sectionDef(const HwpModel::Control& control);
    void table(const HwpModel::Table& table, QTextCursor& cursor, int depth);
    // The paragraphs of a caption, header or footer, as a small document of their own in the editor's format.
    QByteArray list(const HwpModel::Paragraphs& paragraphs, int depth);
    void margin(const HwpModel::Margin& margin, bool header, int depth);
    void pageNumber(const HwpModel::PageNumber& number);
    void equation(const HwpModel::Equation& equation, QTextCursor& cursor, const QTextCharFormat& format);
    bool picture(const HwpModel::Picture& picture, QTextCursor& cursor, const QTextBlockFormat& paragraph);
    void number(QTextCursor& cursor, const ParaFormat& shape);
    QTextCharFormat charFormat(int id) const;

    QTextDocument& m_document;
    const HwpModel::Document& m_model;
    QList<QTextCharFormat> m_charFormats;
    QList<ParaFormat> m_paraFormats;
    QList<CellFill> m_fills;
    DroppedObjects m_dropped;
    QHash<int, QString> m_pictureNames; // bin item → the document's resource, empty when it did not decode
    int m_pictures = 0;
    qsizetype m_pictureBytes = 0;
    int m_cells = 0;
    bool m_sawSection = false;
    bool m_sawColumns = false;
    PageGeometry m_page;
    int m_outlineNumbering = 0;
    // The list each numbering continues in, per level and per scope: the body is scope 0, each table cell, caption,
    // header and footer a scope of its own, since a list cannot run from one into another.
    QHash<QString, QTextList*> m_lists;
    int m_scope = 0;
    int m_scopes = 0;
    QTextCursor m_cursor;
    bool m_fresh = true;
    QList<Place> m_places;
    int m_sectionIndex = -1;
    bool m_sectionStart = false;
    // Headers and footers of the first section, and whether a header's or footer's paragraphs are being laid in,
    // where an automatic page number stands for each page's own.
    PageDecorations::Margins m_margins;
    bool m_inMargin = false;
};
