#include "formula/Script.h"

#include "formula/Formula.h"
#include "formula/Vocabulary.h"

#include <QChar>
#include <QStringList>

#include <algorithm>

namespace formula {

namespace {

namespace voc = vocabulary;
using NodePtr = std::unique_ptr<Node>;

struct Token
{
    enum Kind
    {
        End,
        Word,    // ASCII letters
        Number,  // digits with a decimal point
        Letters, // a run of other letters (Korean, Greek typed as such)
        Quoted,  // "text", set as it stands
        Sign,    // one character, or an operator of several ("<=")
        Open,    // {
        Close,   // }
        Sup,     // ^
        Sub,     // _
        Column,  // &
        Line,    // #
        Space,   // ~
        Thin,    // `
    };
    Kind kind = End;
    size_t begin = 0;
    size_t end = 0;
};

bool isAsciiLetter(char32_t c)
{
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}

bool isDigit(char32_t c)
{
    return c >= '0' && c <= '9';
}

bool isBlank(char32_t c)
{
    return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == 0x3000 || c == 0xA0;
}

bool isOtherLetter(char32_t c)
{
    return c >= 0x80 && QChar::isLetter(c);
}

std::vector<Token> tokenize(const std::u32string& s)
{
    std::vector<Token> tokens;
    size_t i = 0;
    const size_t n = s.size();
    while (i < n) {
        const char32_t c = s[i];
        if (isBlank(c)) {
            ++i;
            continue;
        }
        Token t;
        t.begin = i;
        if (isAsciiLetter(c)) {
            while (i < n && isAsciiLetter(s[i]))
                ++i;
            t.kind = Token::Word;
        } else if (isDigit(c) || (c == '.' && i + 1 < n && isDigit(s[i + 1]))) {
            while (i < n && (isDigit(s[i]) || (s[i] == '.' && i + 1 < n && isDigit(s[i + 1]))))
                ++i;
            t.kind = Token::Number;
        } else if (isOtherLetter(c)) {
            while (i < n && isOtherLetter(s[i]))
                ++i;
            t.kind = Token::Letters;
        } else if (c == '"') {
            const size_t close = s.find('"', i + 1);
            i = close == std::u32string::npos ? n : close + 1;
            t.kind = Token::Quoted;
        } else if (c == '\\' && i + 1 < n) {
            // A backslash takes the next character as it stands: "\{" is a brace, not a group.
            i += 2;
            t.kind = Token::Sign;
        } else {
            ++i;
            switch (c) {
            case '{': t.kind = Token::Open; break;
            case '}': t.kind = Token::Close; break;
            case '^': t.kind = Token::Sup; break;
            case '_': t.kind = Token::Sub; break;
            case '&': t.kind = Token::Column; break;
            case '#': t.kind = Token::Line; break;
            case '~': t.kind = Token::Space; break;
            case '`': t.kind = Token::Thin; break;
            default: {
                size_t length = 0;
                voc::Sign sign;
                if (voc::LookUpOperator(std::u32string_view(s).substr(t.begin), &length, &sign))
                    i = t.begin + length;
                t.kind = Token::Sign;
            }
            }
        }
        t.end = i;
        tokens.push_back(t);
    }
    tokens.push_back(Token {Token::End, n, n});
    return tokens;
}

NodePtr make(Node::Type type)
{
    auto node = std::make_unique<Node>();
    node->type = type;
    return node;
}

// Sets a node's depth from its children's.
NodePtr finish(NodePtr node)
{
    int deepest = 0;
    for (const NodePtr& child : node->children)
        if (child)
            deepest = std::max(deepest, child->depth);
    node->depth = deepest + 1;
    return node;
}

class Parser
{
public:
    explicit Parser(const QString& script)
    {
        const QList<uint> ucs4 = script.toUcs4();
        m_source.assign(ucs4.begin(), ucs4.end());
        m_tokens = tokenize(m_source);
    }

    NodePtr parse()
    {
        FontStyle font = FontStyle::Italic;
        return parseRows(1, font, Stop::Top);
    }

private:
    enum class Stop
    {
        Top,   // the whole script: a stray closing brace is skipped
        Brace, // up to the closing brace
        Right, // up to "right" (or the closing brace of the group around)
    };

