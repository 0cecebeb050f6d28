#include "formula/Vocabulary.h"

#include <algorithm>
#include <string>
#include <unordered_map>

namespace formula::vocabulary {

namespace {

using A = AtomClass;

struct NamedSign
{
    const char* name;
    char32_t codepoint;
    AtomClass atom;
};

// Signs by name, case ignored.
const NamedSign kSigns[] = {
    // operators
    {"times", 0x00D7, A::Bin}, {"div", 0x00F7, A::Bin}, {"cdot", 0x22C5, A::Bin}, {"circ", 0x2218, A::Bin},
    {"bullet", 0x2219, A::Bin}, {"pm", 0x00B1, A::Bin}, {"mp", 0x2213, A::Bin}, {"cup", 0x222A, A::Bin},
    {"cap", 0x2229, A::Bin}, {"sqcup", 0x2294, A::Bin}, {"sqcap", 0x2293, A::Bin}, {"uplus", 0x228E, A::Bin},
    {"vee", 0x2228, A::Bin}, {"wedge", 0x2227, A::Bin},
    {"oplus", 0x2295, A::Bin}, {"ominus", 0x2296, A::Bin}, {"otimes", 0x2297, A::Bin}, {"oslash", 0x2298, A::Bin},
    {"odot", 0x2299, A::Bin}, {"setminus", 0x2216, A::Bin}, {"star", 0x22C6, A::Bin}, {"dagger", 0x2020, A::Bin},
    {"ddagger", 0x2021, A::Bin}, {"dsum", 0x2214, A::Bin},
    // relations
    {"le", 0x2264, A::Rel}, {"leq", 0x2264, A::Rel}, {"ge", 0x2265, A::Rel}, {"geq", 0x2265, A::Rel},
    {"ne", 0x2260, A::Rel}, {"neq", 0x2260, A::Rel}, {"approx", 0x2248, A::Rel}, {"equiv", 0x2261, A::Rel},
    {"sim", 0x223C, A::Rel}, {"simeq", 0x2243, A::Rel}, {"cong", 0x2245, A::Rel}, {"image", 0x2252, A::Rel},
    {"reimage", 0x2253, A::Rel}, {"propto", 0x221D, A::Rel}, {"asymp", 0x224D, A::Rel}, {"doteq", 0x2250, A::Rel},
    {"ll", 0x226A, A::Rel}, {"gg", 0x226B, A::Rel}, {"prec", 0x227A, A::Rel}, {"succ", 0x227B, A::Rel},
    {"in", 0x2208, A::Rel}, {"notin", 0x2209, A::Rel}, {"ni", 0x220B, A::Rel}, {"owns", 0x220B, A::Rel},
    {"subset", 0x2282, A::Rel}, {"supset", 0x2283, A::Rel}, {"subseteq", 0x2286, A::Rel},
    {"supseteq", 0x2287, A::Rel}, {"sqsubset", 0x228F, A::Rel}, {"sqsupset", 0x2290, A::Rel},
    {"perp", 0x22A5, A::Rel}, {"parallel", 0x2225, A::Rel}, {"vdash", 0x22A2, A::Rel}, {"dashv", 0x22A3, A::Rel},
    {"models", 0x22A8, A::Rel}, {"mid", 0x2223, A::Rel},
    {"larrow", 0x2190, A::Rel}, {"rarrow", 0x2192, A::Rel}, {"lrarrow", 0x2194, A::Rel},
    {"uparrow", 0x2191, A::Rel}, {"downarrow", 0x2193, A::Rel}, {"udarrow", 0x2195, A::Rel},
    {"nearrow", 0x2197, A::Rel}, {"searrow", 0x2198, A::Rel}, {"nwarrow", 0x2196, A::Rel},
    {"swarrow", 0x2199, A::Rel}, {"mapsto", 0x21A6, A::Rel}, {"leftarrow", 0x2190, A::Rel},
    {"rightarrow", 0x2192, A::Rel}, {"leftrightarrow", 0x2194, A::Rel}, {"hookleft", 0x21A9, A::Rel},
    {"hookright", 0x21AA, A::Rel},
    // other signs
    {"inf", 0x221E, A::Ord}, {"infty", 0x221E, A::Ord}, {"infinity", 0x221E, A::Ord},
    {"therefore", 0x2234, A::Ord}, {"because", 0x2235, A::Ord}, {"forall", 0x2200, A::Ord},
    {"exist", 0x2203, A::Ord}, {"exists", 0x2203, A::Ord}, {"partial", 0x2202, A::Ord}, {"nabla", 0x2207, A::Ord},
    {"angle", 0x2220, A::Ord}, {"triangle", 0x25B3, A::Ord}, {"deg", 0x00B0, A::Ord}, {"prime", 0x2032, A::Ord},
    {"emptyset", 0x2205, A::Ord}, {"aleph", 0x2135, A::Ord}, {"hbar", 0x210F, A::Ord}, {"ell", 0x2113, A::Ord},
    {"wp", 0x2118, A::Ord}, {"top", 0x22A4, A::Ord}, {"bot", 0x22A5, A::Ord}, {"lnot", 0x00AC, A::Ord},
    {"neg", 0x00AC, A::Ord}, {"cdots", 0x22EF, A::Inner}, {"ldots", 0x2026, A::Inner}, {"vdots", 0x22EE, A::Ord},
    {"ddots", 0x22F1, A::Ord}, {"box", 0x25A1, A::Ord}, {"diamond", 0x25C7, A::Ord}, {"bigcirc", 0x25EF, A::Ord},
    {"club", 0x2663, A::Ord}, {"spade", 0x2660, A::Ord}, {"heart", 0x2661, A::Ord}, {"lbrace", '{', A::Open},
    {"rbrace", '}', A::Close}, {"langle", 0x27E8, A::Open}, {"rangle", 0x27E9, A::Close},
    {"lfloor", 0x230A, A::Open}, {"rfloor", 0x230B, A::Close}, {"lceil", 0x2308, A::Open},
    {"rceil", 0x2309, A::Close}, {"cent", 0x00A2, A::Ord}, {"yen", 0x00A5, A::Ord}, {"won", 0x20A9, A::Ord},
    {"pound", 0x00A3, A::Ord}, {"ohm", 0x2126, A::Ord}, {"angstrom", 0x212B, A::Ord},
};

// Signs whose capitalised name means another sign than the lower-case one: the double arrows.
const NamedSign kCaseSigns[] = {
    {"LARROW", 0x21D0, A::Rel}, {"RARROW", 0x21D2, A::Rel}, {"LRARROW", 0x21D4, A::Rel},
    {"UPARROW", 0x21D1, A::Rel}, {"DOWNARROW", 0x21D3, A::Rel}, {"UDARROW", 0x21D5, A::Rel},
};

// Greek letters: the lower-case name gives the small letter, a capitalised one the capital.
struct Greek
{
    const char* name;
    char32_t small;
    char32_t capital;
};
const Greek kGreek[] = {
    {"alpha", 0x3B1, 0x391}, {"beta", 0x3B2, 0x392}, {"gamma", 0x3B3, 0x393}, {"delta", 0x3B4, 0x394},
    {"epsilon", 0x3B5, 0x395}, {"zeta", 0x3B6, 0x396}, {"eta", 0x3B7, 0x397}, {"theta", 0x3B8, 0x398},
    {"iota", 0x3B9, 0x399}, {"kappa", 0x3BA, 0x39A}, {"lambda", 0x3BB, 0x39B}, {"mu", 0x3BC, 0x39C},
    {"nu", 0x3BD, 0x39D}, {"xi", 0x3BE, 0x39E}, {"omicron", 0x3BF, 0x39F}, {"pi", 0x3C0, 0x3A0},
    {"rho", 0x3C1, 0x3A1}, {"sigma", 0x3C3, 0x3A3}, {"tau", 0x3C4, 0x3A4}, {"upsilon", 0x3C5, 0x3A5},
    {"phi", 0x3C6, 0x3A6}, {"chi", 0x3C7, 0x3A7}, {"psi", 0x3C8, 0x3A8}, {"omega", 0x3C9, 0x3A9},
    {"vartheta", 0x3D1, 0x3F4}, {"varphi", 0x3D5, 0x3A6}, {"varepsilon", 0x3F5, 0x395}, {"varpi", 0x3D6, 0x3A0},
    {"varrho", 0x3F1, 0x3A1}, {"varsigma", 0x3C2, 0x3A3},
};

// Operator characters, longest first where one begins another.
struct OperatorText
{
    const char32_t* text;
    char32_t codepoint;
    AtomClass atom;
};
const OperatorText kOperators[] = {
    {U"<->", 0x2194, A::Rel}, {U"<<<", 0x22D8, A::Rel}, {U">>>", 0x22D9, A::Rel}, {U"...", 0x2026, A::Inner},
    {U"->", 0x2192, A::Rel}, {U"<=", 0x2264, A::Rel}, {U">=", 0x2265, A::Rel}, {U"!=", 0x2260, A::Rel},
    {U"==", 0x2261, A::Rel}, {U"+-", 0x00B1, A::Bin}, {U"-+", 0x2213, A::Bin}, {U"<<", 0x226A, A::Rel},
    {U">>", 0x226B, A::Rel}, {U"''", 0x2033, A::Ord},
};

const char* const kFunctions[] = {
    "sin", "cos", "tan", "cot", "sec", "csc", "sinh", "cosh", "tanh", "coth", "arcsin", "arccos", "arctan",
    "log", "ln", "lg", "exp", "det", "gcd", "lcm", "mod", "max", "min", "arg", "dim", "ker", "hom", "Pr",
};
// The functions a word may begin with and go on with a variable ("sinx", "logx"): others are only
// recognised alone, so that words such as "model" or "minus" stay words.
const char* const kPrefixFunctions[] = {
    "sin", "cos", "tan", "cot", "sec", "csc", "sinh", "cosh", "tanh", "coth", "arcsin", "arccos", "arctan",
    "log", "ln", "exp",
};

struct NamedBigOperator
{
    const char* name;
    BigOperator op;
};
const NamedBigOperator kBigOperators[] = {
    {"sum", {0x2211, true}}, {"prod", {0x220F, true}}, {"coprod", {0x2210, true}},
    {"int", {0x222B, false}}, {"dint", {0x222C, false}}, {"tint", {0x222D, false}}, {"oint", {0x222E, false}},
    {"odint", {0x222F, false}}, {"otint", {0x2230, false}}, {"bigcup", {0x22C3, true}}, {"union", {0x22C3, true}},
    {"bigcap", {0x22C2, true}}, {"inter", {0x22C2, true}}, {"bigvee", {0x22C1, true}}, {"bigwedge", {0x22C0, true}},
    {"bigoplus", {0x2A01, true}}, {"bigotimes", {0x2A02, true}}, {"bigodot", {0x2A00, true}},
    {"bigsqcup", {0x2A06, true}}, {"lim", {0, true}},
};

struct NamedAccent
{
    const char* name;
    char32_t mark;
};
// "bar" and "under" are rules, not marks: the zero-width marks below stand for them.
const NamedAccent kAccents[] = {
    {"hat", 0x0302}, {"bar", 0x0305}, {"vec", 0x20D7}, {"dyad", 0x20E1}, {"dot", 0x0307}, {"ddot", 0x0308},
    {"tilde", 0x0303}, {"under", 0x0332}, {"acute", 0x0301}, {"grave", 0x0300}, {"check", 0x030C},
    {"arch", 0x0311}, {"overline", 0x0305}, {"underline", 0x0332},
};

std::string lower(std::string_view word)
{
    std::string folded(word);
    std::transform(folded.begin(), folded.end(), folded.begin(),
                   [](unsigned char c) { return c >= 'A' && c <= 'Z' ? char(c + 32) : char(c); });
    return folded;
}

template <typename Value>
std::unordered_map<std::string, Value> index(auto&& table, auto&& value, bool fold = true)
{
    std::unordered_map<std::string, Value> map;
    for (const auto& entry : table)
        map.emplace(fold ? lower(entry.name) : std::string(entry.name), value(entry));
    return map;
}

} // namespace

bool LookUpWord(std::string_view word, Sign* sign)
{
    static const auto exact = index<Sign>(kCaseSigns, [](const NamedSign& s) { return Sign {s.codepoint, s.atom}; },
                                          false);
    static const auto signs = index<Sign>(kSigns, [](const NamedSign& s) { return Sign {s.codepoint, s.atom}; });
    static const auto greek = index<const Greek*>(kGreek, [](const Greek& g) { return &g; });

    if (auto found = exact.find(std::string(word)); found != exact.end()) {
        *sign = found->second;
        return true;
    }
    const std::string folded = lower(word);
    if (auto found = greek.find(folded); found != greek.end()) {
        const bool capital = word.front() >= 'A' && word.front() <= 'Z';
        *sign = {capital ? found->second->capital : found->second->small, A::Ord};
        return true;
    }
    if (auto found = signs.find(folded); found != signs.end()) {
        *sign = found->second;
        return true;
    }
    return false;
}

bool LookUpOperator(std::u32string_view text, size_t* length, Sign* sign)
{
    for (const OperatorText& op : kOperators) {
        const std::u32string_view name(op.text);
        if (text.substr(0, name.size()) == name) {
            *length = name.size();
            *sign = {op.codepoint, op.atom};
            return true;
        }
    }
    return false;
}

AtomClass ClassOf(char32_t c)
{
    switch (c) {
    case '+': case '-': case '*': case 0x2212: case 0x00B1: case 0x2213: case 0x00D7: case 0x00F7:
    case 0x22C5: case 0x2217:
        return A::Bin;
    case '=': case '<': case '>': case ':': case 0x2264: case 0x2265: case 0x2260: case 0x2248: case 0x2261:
    case 0x2192: case 0x2190: case 0x2194: case 0x21D2: case 0x21D4: case 0x2208: case 0x2282: case 0x2283:
        return A::Rel;
    case '(': case '[': case 0x27E8: case 0x2308: case 0x230A:
        return A::Open;
    case ')': case ']': case 0x27E9: case 0x2309: case 0x230B: case '!':
        return A::Close;
    case ',': case ';':
        return A::Punct;
    default:
        break;
    }
    // Signs named by words have their class in the tables.
    for (const NamedSign& s : kSigns)
        if (s.codepoint == c)
            return s.atom;
    return A::Ord;
}

char32_t Shape(char32_t c)
{
    switch (c) {
    case '-': return 0x2212;
    case '*': return 0x2217;
    case '\'': return 0x2032;
    default: return c;
    }
}

bool LookUpFunction(std::string_view word, size_t* length)
{
    for (const char* name : kFunctions)
        if (word == name) {
            *length = word.size();
            return true;
        }
    size_t best = 0;
    for (const char* name : kPrefixFunctions) {
        const std::string_view n(name);
        if (word.size() > n.size() && word.substr(0, n.size()) == n)
            best = std::max(best, n.size());
    }
    *length = best;
    return best > 0;
}

bool LookUpBigOperator(std::string_view word, BigOperator* op)
{
    static const auto ops = index<BigOperator>(kBigOperators, [](const NamedBigOperator& o) { return o.op; });
    if (auto found = ops.find(lower(word)); found != ops.end()) {
        *op = found->second;
        return true;
    }
    return false;
}

bool LookUpAccent(std::string_view word, char32_t* mark)
{
    static const auto accents = index<char32_t>(kAccents, [](const NamedAccent& a) { return a.mark; });
    if (auto found = accents.find(lower(word)); found != accents.end()) {
        *mark = found->second;
        return true;
    }
    return false;
}

bool LookUpDelimiter(std::u32string_view text, size_t* length, char32_t* delimiter)
{
    if (text.empty())
        return false;
    if (text.substr(0, 2) == U"||") {
        *length = 2;
        *delimiter = 0x2016;
        return true;
    }
    *length = 1;
    switch (text.front()) {
    case '(': case ')': case '[': case ']': case '{': case '}': case '|':
        *delimiter = text.front();
        return true;
    case '<': *delimiter = 0x27E8; return true;
    case '>': *delimiter = 0x27E9; return true;
    case '.': *delimiter = 0; return true;
    default: break;
    }
    size_t n = 0;
    while (n < text.size() && ((text[n] >= 'a' && text[n] <= 'z') || (text[n] >= 'A' && text[n] <= 'Z')))
        ++n;
    if (n == 0)
        return false;
    std::string word;
    for (size_t i = 0; i < n; ++i)
        word += char(text[i]);
    Sign sign;
    if (LookUpWord(word, &sign) && (sign.atom == A::Open || sign.atom == A::Close)) {
        *length = n;
        *delimiter = sign.codepoint;
        return true;
    }
    return false;
}

} // namespace formula::vocabulary
