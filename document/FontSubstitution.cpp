#include "document/FontSubstitution.h"

#include <QFont>
#include <QStringList>

#include <mutex>

namespace FontSubstitution {

namespace {

// The word processor's own faces and the Windows faces its documents most often name, in Korean and in the
// Latin names the same fonts also go by.
const QStringList& serifFaces()
{
    static const QStringList faces{
        QStringLiteral("함초롬바탕"), QStringLiteral("HCR Batang"), QStringLiteral("한컴바탕"),
        QStringLiteral("바탕"),       QStringLiteral("Batang"),     QStringLiteral("바탕체"),
        QStringLiteral("BatangChe"),  QStringLiteral("궁서"),       QStringLiteral("Gungsuh"),
        QStringLiteral("궁서체"),     QStringLiteral("GungsuhChe"), QStringLiteral("신명조"),
        QStringLiteral("한양신명조"), QStringLiteral("HY신명조"),   QStringLiteral("휴먼명조"),
        QStringLiteral("새바탕"),     QStringLiteral("명조"),       QStringLiteral("신명 세명조"),
    };
    return faces;
}

const QStringList& sansFaces()
{
    static const QStringList faces{
        QStringLiteral("함초롬돋움"),    QStringLiteral("HCR Dotum"),  QStringLiteral("한컴돋움"),
        QStringLiteral("돋움"),          QStringLiteral("Dotum"),      QStringLiteral("돋움체"),
        QStringLiteral("DotumChe"),      QStringLiteral("굴림"),       QStringLiteral("Gulim"),
        QStringLiteral("굴림체"),        QStringLiteral("GulimChe"),   QStringLiteral("맑은 고딕"),
        QStringLiteral("Malgun Gothic"), QStringLiteral("새굴림"),     QStringLiteral("새돋움"),
        QStringLiteral("휴먼고딕"),      QStringLiteral("한양중고딕"), QStringLiteral("HY중고딕"),
        QStringLiteral("HY견고딕"),      QStringLiteral("중고딕"),     QStringLiteral("견고딕"),
        QStringLiteral("한컴 고딕"),     QStringLiteral("HCR Gothic"),
    };
    return faces;
}

} // namespace

void Install()
{
    static std::once_flag once;
    std::call_once(once, [] {
        for (const QString& face : serifFaces())
            QFont::insertSubstitution(face, QString::fromUtf16(kSerifFace));
        for (const QString& face : sansFaces())
            QFont::insertSubstitution(face, QString::fromUtf16(kSansFace));
    });
}

} // namespace FontSubstitution