    const Token& peek() const { return m_tokens[m_pos]; }
    const Token& next()
    {
        const Token& t = m_tokens[m_pos];
        if (t.kind != Token::End)
            ++m_pos;
        return t;
    }
    std::u32string text(const Token& t) const { return m_source.substr(t.begin, t.end - t.begin); }
    std::string word(const Token& t) const
    {
        std::string w;
        for (size_t i = t.begin; i < t.end; ++i)
            w += char(m_source[i]);
        return w;
    }
    bool isWord(const Token& t, std::string_view name) const
    {
        if (t.kind != Token::Word || t.end - t.begin != name.size())
            return false;
        for (size_t i = 0; i < name.size(); ++i) {
            char32_t c = m_source[t.begin + i];
            if (c >= 'A' && c <= 'Z')
                c += 32;
            if (c != char32_t(name[i]))
                return false;
        }
        return true;
    }

    // The source from `begin` to the last token read, set as plain text: what is nested too deep.
    NodePtr plain(size_t begin) const
    {
        auto node = make(Node::Text);
        node->font = FontStyle::Roman;
        const size_t end = m_pos > 0 ? m_tokens[m_pos - 1].end : begin;
        if (end > begin)
            node->text = m_source.substr(begin, end - begin);
        return node;
    }

    // Reads one element without building it (a token, or a braced group with everything in it), without
    // recursion, and gives it as plain text.
    NodePtr skipElement()
    {
        const size_t begin = peek().begin;
        if (peek().kind == Token::Open) {
            int open = 0;
            do {
                const Token& t = next();
                if (t.kind == Token::Open)
                    ++open;
                else if (t.kind == Token::Close)
                    --open;
                else if (t.kind == Token::End)
                    break;
            } while (open > 0);
        } else {
            next();
        }
        return plain(begin);
    }

    // Rows of cells, split by # and &, up to where `stop` says.
    NodePtr parseRows(int depth, FontStyle font, Stop stop)
    {
        std::vector<std::vector<NodePtr>> rows(1);
        std::vector<NodePtr> cell;
        // Where each element of the cell began, so that "over" can give its numerator's source as text.
        std::vector<size_t> starts;
        auto endCell = [&] {
            auto row = make(Node::Row);
            row->children = std::move(cell);
            cell.clear();
            starts.clear();
            rows.back().push_back(finish(std::move(row)));
        };
        for (;;) {
            const Token& t = peek();
            if (t.kind == Token::End)
                break;
            if (t.kind == Token::Close) {
                if (stop == Stop::Top) {
                    next();
                    continue;
                }
                break;
            }
            if (stop == Stop::Right && isWord(t, "right"))
                break;
            if (t.kind == Token::Column) {
                next();
                endCell();
                continue;
            }
            if (t.kind == Token::Line) {
                next();
                endCell();
                rows.emplace_back();
                continue;
            }
            if (t.kind == Token::Word && (isWord(t, "rm") || isWord(t, "it") || isWord(t, "bold"))) {
                font = isWord(t, "rm") ? FontStyle::Roman : isWord(t, "it") ? FontStyle::Italic : FontStyle::Bold;
                next();
                continue;
            }
            if (isWord(t, "over") || isWord(t, "atop")) {
                const size_t begin = cell.empty() ? t.begin : starts.back();
                const bool ruled = isWord(t, "over");
                next();
                auto fraction = make(Node::Fraction);
                fraction->ruled = ruled;
                if (!cell.empty()) {
                    fraction->children.push_back(std::move(cell.back()));
                    cell.pop_back();
                    starts.pop_back();
                } else {
                    fraction->children.push_back(make(Node::Row));
                }
                fraction->children.push_back(parseScripted(depth + 1, font));
                fraction = finish(std::move(fraction));
                if (fraction->depth > kMaxDepth)
                    fraction = plain(begin);
                cell.push_back(std::move(fraction));
                starts.push_back(begin);
                continue;
            }
            const size_t begin = t.begin;
            cell.push_back(parseScripted(depth, font));
            starts.push_back(begin);
        }
        endCell();
        size_t columns = 0;
        for (const auto& row : rows)
            columns = std::max(columns, row.size());
        if (rows.size() == 1 && columns == 1)
            return unwrap(std::move(rows.front().front()));
        auto lines = make(Node::Matrix);
        lines->matrix = Node::Lines;
        lines->rows = int(rows.size());
        lines->columns = int(columns);
        for (auto& row : rows) {
            for (auto& c : row)
                lines->children.push_back(std::move(c));
            for (size_t i = row.size(); i < columns; ++i)
                lines->children.push_back(make(Node::Row));
        }
        return finish(std::move(lines));
    }

