// HWP XML (.hml) documents as the word processor writes them, and as a damaged or hostile one may be: the
// page, paragraphs, numbering, tables and equations come in as the word processor shows them, and what
// cannot come in is left out and counted, or refuses the file without touching the editor.

#include "document/LayoutUnits.h"
#include "document/ListNumbering.h"
// Brings the editor with its view and preparation, formulas, the test files and QtTest.
#include "tests/editor/EditorWindow.h"

#include <QTextBlock>

class TestHwpml : public EditorTest
{
    Q_OBJECT

private:
    // An HWP XML file of the given mapping table and body, with the prolog the word processor writes.
    QString writeHwpml(const QString& name, const QByteArray& head, const QByteArray& body)
    {
        return writeFile(name,
                         R"(<?xml version="1.0" encoding="UTF-8" standalone="no" ?>
<HWPML Version="2.8" SubVersion="8.0.0.0" Style2="embed">
<HEAD SecCnt="1"><MAPPINGTABLE>)" +
                             head + "</MAPPINGTABLE></HEAD><BODY><SECTION Id=\"0\">" + body +
                             "</SECTION></BODY><TAIL></TAIL></HWPML>");
    }

private Q_SLOTS:
    void importsHwpmlAsThePageShowsIt()
    {
        const QByteArray head = R"(
<BORDERFILLLIST Count="2">
<BORDERFILL Id="1"><LEFTBORDER Type="Solid" Width="0.5mm" Color="0"/><RIGHTBORDER Type="Solid" Width="0.5mm" Color="0"/>
<TOPBORDER Type="Solid" Width="0.5mm" Color="0"/><BOTTOMBORDER Type="Solid" Width="0.5mm" Color="0"/></BORDERFILL>
<BORDERFILL Id="2"><LEFTBORDER Type="None" Width="0.1mm" Color="0"/><RIGHTBORDER Type="Dash" Width="0.12mm" Color="255"/>
<TOPBORDER Type="Solid" Width="0.12mm" Color="0"/><BOTTOMBORDER Type="None" Width="0.1mm" Color="0"/>
<FILLBRUSH><WINDOWBRUSH FaceColor="8421631" HatchColor="0" Alpha="0"/></FILLBRUSH></BORDERFILL>
</BORDERFILLLIST>
<FACENAMELIST><FONTFACE Count="1" Lang="Hangul"><FONT Id="0" Name="NanumGothic" Type="ttf"/></FONTFACE></FACENAMELIST>
<CHARSHAPELIST Count="3">
<CHARSHAPE BorderFillId="0" Height="1000" Id="0" TextColor="0"><FONTID Hangul="0"/></CHARSHAPE>
<CHARSHAPE BorderFillId="0" Height="1200" Id="1" TextColor="255"><FONTID Hangul="0"/><BOLD/></CHARSHAPE>
<CHARSHAPE BorderFillId="0" Height="1000" Id="2" TextColor="0"><ITALIC/><SUPERSCRIPT/></CHARSHAPE>
</CHARSHAPELIST>
<NUMBERINGLIST Count="4">
<NUMBERING Id="1" Start="1"><PARAHEAD Level="1" NumFormat="CircledDigit">^1</PARAHEAD></NUMBERING>
<NUMBERING Id="2" Start="1"><PARAHEAD Level="1" NumFormat="HangulSyllable" Text="^1."/></NUMBERING>
<NUMBERING Id="3" Start="1"><PARAHEAD Level="1" NumFormat="HangulJamo">^1)</PARAHEAD></NUMBERING>
<NUMBERING Id="4" Start="1"><PARAHEAD Level="1" NumFormat="Digit">(^1)</PARAHEAD></NUMBERING>
</NUMBERINGLIST>
<PARASHAPELIST Count="6">
<PARASHAPE Id="0" Align="Left"><PARAMARGIN Left="2000" Right="0" Indent="1000" Prev="500" Next="300" LineSpacingType="Percent" LineSpacing="160"/></PARASHAPE>
<PARASHAPE Id="1" HeadingType="Number" Heading="1" Level="0"/>
<PARASHAPE Id="2" HeadingType="Number" Heading="2" Level="0"/>
<PARASHAPE Id="3" HeadingType="Number" Heading="3" Level="0"/>
<PARASHAPE Id="4" HeadingType="Number" Heading="4" Level="0"/>
<PARASHAPE Id="5" Align="Center"/>
</PARASHAPELIST>)";
        const auto cellAt = [](int column, int row, int columns, int rows, int width, int fill, const char* text) {
            return QString::asprintf(
                       R"(<CELL ColAddr="%d" RowAddr="%d" ColSpan="%d" RowSpan="%d" Width="%d" BorderFill="%d">
<PARALIST><P ParaShape="0"><TEXT CharShape="0"><CHAR>%s</CHAR></TEXT></P></PARALIST></CELL>)",
                       column, row, columns, rows, width, fill, text)
                .toUtf8();
        };
        const QByteArray body = R"(
