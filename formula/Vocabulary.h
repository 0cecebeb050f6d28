#pragma once

#include "formula/Script.h"

#include <string_view>

// The words of the equation script and what they stand for.
namespace formula::vocabulary {

struct Sign
{
    char32_t codepoint;
    AtomClass atom;
};

// A sign named by a word ("times", "GEQ", "alpha", "PI"), or by a run of operator characters ("<=", "->",
// "+-"). Case is ignored except where it tells two signs apart (Greek letters, double arrows).
bool LookUpWord(std::string_view word, Sign* sign);
bool LookUpOperator(std::u32string_view text, size_t* length, Sign* sign);
// How a single character spaces itself.
AtomClass ClassOf(char32_t codepoint);
// The sign a single typed character is set with (a hyphen is a minus sign, an apostrophe a prime).
char32_t Shape(char32_t codepoint);

// Functions set upright ("sin", "log"); `length` gets how much of `word` the name takes, so that "sinx"
// reads as "sin x".
bool LookUpFunction(std::string_view word, size_t* length);

struct BigOperator
{
    char32_t codepoint; // 0 for "lim", which is a word
    bool limits;        // limits above and below rather than at the side
};
bool LookUpBigOperator(std::string_view word, BigOperator* op);

// "hat", "bar", "vec", …: the combining mark drawn over (or, for "under", the rule under) the base.
bool LookUpAccent(std::string_view word, char32_t* mark);
// The bracket after "left" or "right": "(", "[", "{", "|", "||", "<", ">" or a word such as "langle"; "." is
// no bracket.
bool LookUpDelimiter(std::u32string_view text, size_t* length, char32_t* delimiter);

} // namespace formula::vocabulary