    static NodePtr unwrap(NodePtr row)
    {
        if (row->type == Node::Row && row->children.size() == 1)
            return std::move(row->children.front());
        return row;
    }

    // An element with the scripts and limits that follow it.
    NodePtr parseScripted(int depth, FontStyle font)
    {
        const size_t begin = peek().begin;
        NodePtr element = parseElement(depth, font);
        for (;;) {
            const Token& t = peek();
            int slot = 0; // 1 above, 2 below
            bool limits = false;
            if (t.kind == Token::Sup || isWord(t, "sup"))
                slot = 1;
            else if (t.kind == Token::Sub || isWord(t, "sub"))
                slot = 2;
            else if (isWord(t, "to"))
                slot = 1, limits = true;
            else if (isWord(t, "from"))
                slot = 2, limits = true;
            else
                break;
            next();
            NodePtr argument = parseElement(depth + 1, font);
            if (element->type != Node::Scripts || element->children[size_t(slot)]) {
                auto scripts = make(Node::Scripts);
                scripts->limits = limits || (element->type == Node::BigOp && element->limits);
                scripts->children.push_back(std::move(element));
                scripts->children.emplace_back();
                scripts->children.emplace_back();
                element = std::move(scripts);
            }
            if (limits)
                element->limits = true;
            element->children[size_t(slot)] = std::move(argument);
            element = finish(std::move(element));
            if (element->depth > kMaxDepth)
                element = plain(begin);
        }
        return element;
    }

    NodePtr symbol(char32_t codepoint, AtomClass atom) const
    {
        auto node = make(Node::Symbol);
        node->text = std::u32string(1, codepoint);
        node->atom = atom;
        return node;
    }

    NodePtr textNode(std::u32string text, FontStyle font, AtomClass atom = AtomClass::Ord) const
    {
        auto node = make(Node::Text);
        node->text = std::move(text);
        node->font = font;
        node->atom = atom;
        return node;
    }

    // A bracket after "left" or "right"; 0 when there is none.
    char32_t delimiter()
    {
        const Token& t = peek();
        if (t.kind == Token::End || t.kind == Token::Line || t.kind == Token::Column)
            return 0;
        size_t length = 0;
        char32_t d = 0;
        const std::u32string_view rest = std::u32string_view(m_source).substr(t.begin);
        if (!voc::LookUpDelimiter(rest, &length, &d))
            return 0;
        // The bracket may be part of a longer token ("(a"): take only its characters.
        if (t.begin + length >= t.end)
            next();
        else
            m_tokens[m_pos].begin += length;
        return d;
    }

