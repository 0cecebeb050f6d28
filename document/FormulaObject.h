#pragma once

#include <QColor>
#include <QList>
#include <QString>
#include <QTextFormat>

class QTextDocument;

// A formula in a document is one character, U+FFFC, whose character format is of kObjectType and carries the
// script, the size the script is set at and its colour. The rest of the format is the text's around it, so
// that what is typed next to a formula looks like the text before it. Qt lays such a character out and
// paints it through the handler that RegisterHandler gives the document; Qt's HTML leaves it out, and the
// native file stores it beside.
namespace FormulaObject {

inline constexpr int kObjectType = QTextFormat::UserObject + 1;
inline constexpr int kScriptProperty = QTextFormat::UserProperty + 0x200;
inline constexpr int kPointSizeProperty = QTextFormat::UserProperty + 0x201;
inline constexpr int kColourProperty = QTextFormat::UserProperty + 0x202;

// A formula takes the size of the text it is written in, else this one.
inline constexpr double kDefaultPointSize = 10.0;
// Sizes a file or a paste may give; beyond them a formula could not fit on any page.
inline constexpr double kMinPointSize = 1.0;
inline constexpr double kMaxPointSize = 1000.0;

bool IsFormula(const QTextFormat& format);
QString Script(const QTextFormat& format);
double PointSize(const QTextFormat& format);
QColor Colour(const QTextFormat& format);

// The format of a formula character: `around` (the text's format where it goes) with the formula's own
// properties. `pointSize` is held within kMinPointSize … kMaxPointSize.
QTextCharFormat MakeFormat(const QString& script, double pointSize, const QColor& colour,
                           const QTextCharFormat& around = {});
// `format` without the formula or picture in it: what text typed right after one is written in.
QTextCharFormat TextFormat(const QTextCharFormat& format);
// The size a formula written where `around` applies gets: the text's size, else kDefaultPointSize.
double PointSizeAround(const QTextCharFormat& around);

// The document positions of the formulas, in order.
QList<int> Positions(const QTextDocument& document);
// The format of the character at `position`; an empty format where there is none.
QTextCharFormat FormatAt(const QTextDocument& document, int position);

// Lets the document's layout size and paint its formulas; once per document is enough, more does no harm.
void RegisterHandler(QTextDocument* document);

} // namespace FormulaObject
