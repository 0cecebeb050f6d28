#include "document/FontSubstitution.h"
#include "document/PageDecorations.h"
#include "document/PageLayout.h"
#include "document/TableEditing.h"
#include "document/hwp/HwpFile.h"
#include "tests/support/TestFiles.h"

#include <QAbstractTextDocumentLayout>
#include <QDir>
#include <QGlyphRun>
#include <QRawFont>
#include <QTest>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>
#include <QTextTable>
#include <QTextLayout>

// Every character of the word processor's documents must come out as a glyph in our page images, not as the
// empty box a font draws for what it lacks. The document's faces go to the Nanum fonts, and what those lack
// comes from fontconfig's fallback, so this depends on which fonts the package pulls in.
class TestGlyphs : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase() { FontSubstitution::Install(); }
    void everyCharacterHasAGlyph_data();
    void everyCharacterHasAGlyph();
};

namespace {

// What is never drawn with a glyph of its own: control characters (tabs and breaks among them), the objects a
// handler paints (formulas, pictures), Qt's line and paragraph separators, and the mark a header's page number
// takes the place of.
bool drawnAsGlyph(char32_t c)
{
    return QChar::category(c) != QChar::Other_Control && c != QChar::ObjectReplacementCharacter &&
           c != QChar::LineSeparator && c != QChar::ParagraphSeparator && c != PageDecorations::kPageNumberMark;
}

// Each character of the laid-out `document` that would be drawn as a box: with glyph 0, which Qt's fallback
// leaves where neither the chosen face nor any fallback font has one, or not drawn at all. Only a space may go
// undrawn, at the end of a line.
QStringList boxes(const QTextDocument& document)
{
    QStringList boxes;
    for (QTextBlock block = document.begin(); block.isValid(); block = block.next()) {
        for (auto it = block.begin(); !it.atEnd(); ++it) {
            const QString text = it.fragment().text();
            const int start = it.fragment().position() - block.position();
            for (int i = 0; i < text.size();) {
                const char32_t c = text.at(i).isHighSurrogate() && i + 1 < text.size()
                                       ? QChar::surrogateToUcs4(text.at(i), text.at(i + 1))
                                       : text.at(i).unicode();
                const int length = QChar::requiresSurrogates(c) ? 2 : 1;
                const QList<QGlyphRun> runs = block.layout()->glyphRuns(start + i, length);
                bool drawn = !runs.isEmpty() || QChar::isSpace(c);
                QStringList fonts;
                for (const QGlyphRun& run : runs) {
                    fonts.append(run.rawFont().familyName());
                    drawn = drawn && !run.glyphIndexes().contains(0);
                }
                if (drawnAsGlyph(c) && !drawn) {
                    boxes.append(QStringLiteral("U+%1 %2 in %3 (face %4)")
                                     .arg(quint32(c), 4, 16, QChar(u'0'))
                                     .arg(QString::fromUcs4(&c, 1), fonts.join(u'/'),
                                          it.fragment().charFormat().font().family()));
                }
                i += length;
            }
        }
    }
    boxes.removeDuplicates();
    return boxes;
}

} // namespace

void TestGlyphs::everyCharacterHasAGlyph_data()
{
    QTest::addColumn<QByteArray>("bytes");
    for (const QString& file : ReadableSamples())
        QTest::newRow(qPrintable(file)) << ReadSample(file);

    // The corner brackets our editors put around titles, which none of the samples holds and neither Nanum
    // face has, in both kinds of face, as the editor saves them.
    QTextDocument made;
    QTextCursor cursor(&made);
    for (const QString& face : {QStringLiteral("함초롬바탕"), QStringLiteral("함초롬돋움")}) {
        QTextCharFormat format;
        format.setFontFamilies({face});
        cursor.insertText(QStringLiteral("｢보기｣에서 Ab ｢가｣ "), format);
    }
    QString error;
    const QByteArray bytes = HwpFile::Bytes(made, PageGeometry(), &error);
    QVERIFY2(!bytes.isEmpty(), qPrintable(error));
    QTest::newRow("corner brackets, written here") << bytes;
}

void TestGlyphs::everyCharacterHasAGlyph()
{
    QFETCH(QByteArray, bytes);
    QTextDocument document;
    PageGeometry page;
    QString error;
    QVERIFY2(HwpFile::Read(document, page, bytes, &error), qPrintable(error));
    PageLayout::Prepare(&document, page);
    document.documentLayout()->documentSize(); // lays it all out, table cells included
    QStringList boxes = ::boxes(document);
    // The captions of the document's tables and its headers and footers, each laid out as the page draws it.
    const auto laidOut = [&boxes](const auto& content, int width) {
        const auto part = PageDecorations::ContentDocument(content, width);
        part->documentLayout()->documentSize();
        boxes += ::boxes(*part);
    };
    for (QTextTable* table : TableEditing::Tables(document)) {
        if (const auto caption = PageDecorations::CaptionOf(table->format()))
            laidOut(caption->content, 300);
    }
    const PageDecorations::Margins margins = PageDecorations::MarginsOf(document);
    for (const auto* list : {&margins.headers, &margins.footers}) {
        for (const PageDecorations::Margin& margin : *list)
            laidOut(margin.content, 400);
    }
    QVERIFY2(boxes.isEmpty(), qPrintable(QStringLiteral("%1 draws boxes for: %2")
                                             .arg(QString::fromUtf8(QTest::currentDataTag()), boxes.join(u", "))));
}

QTEST_MAIN(TestGlyphs)
#include "tst_glyphs.moc"