    NodePtr parseElement(int depth, FontStyle font)
    {
        if (depth > kMaxDepth)
            return skipElement();
        const Token t = peek();
        switch (t.kind) {
        case Token::End:
        case Token::Close:
        case Token::Column:
        case Token::Line:
            // Nothing where an element belongs ("x^" at the end): an empty one.
            return make(Node::Row);
        case Token::Open: {
            next();
            NodePtr group = parseRows(depth + 1, font, Stop::Brace);
            if (peek().kind == Token::Close)
                next();
            if (group->type == Node::Symbol || group->type == Node::Row)
                group->atom = AtomClass::Ord;
            return group;
        }
        case Token::Sup:
        case Token::Sub:
            // A script with nothing before it: on an empty base.
            return make(Node::Row);
        case Token::Space:
        case Token::Thin: {
            next();
            auto space = make(Node::Space);
            space->size = t.kind == Token::Space ? 0.5 : 0.125;
            return space;
        }
        case Token::Number:
            next();
            return textNode(text(t), FontStyle::Roman);
        case Token::Letters:
            next();
            return textNode(text(t), font == FontStyle::Bold ? FontStyle::Bold : FontStyle::Roman);
        case Token::Quoted: {
            next();
            std::u32string quoted = text(t).substr(1);
            if (!quoted.empty() && quoted.back() == '"')
                quoted.pop_back();
            return textNode(std::move(quoted), FontStyle::Roman);
        }
        case Token::Sign: {
            next();
            std::u32string s = text(t);
            if (s.size() > 1 && s.front() == '\\')
                return symbol(s[1], voc::ClassOf(s[1]));
            size_t length = 0;
            voc::Sign sign;
            if (voc::LookUpOperator(s, &length, &sign))
                return symbol(sign.codepoint, sign.atom);
            return symbol(voc::Shape(s.front()), voc::ClassOf(s.front()));
        }
        case Token::Word:
            return parseWord(depth, font);
        }
        next();
        return make(Node::Row);
    }

    NodePtr parseWord(int depth, FontStyle font)
    {
        const Token t = next();
        const std::string w = word(t);
        std::string folded = w;
        std::transform(folded.begin(), folded.end(), folded.begin(),
                       [](unsigned char c) { return c >= 'A' && c <= 'Z' ? char(c + 32) : char(c); });

        if (folded == "sqrt" || folded == "root") {
            auto root = make(Node::Root);
            NodePtr index;
            if (folded == "root") {
                index = parseElement(depth + 1, font);
                if (isWord(peek(), "of"))
                    next();
            }
            root->children.push_back(parseElement(depth + 1, font));
            if (index)
                root->children.push_back(std::move(index));
            return finish(std::move(root));
        }
        if (folded == "left") {
            auto fenced = make(Node::Fenced);
            fenced->atom = AtomClass::Inner;
            fenced->open = delimiter();
            fenced->children.push_back(parseRows(depth + 1, font, Stop::Right));
            if (isWord(peek(), "right")) {
                next();
                fenced->close = delimiter();
            }
            return finish(std::move(fenced));
        }
        static const std::pair<const char*, Node::MatrixKind> kMatrices[] = {
            {"matrix", Node::Plain}, {"pmatrix", Node::Paren}, {"bmatrix", Node::Bracket},
            {"dmatrix", Node::Bars}, {"cases", Node::Cases}, {"pile", Node::Pile},
            {"lpile", Node::LeftPile}, {"rpile", Node::RightPile}, {"eqalign", Node::Lines},
        };
        for (const auto& [name, kind] : kMatrices) {
            if (folded != name)
                continue;
            NodePtr content;
            if (peek().kind == Token::Open) {
                next();
                content = parseRows(depth + 1, font, Stop::Brace);
                if (peek().kind == Token::Close)
                    next();
            } else {
                content = parseElement(depth + 1, font);
            }
            auto matrix = make(Node::Matrix);
            matrix->matrix = kind;
            matrix->atom = AtomClass::Inner;
            if (content->type == Node::Matrix && content->matrix == Node::Lines) {
                matrix->rows = content->rows;
                matrix->columns = content->columns;
                matrix->children = std::move(content->children);
            } else {
                matrix->rows = matrix->columns = 1;
                matrix->children.push_back(std::move(content));
            }
            return finish(std::move(matrix));
        }
        char32_t mark = 0;
        if (voc::LookUpAccent(folded, &mark)) {
            auto accent = make(Node::Accent);
            accent->accent = mark;
            accent->children.push_back(parseElement(depth + 1, font));
            return finish(std::move(accent));
        }
        voc::BigOperator op;
        if (voc::LookUpBigOperator(folded, &op)) {
            auto big = make(Node::BigOp);
            big->atom = AtomClass::Op;
            big->limits = op.limits;
            big->text = op.codepoint ? std::u32string(1, op.codepoint) : text(t);
            big->font = FontStyle::Roman;
            return big;
        }
        voc::Sign sign;
        if (voc::LookUpWord(w, &sign))
            return symbol(sign.codepoint, sign.atom);
        size_t length = 0;
        if (voc::LookUpFunction(w, &length)) {
            auto name = textNode(text(t).substr(0, length), FontStyle::Roman, AtomClass::Op);
            if (length == w.size())
                return name;
            // "sinx": the function, then the rest of the word as the variable it applies to.
            auto row = make(Node::Row);
            row->children.push_back(std::move(name));
            row->children.push_back(textNode(text(t).substr(length), font));
            return finish(std::move(row));
        }
        // Any other word: its letters, as variables are set.
        return textNode(text(t), font);
    }

