#pragma once

#include "document/DroppedObjects.h"

#include <QByteArray>
#include <QHash>
#include <QList>
#include <QString>
#include <QtGlobal>

#include <array>
#include <optional>
#include <vector>

// The word processor's document as plain values, whichever form it was stored in: what each reader turns its
// bytes into, and what the editor's document is built from. Lengths stay in the file's own units (HWPUNIT,
// 1/7200 inch, unless a field says otherwise), codes stay the binary format's codes, and nothing here knows Qt's
// text classes: a reader fills these without deciding how anything is shown.
namespace HwpModel {

// COLORREF: 0x00BBGGRR; a value above 24 bits means no colour.
inline constexpr quint32 kNoColour = 0xFFFFFFFFu;
// The languages a character shape names a face and a size for; Korean first, which the body's text uses.
inline constexpr int kLanguages = 7;
// Outline and numbering levels: seven in every file, three more in the newer ones.
inline constexpr int kLevels = 10;

struct CharShape
{
    std::array<int, kLanguages> faces{};  // index into the language's font list; -1: none
    std::array<int, kLanguages> ratios{}; // width, percent
    std::array<int, kLanguages> spacings{}; // letter spacing, percent of the size
    std::array<int, kLanguages> relativeSizes{}; // percent
    qint32 height = 1000;                        // the base size, HWPUNIT
    quint32 properties = 0;                      // italic, bold, underline, super- and subscript, strike-out bits
    quint32 textColour = kNoColour;
    quint32 shadeColour = kNoColour;
    // False when the file's record was too short to hold a shape: plain text.
    bool known = true;
    CharShape()
    {
        faces.fill(0);
        ratios.fill(100);
        relativeSizes.fill(100);
    }
    bool operator==(const CharShape&) const = default;
};

enum class Heading
{
    None = 0,
    Outline = 1,
    Number = 2,
    Bullet = 3,
};

enum class LineSpacing
{
    Percent = 0,
    Fixed = 1,
    BetweenLines = 2,
    AtLeast = 3,
    Unknown = 99,
};

struct ParaShape
{
    // Justify, Left, Right, Center, Distribute, Divide.
    int alignment = 0;
    // Margins, indent and spacing above and below in the paragraph shapes' half units, 200 to the point; a
    // negative indent hangs.
    qint32 left = 0;
    qint32 right = 0;
    qint32 indent = 0;
    qint32 above = 0;
    qint32 below = 0;
    LineSpacing lineSpacingType = LineSpacing::Percent;
    // Percent for Percent, half units for the others.
    qint32 lineSpacing = 160;
    Heading heading = Heading::None;
    int numbering = 0; // the numbering or bullet id, from 1
    int level = 0;     // from 0, below kLevels
    bool operator==(const ParaShape&) const = default;
};

struct Border
{
    int type = 0;            // 0: no line; the binary format's line kinds
    double millimetres = -1; // negative: not given
    quint32 colour = kNoColour;
    bool operator==(const Border&) const = default;
};

struct BorderFill
{
    std::array<Border, 4> sides; // left, right, top, bottom
    int slash = 0;               // the diagonals' kinds; 0: none
    int backslash = 0;
    Border diagonal;
    quint32 face = kNoColour; // the cell's shading
    // False for an id the file never defined: the cell keeps the table's grid.
    bool known = true;
    bool operator==(const BorderFill&) const = default;
};

struct ParaHead
{
    int numberShape = 0; // Digit, CircledDigit, RomanCapital, … as the binary format numbers them
    QString pattern;     // "^1.", "(^2)"; empty: no number at this level
    bool operator==(const ParaHead&) const = default;
};
using Numbering = std::array<ParaHead, kLevels>;

struct BinItem
{
    int id = 0;
    QString extension;
    // 0: as the file says for all its streams, 1: compressed, 2: stored as it is.
    int compression = 0;
    bool embedded = false;
    bool operator==(const BinItem&) const = default;
};

struct DocInfo
{
    std::array<QStringList, kLanguages> fonts; // face names, by language
    QList<CharShape> charShapes;               // id 0 is the first
    QList<ParaShape> paraShapes;               // id 0 is the first
    QList<BorderFill> borderFills;             // id 1 is the first
    QList<Numbering> numberings;               // id 1 is the first
    QList<QChar> bullets;                      // the marks, id 1 is the first
    QHash<int, BinItem> binItems;              // by the id pictures refer to it with
    bool operator==(const DocInfo&) const = default;
};

// One line as the word processor laid it out, HWPUNIT.
struct LineSegment
{
    qint32 textStart = 0;
    qint32 top = 0;
    qint32 height = 0;
    qint32 textHeight = 0;
    qint32 baseline = 0;
    qint32 spacing = 0;
    qint32 columnStart = 0;
    qint32 width = 0;
    quint32 flags = 0;
    bool operator==(const LineSegment&) const = default;
};

struct CharRun
{
    int position = 0; // in the paragraph's text, as the model keeps it
    int shape = 0;
    bool operator==(const CharRun&) const = default;
};

struct Paragraph;
using Paragraphs = std::vector<Paragraph>;

struct PageDef
{
    int paperWidth = 59528;
    int paperHeight = 84188;
    int left = 8503;
    int right = 8503;
    int top = 5669;
    int bottom = 4251;
    int header = 4251;
    int footer = 4251;
    int gutter = 0;
    bool landscape = false; // the paper is given upright; a landscape page turns it
    bool operator==(const PageDef&) const = default;
};

struct Cell
{
    int column = 0; // -1: not given, the next free one of the row
    int row = 0;
    int columnSpan = 1;
    int rowSpan = 1;
    int width = 0;
    int height = 0;
    std::array<int, 4> margins{}; // left, right, top, bottom
    int borderFill = 0;
    Paragraphs paragraphs;
    bool operator==(const Cell&) const = default;
};

struct Caption
{
    int side = 3; // left, right, top, bottom
    bool toMargins = false; // as wide as the table and its margins
    int verticalAlignment = 0; // top, centre, bottom
    int width = 0;
    int gap = 0;
    int textWidth = 0;
    Paragraphs paragraphs;
    bool operator==(const Caption&) const = default;
};

struct Table
{
    int rows = 1;
    int columns = 1;
    std::array<int, 4> margins{}; // the cells' inner margins where a cell gives none of its own
    bool hasMargins = true;       // false: the file gave none, the editor's own apply
    int borderFill = 0;
    // False when the table's own record is missing: nothing to lay out.
    bool known = true;
    // Cells the file places beyond the rows and columns it gives make the table grow to hold them, rather than
    // being left out.
    bool grows = false;
    // The object's size as its header gives it.
    qint32 width = 0;
    qint32 height = 0;
    std::vector<Cell> cells;
    std::optional<Caption> caption;
    bool operator==(const Table&) const = default;
};

struct Equation
{
    QString script;
    quint32 baseUnit = 0; // the size, HWPUNIT; 0: the size of the text around it
    quint32 colour = 0;
    // The box the word processor gave it.
    qint32 width = 0;
    qint32 height = 0;
    // False when the file had no script record for it.
    bool known = true;
    bool operator==(const Equation&) const = default;
};

struct Picture
{
    int binId = -1; // -1: a drawn shape, with no picture
    bool asCharacter = false;
    int horizontal = 0; // left, centre, right, when on a line of its own
    qint64 width = 0;
    qint64 height = 0;
    // The part of the image shown, from its top left corner: its whole size unless it is cropped.
    qint32 imageWidth = 0;
    qint32 imageHeight = 0;
    bool operator==(const Picture&) const = default;
};

struct Margin
{
    int pages = 0; // both, even, odd
    int verticalAlignment = 0;
    Paragraphs paragraphs;
    bool operator==(const Margin&) const = default;
};

struct PageNumber
{
    int shape = 0;
    int position = 0; // 0: none
    QString prefix;
    QString suffix;
    QString dash;
    bool operator==(const PageNumber&) const = default;
};

struct AutoNumber
{
    int kind = 0; // 0: the page number
    int number = 0;
    bool operator==(const AutoNumber&) const = default;
};

struct Control
{
    enum class Kind
    {
        SectionDef,
        ColumnDef,
        Table,
        Equation,
        Picture,
        Header,
        Footer,
        PageNumber,
        AutoNumber,
        // Controls that show nothing on the page (fields, bookmarks, hidden page numbers).
        Invisible,
        // An object the editor cannot show yet; `dropped` says what it is.
        Other,
    };
    Kind kind = Kind::Other;
    DroppedObjects::Kind dropped = DroppedObjects::Kind::Other;
    std::optional<PageDef> page;
    int columnCount = 1;
    int columnGap = 0;
    Table table;
    Equation equation;
    Picture picture;
    Margin margin;
    PageNumber pageNumber;
    AutoNumber autoNumber;
    bool operator==(const Control&) const = default;
};

// Characters below 32 in a paragraph's text are the binary format's control codes, one character each (in an
// HWP 5.0 file the extended and inline ones take eight units): those named here, and the extended ones, which
// each stand for the next of `controls`.
namespace Code {
inline constexpr char16_t kSectionColumn = 2; // a section or column definition
inline constexpr char16_t kTab = 9;
inline constexpr char16_t kLineBreak = 10;
inline constexpr char16_t kObject = 11; // tables, pictures, equations, drawn shapes
inline constexpr char16_t kParagraphEnd = 13;
inline constexpr char16_t kHeaderFooter = 16;
inline constexpr char16_t kAutoNumber = 18;
inline constexpr char16_t kPageNumber = 21; // where the page number stands
inline constexpr char16_t kHyphen = 24;
inline constexpr char16_t kNonBreakingSpace = 30;
inline constexpr char16_t kFixedWidthSpace = 31;
} // namespace Code
struct Paragraph
{
    QString text;
    QList<CharRun> runs;
    int paraShape = -1; // -1: none, a justified plain paragraph
    int style = 0;
    bool pageBreak = false;
    QList<LineSegment> lines;
    std::vector<Control> controls;
    // Where the paragraph stood in its file (the index of its header record in the section), for comparing the
    // layout with the word processor's; -1 when the form has no such thing.
    qsizetype source = -1;
    bool operator==(const Paragraph&) const = default;
};

// True for the control codes that stand for an object of `controls`.
bool IsExtendedControl(ushort code);
// True for the control codes that take one unit in an HWP 5.0 paragraph's text; the others take eight (the
// code, the control's id and its data, and the code again).
inline bool IsCharControl(ushort code)
{
    return code == 0 || code == Code::kLineBreak || code == Code::kParagraphEnd || code >= Code::kHyphen;
}

struct Section
{
    int outlineNumbering = 0; // the numbering outline paragraphs take, from 1
    Paragraphs paragraphs;
    bool operator==(const Section&) const = default;
};

struct Document
{
    QString title;
    DocInfo info;
    std::vector<Section> sections;
    // The pictures' bytes by bin item id, as the file stores them once inflated.
    QHash<int, QByteArray> binData;
    // What the reader had no value for at all (elements of a form it does not know).
    DroppedObjects dropped;
    bool operator==(const Document&) const = default;
};

} // namespace HwpModel
