#pragma once

#include <memory>
#include <string>
#include <vector>

#include <QString>

// The equation script as a tree.
namespace formula {

// How an element spaces itself from its neighbours, as in typeset mathematics.
enum class AtomClass
{
    Ord,
    Op,
    Bin,
    Rel,
    Open,
    Close,
    Punct,
    Inner,
};

enum class FontStyle
{
    Italic, // letters of variables
    Roman,
    Bold,
};

struct Node
{
    enum Type
    {
        Row,      // children side by side
        Text,     // letters, digits, words: `text` in `font`
        Symbol,   // one operator, relation or other sign: `text` holds its code point
        Space,    // `size` ems of blank
        Fraction, // children: numerator, denominator; `ruled` false for atop
        Root,     // children: radicand, and the index when there is one
        Scripts,  // children: base, superscript (or null), subscript (or null)
        BigOp,    // `text` the operator's sign or name; children: upper limit (or null), lower limit (or null)
        Fenced,   // `open`, `close` (0 for none); children: the content
        Matrix,   // `rows` × `columns` children in row order; `matrix` says which kind
        Accent,   // `accent`; children: the base
    };
    enum MatrixKind
    {
        Plain,  // matrix
        Paren,  // pmatrix
        Bracket, // bmatrix
        Bars,   // dmatrix
        Cases,
        Pile,
        LeftPile,
        RightPile,
        Lines,  // lines of a formula split by # (and & columns), left-aligned
    };

    Type type = Row;
    AtomClass atom = AtomClass::Ord;
    FontStyle font = FontStyle::Italic;
    std::u32string text;
    std::vector<std::unique_ptr<Node>> children;
    double size = 0;
    bool ruled = true;
    // Limits above and below (sums, limits, from … to) rather than at the side as scripts.
    bool limits = false;
    char32_t open = 0;
    char32_t close = 0;
    MatrixKind matrix = Plain;
    int rows = 0;
    int columns = 0;
    char32_t accent = 0;
    // How many levels of structure this node holds, itself included.
    int depth = 1;
};

// Reads any script into a tree: unknown words become text, missing closing braces are supplied, and
// structure nested deeper than kMaxDepth (Formula.h) is kept as plain text.
std::unique_ptr<Node> Parse(const QString& script);

// The tree in a short written form, to see at a glance how a script was read: "(a)/(b)" a fraction,
// "sqrt(x)", "root(n; x)", "x^(2)", "x_(1)", "∑^^(n)__(k = 1)" limits above and below, "left( … right)",
// "pmatrix[a, b; c, d]", "vec(AB)", "~" a blank; neighbours are separated by a space.
QString Describe(const Node& node);

} // namespace formula