<P ParaShape="0"><TEXT CharShape="0"><SECDEF><PAGEDEF Landscape="1" Width="72852" Height="103180">
<PAGEMARGIN Left="5000" Right="4000" Top="3000" Bottom="2000" Header="1000" Footer="900" Gutter="600"/></PAGEDEF></SECDEF>
<COLDEF Type="Newspaper" Count="2" SameSize="true" SameGap="2268"/><CHAR>값은)"
                                "<NBSPACE/>"
                                R"(3이다.<FWSPACE/></CHAR></TEXT></P>
<P ParaShape="1"><TEXT CharShape="0"><CHAR>하나</CHAR></TEXT></P>
<P ParaShape="1"><TEXT CharShape="0"><CHAR>둘</CHAR><EQUATION><SCRIPT>x^2 over 3</SCRIPT></EQUATION></TEXT></P>
<P ParaShape="2"><TEXT CharShape="0"><CHAR>가</CHAR></TEXT></P>
<P ParaShape="2"><TEXT CharShape="0"><PICTURE><SHAPEOBJECT><CAPTION><PARALIST><P><TEXT><CHAR>그림 설명</CHAR></TEXT></P></PARALIST></CAPTION></SHAPEOBJECT></PICTURE><CHAR>나</CHAR></TEXT></P>
<P ParaShape="3"><TEXT CharShape="0"><CHAR>자음</CHAR></TEXT></P>
<P ParaShape="4"><TEXT CharShape="0"><CHAR>괄호</CHAR></TEXT></P>
<P ParaShape="0"><TEXT CharShape="0"><TABLE RowCount="3" ColCount="3" BorderFill="1"><ROW>)" +
                                cellAt(0, 0, 2, 1, 10000, 1, "AB") + cellAt(2, 0, 1, 1, 5000, 2, "C") + "</ROW><ROW>" +
                                cellAt(0, 1, 1, 1, 4000, 1, "D") + cellAt(1, 1, 1, 1, 6000, 1, "E") +
                                cellAt(2, 1, 1, 2, 5000, 1, "F") + "</ROW><ROW>" + cellAt(0, 2, 1, 1, 4000, 1, "G") +
                                cellAt(1, 2, 1, 1, 6000, 1, "H") + R"(</ROW></TABLE></TEXT></P>
