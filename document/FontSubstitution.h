#pragma once

#include <QString>

// Documents from the word processor name Korean faces that Debian does not ship (함초롬바탕, 바탕, 굴림, 맑은 고딕,
// …). The document keeps the name it was given; on screen and in page images Qt draws it with the installed
// Nanum face of the same kind (serif faces with 나눔명조, sans faces with 나눔고딕), whose widths are close enough
// that lines break where the author saw them break. Without this, fontconfig would pick whatever its fallback
// order gives for each name, which differs from machine to machine.
namespace FontSubstitution {

inline constexpr char16_t kSerifFace[] = u"NanumMyeongjo";
inline constexpr char16_t kSansFace[] = u"NanumGothic";

// Registers the substitutions with Qt; once per process is enough, more does no harm.
void Install();

} // namespace FontSubstitution
