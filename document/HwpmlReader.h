#pragma once

#include "document/DroppedObjects.h"

#include "document/PageGeometry.h"
#include "document/model/HwpModel.h"

#include <QString>
#include <QXmlStreamReader>

#include <optional>

class QIODevice;
class QTextDocument;

// Reads an HWP XML (HWPML 2.x) document into the model, and from it into a QTextDocument: paragraphs with their
// shapes and numbering, character shapes, tables with merged cells, borders, diagonals and shading, equations,
// captions, headers, footers and page numbers, and the page of the first section. What the editor cannot show
// yet (pictures, drawn shapes, form controls, notes) is left out and counted, never turned into other text.
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
    void readFontFace();
    void readCharShape();
    void readBorderFill();
    void readParaShape();
    void readNumbering();
    HwpModel::Paragraphs readParagraphs(int depth);
    HwpModel::Paragraph readParagraph(int depth);
    void readText(HwpModel::Paragraph& paragraph, int depth);
    void readChar(HwpModel::Paragraph& paragraph);
    HwpModel::Equation readEquation();
    std::optional<HwpModel::PageDef> readSectionDef();
    HwpModel::Table readTable(int depth);
    HwpModel::Cell readCell(int row, int depth);
    HwpModel::Caption readCaption(int depth);
    // The paragraphs of the lists (PARALIST) of the current element, and the first one's vertical alignment.
    HwpModel::Paragraphs readList(int depth, int* verticalAlignment);
    // Leaves out the current element and everything in it.
    void drop(DroppedObjects::Kind kind);
    // An item of a list that the file numbers by id: the list grows to hold it, within bounds, with `gap` for the
    // ids it skips.
    template <typename T> static T* item(QList<T>& list, int index, const T& gap = T());

    QXmlStreamReader m_xml;
    HwpModel::Document m_model;
    std::optional<PageGeometry> m_page;
    DroppedObjects m_dropped;
};
