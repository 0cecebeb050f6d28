#pragma once

#include <QByteArray>
#include <QString>

// The question bank's accounts were made on Korean Windows, so passwords travel as their bytes in code
// page 949. A character the code page lacks becomes "?", as the Windows conversion does. Independent of
// the process locale.
QByteArray ToKoreanCodepage(const QString& text);

// Text in code page 949 (the topic files) as UTF-16; bytes that are not valid in the code page become U+FFFD.
QString FromKoreanCodepage(const QByteArray& bytes);