    std::u32string m_source;
    std::vector<Token> m_tokens;
    size_t m_pos = 0;
};

QString accentName(char32_t mark)
{
    switch (mark) {
    case 0x0302: return QStringLiteral("hat");
    case 0x0305: return QStringLiteral("bar");
    case 0x20D7: return QStringLiteral("vec");
    case 0x20E1: return QStringLiteral("dyad");
    case 0x0307: return QStringLiteral("dot");
    case 0x0308: return QStringLiteral("ddot");
    case 0x0303: return QStringLiteral("tilde");
    case 0x0332: return QStringLiteral("under");
    default: return QStringLiteral("accent");
    }
}

QString delimiterText(char32_t d)
{
    return d ? QString::fromUcs4(&d, 1) : QStringLiteral(".");
}

} // namespace

QString Describe(const Node& node)
{
    auto part = [](const std::unique_ptr<Node>& child) { return child ? Describe(*child) : QString(); };
    switch (node.type) {
    case Node::Row: {
        QStringList items;
        for (const auto& child : node.children)
            items << part(child);
        return items.join(QLatin1Char(' '));
    }
    case Node::Text:
    case Node::Symbol:
    case Node::BigOp:
        return QString::fromStdU32String(node.text);
    case Node::Space:
        return QStringLiteral("~");
    case Node::Fraction:
        return QStringLiteral("(%1)%2(%3)").arg(part(node.children[0]), node.ruled ? "/" : "//", part(node.children[1]));
    case Node::Root:
        return node.children.size() > 1 ? QStringLiteral("root(%1; %2)").arg(part(node.children[1]), part(node.children[0]))
                                        : QStringLiteral("sqrt(%1)").arg(part(node.children[0]));
    case Node::Scripts: {
        QString s = part(node.children[0]);
        const QString up = node.limits ? QStringLiteral("^^") : QStringLiteral("^");
        const QString down = node.limits ? QStringLiteral("__") : QStringLiteral("_");
        if (node.children[1])
            s += up + QLatin1Char('(') + part(node.children[1]) + QLatin1Char(')');
        if (node.children[2])
            s += down + QLatin1Char('(') + part(node.children[2]) + QLatin1Char(')');
        return s;
    }
    case Node::Fenced:
        return QStringLiteral("left%1 %2 right%3").arg(delimiterText(node.open), part(node.children[0]),
                                                       delimiterText(node.close));
    case Node::Matrix: {
        static const char* const kNames[] = {"matrix", "pmatrix", "bmatrix", "dmatrix", "cases",
                                             "pile", "lpile", "rpile", "lines"};
        QStringList rows;
        for (int r = 0; r < node.rows; ++r) {
            QStringList cells;
            for (int c = 0; c < node.columns; ++c)
                cells << part(node.children[size_t(r) * size_t(node.columns) + size_t(c)]);
            rows << cells.join(QStringLiteral(", "));
        }
        return QStringLiteral("%1[%2]").arg(QLatin1String(kNames[node.matrix]), rows.join(QStringLiteral("; ")));
    }
    case Node::Accent:
        return QStringLiteral("%1(%2)").arg(accentName(node.accent), part(node.children[0]));
    }
    return {};
}

std::unique_ptr<Node> Parse(const QString& script)
{
    return Parser(script).parse();
}

} // namespace formula
