#pragma once

#include <QByteArray>
#include <QString>

#include <optional>

// The question bank's accounts were made on Korean Windows, so passwords travel as their bytes in code
// page 949. A character the code page lacks becomes "?", as the Windows conversion does. Independent of
// the process locale. Nothing when the system has no converter for the code page: a password of "?"s
// would only be refused, and the user could not tell why.
std::optional<QByteArray> ToKoreanCodepage(const QString& text);

// The converter's name as the system's iconv knows it.
QByteArray KoreanCodepageName();
// Tests stand in a converter name that the system lacks, to see the program without one; an empty name
// goes back to the real converter.
void SetKoreanCodepageNameForTests(const QByteArray& name);

// Text in code page 949 (the topic files) as UTF-16; bytes that are not valid in the code page become U+FFFD.
QString FromKoreanCodepage(const QByteArray& bytes);