<P ParaShape="5" Style="0"><TEXT CharShape="1"><CHAR>1. 다음 물음에 답하시오.</CHAR></TEXT></P>
<P ParaShape="0" Style="0"><TEXT CharShape="0"><CHAR>x</CHAR></TEXT><TEXT CharShape="2"><CHAR>2</CHAR></TEXT><TEXT CharShape="0"><CHAR> 의 값은<TAB/>얼마인가?</CHAR></TEXT></P>)";
        const QString path = writeHwpml(QStringLiteral("page.hml"), head, body);

        CDHwpCtrl& editor = question();
        QVERIFY2(editor.OpenDocument(path, QStringLiteral("HWPML2X"), QString()), qPrintable(editor.LastOpenError()));
        // The picture is left out, its caption with it, and counted; the equation comes in as a formula.
        QCOMPARE(editor.LastOpenDroppedObjects().Describe(), QStringLiteral("그림 1개"));
        QTextDocument* document = editor.Document();
        QVERIFY(!document->toPlainText().contains(QStringLiteral("over")));
        QVERIFY(!document->toPlainText().contains(QStringLiteral("그림 설명")));

        // Landscape: the upright B4 paper turned.
        const PageGeometry page{.paperWidth = 103180,
                                .paperHeight = 72852,
                                .topMargin = 3000,
                                .bottomMargin = 2000,
                                .leftMargin = 5000,
                                .rightMargin = 4000,
                                .headerLength = 1000,
                                .footerLength = 900,
                                .gutter = 600,
                                .columnCount = 2,
                                .columnGap = 2268};
        QCOMPARE(editor.Page(), page);

        // Checked after the import and again after a native save and reopen.
        const auto check = [](QTextDocument* shown) {
            const QTextBlock first = shown->begin();
            QCOMPARE(first.text(),
                     QStringLiteral("값은") + QChar(QChar::Nbsp) + QStringLiteral("3이다.") + QChar(0x2007));
            const QTextBlockFormat paragraph = first.blockFormat();
            QCOMPARE((QList<double>{LayoutUnits::PercentSpacing(first), paragraph.leftMargin(), paragraph.textIndent(),
                                    LayoutUnits::ToPoints(paragraph.topMargin()),
                                    LayoutUnits::ToPoints(paragraph.bottomMargin())}),
                     (QList<double>{160, 20, 10, 5, 3}));
            QStringList markers;
            for (QTextBlock block = first.next(); markers.size() < 6; block = block.next())
                markers.append(ListNumbering::MarkerText(block) + block.text());
            const QString formula(QChar::ObjectReplacementCharacter);
            QCOMPARE(markers,
                     (QStringList{QStringLiteral("①하나"), QStringLiteral("②둘") + formula, QStringLiteral("가.가"),
                                  QStringLiteral("나.나"), QStringLiteral("ㄱ)자음"), QStringLiteral("(1)괄호")}));
            const int equation = shown->find(formula).position() - 1;
            QCOMPARE(FormulaObject::Script(FormulaObject::FormatAt(*shown, equation)), QStringLiteral("x^2 over 3"));

            QTextTable* table = shown->find(QStringLiteral("AB")).currentTable();
            QVERIFY(table);
            QCOMPARE(QSize(table->columns(), table->rows()), QSize(3, 3));
            QStringList cells;
            for (int row = 0; row < 3; ++row) {
                for (int column = 0; column < 3; ++column) {
                    const QTextTableCell at = table->cellAt(row, column);
                    cells.append(QStringLiteral("%1 %2x%3").arg(CellText(at)).arg(at.rowSpan()).arg(at.columnSpan()));
                }
            }
            QCOMPARE(cells,
                     (QStringList{"AB 1x2", "AB 1x2", "C 1x1", "D 1x1", "E 1x1", "F 2x1", "G 1x1", "H 1x1", "F 2x1"}));
            // In the layout's units, the outer columns less the table's outer border, which the layout draws
            // outside them.
            const double border = LayoutUnits::ToPoints(table->format().border());
            const QList<QTextLength> widths = {
                QTextLength(QTextLength::FixedLength, LayoutUnits::FromPoints(40 - border)),
                QTextLength(QTextLength::FixedLength, LayoutUnits::FromPoints(60)),
                QTextLength(QTextLength::FixedLength, LayoutUnits::FromPoints(50 - border))};
            QCOMPARE(WidthsOf(table->format().columnWidthConstraints()), WidthsOf(widths));
            // 0.5 mm solid all round; on the shaded cell only the top and the dashed red right are drawn.
            const QTextTableCellFormat framed = table->cellAt(1, 1).format().toTableCellFormat();
            QCOMPARE(framed.leftBorderStyle(), QTextFrameFormat::BorderStyle_Solid);
            QVERIFY(qAbs(LayoutUnits::ToPoints(framed.bottomBorder()) - 0.5 * 72 / 25.4) < 0.01);
            const QTextTableCellFormat shaded = table->cellAt(0, 2).format().toTableCellFormat();
            QCOMPARE(shaded.background().color(), QColor(255, 128, 128));
            QCOMPARE((QList<QVariant>{shaded.leftBorderStyle(), shaded.leftBorder(), shaded.bottomBorderStyle()}),
                     (QList<QVariant>{QTextFrameFormat::BorderStyle_None, 0.0, QTextFrameFormat::BorderStyle_None}));
            // Drawn by the cell, or by the table's grid where the cell's line is the grid's own.
            QCOMPARE(shaded.hasProperty(QTextFormat::TableCellTopBorderStyle) ? shaded.topBorderStyle()
                                                                              : table->format().borderStyle(),
                     QTextFrameFormat::BorderStyle_Solid);
            QCOMPARE(shaded.rightBorderStyle(), QTextFrameFormat::BorderStyle_Dashed);
            QCOMPARE(shaded.rightBorderBrush().color(), QColor(255, 0, 0));
            // Thinner than a point Qt would not draw.
            QVERIFY((shaded.hasProperty(QTextFormat::TableCellTopBorder) ? shaded.topBorder()
                                                                         : table->format().border()) >= 1);

            // The character shapes and the alignment, and text in several runs as one paragraph.
            const QTextBlock title = shown->find(QStringLiteral("1. 다음")).block();
            QCOMPARE(title.text(), QStringLiteral("1. 다음 물음에 답하시오."));
            QCOMPARE(title.blockFormat().alignment() & Qt::AlignHorizontal_Mask, Qt::AlignHCenter);
            const QTextCharFormat bold = title.begin().fragment().charFormat();
            QCOMPARE((QList<QVariant>{bold.fontWeight(), bold.fontPointSize(), bold.foreground().color()}),
                     (QList<QVariant>{int(QFont::Bold), 12.0, QColor(255, 0, 0)}));
            QCOMPARE(title.next().text(), QStringLiteral("x2 의 값은\t얼마인가?"));
            bool sawSuperscript = false;
            for (auto it = title.next().begin(); !it.atEnd(); ++it) {
                if (it.fragment().text() == QStringLiteral("2"))
                    sawSuperscript =
                        it.fragment().charFormat().verticalAlignment() == QTextCharFormat::AlignSuperScript &&
                        it.fragment().charFormat().fontItalic();
            }
            QVERIFY(sawSuperscript);
        };
        check(document);
        if (QTest::currentTestFailed())
            return;
        // Saved as HWP and opened again, as the writer's next session would.
        CDHwpCtrl& other = *m_editors[1];
        const QString saved = m_dir.filePath(QStringLiteral("page.hwp"));
        QVERIFY(editor.SaveDocument(saved, QStringLiteral("HWP"), QString()));
        QVERIFY2(other.OpenDocument(saved, QStringLiteral("HWP"), QString()), qPrintable(other.LastOpenError()));
        check(other.Document());
        QCOMPARE(other.Page(), page);
    }

    void hostileHwpmlOpensOrFailsCleanly_data()
    {
        QTest::addColumn<QByteArray>("body");
        QTest::addColumn<bool>("opens");
        QTest::addColumn<int>("dropped");
        QTest::addColumn<QString>("text");
        const auto table = [](const QByteArray& attributes, const QByteArray& rows) {
            return "<P><TEXT><TABLE " + attributes + ">" + rows + "</TABLE></TEXT></P>";
        };
        const auto cell = [](const QByteArray& attributes, const QByteArray& text) {
            return "<CELL " + attributes + "><PARALIST><P><TEXT><CHAR>" + text + "</CHAR></TEXT></P></PARALIST></CELL>";
        };
        QTest::newRow("RowCount 0, cells placed by their order")
            << table("RowCount=\"0\" ColCount=\"-3\"",
                     "<ROW>" + cell("", "a") + cell("", "b") + "</ROW><ROW>" + cell("", "c") + "</ROW>")
            << true << 0 << "2x2 a b c";
        QTest::newRow("missing ids") << QByteArray(
                                            "<P ParaShape=\"77\"><TEXT CharShape=\"88\"><CHAR>x</CHAR></TEXT></P>") +
                                            table("RowCount=\"1\" ColCount=\"1\" BorderFill=\"99\"",
                                                  "<ROW>" + cell("BorderFill=\"99\"", "y") + "</ROW>")
                                     << true << 0 << "1x1 x y";
        QTest::newRow("a billion rows and columns")
            << table("RowCount=\"1000000000\" ColCount=\"1000000000\"", "<ROW>" + cell("", "y") + "</ROW>") << true << 0
            << "64x64 y";
        QByteArray deep = "<CHAR>z</CHAR>";
        for (int i = 0; i < 40; ++i)
            deep = "<TABLE RowCount=\"1\" ColCount=\"1\"><ROW><CELL><PARALIST><P><TEXT>" + deep +
                   "</TEXT></P></PARALIST></CELL></ROW></TABLE>";
        // Followed so deep, then the rest left out as one object.
        QTest::newRow("tables nested 40 deep") << "<P><TEXT>" + deep + "</TEXT></P>" << true << 1 << QString();
        QTest::newRow("unusable page")
            << QByteArray(
                   "<P><TEXT><SECDEF><PAGEDEF Width=\"99999999999\" Height=\"-1\"><PAGEMARGIN Left=\"-2147483648\"/>"
                   "</PAGEDEF></SECDEF><COLDEF Count=\"100000\" SameGap=\"-7\"/><CHAR>p</CHAR></TEXT></P>")
            << true << 0 << "p";
        QTest::newRow("cut off in a cell")
            << QByteArray("<P><TEXT><TABLE RowCount=\"1\" ColCount=\"1\"><ROW><CELL><PARALIST>") << false << 0
            << QString();
    }

    void hostileHwpmlOpensOrFailsCleanly()
    {
        QFETCH(QByteArray, body);
        QFETCH(bool, opens);
        QFETCH(int, dropped);
        QFETCH(QString, text);
        CDHwpCtrl& editor = question();
        TypeText(editor, QStringLiteral("이전 내용"));
        const PageGeometry before = editor.Page();
        const bool ok =
            editor.OpenDocument(writeHwpml(QStringLiteral("hostile.hml"), {}, body), QStringLiteral("HWPML2X"), {});
        QCOMPARE(ok, opens);
        // A page the file cannot give is the page the editor had.
        QCOMPARE(editor.Page(), before);
        if (!opens) {
            QVERIFY(editor.LastOpenError().startsWith(QStringLiteral("HWP XML 문서를 읽을 수 없습니다.")));
            QCOMPARE(editor.Document()->toPlainText(), QStringLiteral("이전 내용"));
            return;
        }
        QCOMPARE(editor.LastOpenDroppedObjects().Total(), dropped);
        // The first table's size, then the text.
        QString shown = editor.Document()->toPlainText().simplified();
        for (QTextFrame* frame : editor.Document()->rootFrame()->childFrames())
            if (auto* first = qobject_cast<QTextTable*>(frame)) {
                shown = QStringLiteral("%1x%2 ").arg(first->rows()).arg(first->columns()) + shown;
                break;
            }
        if (!text.isNull())
            QCOMPARE(shown, text);
    }

    // HWP XML equations come in as formulas: base size in HWPUNIT (else the text's), colour as 0x00BBGGRR
    // (else black), the script as written; none of them counts as left out.
    void equationsImportedFromHwpml()
    {
        const QByteArray head =
            R"(<CHARSHAPELIST Count="1"><CHARSHAPE Height="1400" Id="0" TextColor="0"/></CHARSHAPELIST>)";
        const QByteArray body = R"(<P ParaShape="0"><TEXT CharShape="0"><CHAR>식 </CHAR>
<EQUATION BaseLine="86" BaseUnit="1200" LineMode="false" TextColor="255" Version="Equation Version 60">
<SHAPEOBJECT InstId="1" Lock="false" NumberingType="Equation" TextFlow="BothSides" ZOrder="1">
<SIZE Height="1125" HeightRelTo="Absolute" Protect="false" Width="2000" WidthRelTo="Absolute"/>
<POSITION AffectLSpacing="false" FlowWithText="true" TreatAsChar="true" VertRelTo="Para"/>
<OUTSIDEMARGIN Bottom="0" Left="56" Right="56" Top="0"/></SHAPEOBJECT>
<SCRIPT>a &lt; {b over c}</SCRIPT></EQUATION><CHAR>와 </CHAR>
<EQUATION Version="Equation Version 60"><SCRIPT>root 3 of 8</SCRIPT></EQUATION>
<EQUATION BaseUnit="1000"><SCRIPT>  </SCRIPT></EQUATION></TEXT></P>)";
        CDHwpCtrl& reader = question();
        QVERIFY2(
            reader.OpenDocument(writeHwpml(QStringLiteral("equations.hml"), head, body), QStringLiteral("HWPML2X"), {}),
            qPrintable(reader.LastOpenError()));
        QCOMPARE(reader.LastOpenDroppedObjects().Total(), 0);
        QCOMPARE(FormulasOf(*reader.Document()), (QStringList{QStringLiteral("2 a < {b over c} 12 #ff0000"),
                                                              QStringLiteral("5 root 3 of 8 14 #000000")}));
    }
};

QTEST_MAIN(TestHwpml)
#include "tst_hwpml.moc"
