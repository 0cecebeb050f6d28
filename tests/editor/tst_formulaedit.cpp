#include "document/DocumentFile.h"
#include "editor/FormulaDlg.h"
// Brings the editor with its view and preparation, formulas, the test files and QtTest.
#include "tests/editor/EditorWindow.h"
#include "formula/Formula.h"
#include "tests/support/NextDialog.h"

#include <QAbstractTextDocumentLayout>
#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QDataStream>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRegularExpression>
#include <QTextBlock>
#include <QTextLayout>
#include <QTimer>

#include <functional>

namespace {

// A formula at the editor's cursor as a file or a paste brings one: any size and colour.
void putFormula(CDHwpCtrl& editor, const QString& script, double size, const QColor& colour)
{
    QTextCursor cursor = editor.View()->textCursor();
    cursor.insertText(QString(QChar::ObjectReplacementCharacter),
                      FormulaObject::MakeFormat(script, size, colour, cursor.charFormat()));
    editor.View()->setTextCursor(cursor);
}

// Types `text` in `format` alone, not in the format at the cursor.
void type(CDHwpCtrl& editor, const QString& text, const QTextCharFormat& format = {})
{
    QTextCursor cursor = editor.View()->textCursor();
    cursor.insertText(text, format);
    editor.View()->setTextCursor(cursor);
}

void select(CDHwpCtrl& editor, int from, int to)
{
    QTextCursor cursor(editor.Document());
    cursor.setPosition(from);
    cursor.setPosition(to, QTextCursor::KeepAnchor);
    editor.View()->setTextCursor(cursor);
}

// Answers the next formula dialog: `use` works it as a writer would and closes it.
void answerFormulaDialog(std::function<void(FormulaDlg*)> use)
{
    AnswerNextDialog<FormulaDlg>(std::move(use), false);
}

// The rows, from first to last, where at least half of a pixel is the pure colour `colour` (one of red, green
// and blue) over white: anti-aliased edges count from half coverage, as the outline's edge lies.
std::pair<int, int> inkRows(const QImage& image, const QColor& colour)
{
    int first = -1;
    int last = -1;
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x) {
            const QColor pixel = image.pixelColor(x, y);
            const bool ink = (colour.red() > 128) == (pixel.red() > 128) &&
                             (colour.green() > 128) == (pixel.green() > 128) &&
                             (colour.blue() > 128) == (pixel.blue() > 128) && pixel != Qt::white;
            if (ink) {
                first = first < 0 ? y : first;
                last = y;
                break;
            }
        }
    }
    return {first, last};
}

} // namespace

class TestFormulaEdit : public EditorTest
{
    Q_OBJECT

private:
    CDHwpCtrl& editor(int index = 0) { return *m_editors[index]; }

    // The formula at `position` of the question editor against where the text's line puts the baseline:
    // the rows its `colour` inks in `image` (`scale` pixels to the point, `baseline` in pixels) must be the
    // rows its outline covers, within half a point and the pixel that anti-aliasing blurs.
    void checkInk(const QImage& image, double scale, double baseline, int position, const QColor& colour)
    {
        const QTextCharFormat format = FormulaObject::FormatAt(*editor().Document(), position);
        const QRectF outline =
            formula::Lay(FormulaObject::Script(format), FormulaObject::PointSize(format))->outline.boundingRect();
        const auto [top, bottom] = inkRows(image, colour);
        const double tolerance = 0.5 * scale + 1;
        const QString seen = QString::asprintf("ink %d…%d, outline %g…%g", top, bottom + 1,
                                               baseline + outline.top() * scale, baseline + outline.bottom() * scale);
        QVERIFY2(top >= 0, qPrintable(seen));
        QVERIFY2(std::abs(top - (baseline + outline.top() * scale)) <= tolerance, qPrintable(seen));
        QVERIFY2(std::abs(bottom + 1 - (baseline + outline.bottom() * scale)) <= tolerance, qPrintable(seen));
    }

    // The line that holds `position`, and where the layout puts the block's lines.
    static QTextLine lineAt(QTextDocument* document, int position, QPointF* blockTop = nullptr)
    {
        const QTextBlock block = document->findBlock(position);
        if (blockTop)
            *blockTop = document->documentLayout()->blockBoundingRect(block).topLeft();
        return block.layout()->lineForTextPosition(position - block.position());
    }

private Q_SLOTS:
    // Ctrl+N, M, a script built with a button and typed, Enter: the formula is in the text at the cursor,
    // one character to the cursor and one step to undo. A double click opens it again for editing.
    void writtenWithTheKeysAndEditedWithADoubleClick()
    {
        CDHwpCtrl& question = editor();
        PageView* view = question.View();
        type(question, QStringLiteral("값은 "));
        view->setFocus();
        answerFormulaDialog([](FormulaDlg* dialog) {
            QCOMPARE(dialog->windowTitle(), QStringLiteral("수식 입력"));
            auto* script = dialog->findChild<QPlainTextEdit*>(QStringLiteral("scriptEdit"));
            auto* preview = dialog->findChild<QWidget*>(QStringLiteral("formulaPreview"));
            QVERIFY(script && preview);
            const auto inked = [preview] { return !InkIn(preview->grab().toImage(), {}, 128).isEmpty(); };
            QVERIFY(!inked());
            // Every structure goes in at the cursor and leaves the cursor in its first bracket, past a space.
            for (const FormulaDlg::Structure& structure : FormulaDlg::Structures()) {
                auto* button = dialog->findChild<QPushButton*>(QLatin1String(structure.name));
                QVERIFY2(button && !button->toolTip().isEmpty(), structure.name);
                script->setPlainText(QStringLiteral("a"));
                script->moveCursor(QTextCursor::End);
                QTest::mouseClick(button, Qt::LeftButton);
                QCOMPARE(script->toPlainText(), QStringLiteral("a") + structure.text);
                qsizetype inside = structure.text.indexOf(QRegularExpression(QStringLiteral("[{(]"))) + 1;
                inside += structure.text.at(inside) == u' ';
                QCOMPARE(script->textCursor().position(), 1 + inside);
            }
            script->clear();
            QTest::mouseClick(dialog->findChild<QPushButton*>(QStringLiteral("sqrtButton")), Qt::LeftButton);
            QTest::keyClicks(script, QStringLiteral("x"));
            QTest::keyClick(script, Qt::Key_End);
            QTest::keyClicks(script, QStringLiteral(" + 1"));
            QVERIFY(inked());
            QTest::keyClick(script, Qt::Key_Return);
        });
        QTest::keyClick(view, Qt::Key_N, Qt::ControlModifier);
        QTest::keyClick(view, Qt::Key_M);
        activate();
        const QString formula(QChar::ObjectReplacementCharacter);
        QCOMPARE(question.Document()->toPlainText(), QStringLiteral("값은 ") + formula);
        QCOMPARE(FormulasOf(*question.Document()), QStringList{QStringLiteral("3 sqrt {x} + 1 10 #000000")});
        question.findChild<QAction*>(QStringLiteral("undoAction"))->trigger();
        QCOMPARE(question.Document()->toPlainText(), QStringLiteral("값은 "));
        question.findChild<QAction*>(QStringLiteral("redoAction"))->trigger();
        QCOMPARE(FormulasOf(*question.Document()).size(), 1);

        // Typed after the formula is text, and the cursor passes the formula in one step each way.
        QTest::keyClick(view, Qt::Key_End);
        QTest::keyClicks(view, QStringLiteral("!"));
        QCOMPARE(FormulasOf(*question.Document()).size(), 1);
        QVERIFY(!FormulaObject::FormatAt(*question.Document(), 4).hasProperty(FormulaObject::kScriptProperty));
        QTest::keyClick(view, Qt::Key_Left);
        QTest::keyClick(view, Qt::Key_Left, Qt::ShiftModifier);
        QCOMPARE(view->textCursor().selectedText(), formula);
        QCOMPARE(view->textCursor().position(), 3);

        // An empty script, or a cancelled dialog, puts nothing in.
        QTest::keyClick(view, Qt::Key_End);
        answerFormulaDialog([](FormulaDlg* dialog) {
            QTest::keyClick(dialog->findChild<QPlainTextEdit*>(QStringLiteral("scriptEdit")), Qt::Key_Enter);
        });
        question.findChild<QAction*>(QStringLiteral("insertFormulaAction"))->trigger();
        answerFormulaDialog([](FormulaDlg* dialog) {
            QTest::keyClicks(dialog->findChild<QPlainTextEdit*>(QStringLiteral("scriptEdit")), QStringLiteral("y"));
            QTest::keyClick(dialog, Qt::Key_Escape);
        });
        question.ShowFormulaDialog();
        QCOMPARE(question.Document()->toPlainText(), QStringLiteral("값은 ") + formula + QStringLiteral("!"));
        QCOMPARE(FormulasOf(*question.Document()), QStringList{QStringLiteral("3 sqrt {x} + 1 10 #000000")});

        // Edited, a formula keeps its place, size and colour.
        select(question, 3, 4);
        QTextCursor cursor = view->textCursor();
        cursor.setCharFormat(FormulaObject::MakeFormat(QStringLiteral("sqrt {x} + 1"), 14, Qt::red));
        answerFormulaDialog([](FormulaDlg* dialog) {
            auto* script = dialog->findChild<QPlainTextEdit*>(QStringLiteral("scriptEdit"));
            QCOMPARE(script->toPlainText(), QStringLiteral("sqrt {x} + 1"));
            script->selectAll();
            QTest::keyClicks(script, QStringLiteral("x over 2"));
            QTest::keyClick(script, Qt::Key_Return);
        });
        QTest::mouseDClick(view, Qt::LeftButton, {}, view->formulaRect(3).center().toPoint());
        activate();
        QCOMPARE(FormulasOf(*question.Document()), QStringList{QStringLiteral("3 x over 2 14 #ff0000")});
        QCOMPARE(question.Document()->toPlainText(), QStringLiteral("값은 ") + formula + QStringLiteral("!"));
    }

    // The formula's baseline is the text's, whichever of the two is taller, at every zoom, at every size,
    // and in the page image at 500 dpi.
    void standsOnTheBaselineAtEveryZoomAndSize()
    {
        CDHwpCtrl& question = editor();
        QTextCharFormat large;
        large.setFontPointSize(24);
        type(question, QStringLiteral("가"), large);
        putFormula(question, QStringLiteral("x over y"), 10, Qt::red);
        type(question, QStringLiteral(" 나\n작은 글씨 "));
        putFormula(question, QStringLiteral("{a+b} over 2"), 20, Qt::blue);
        QTextDocument* document = question.Document();
        QList<std::pair<int, QColor>> formulas = {{1, Qt::red}, {document->characterCount() - 2, Qt::blue}};
        // The page image is painted in bands, each but the first from a copy of the document: one formula
        // low on the page.
        for (int i = 0; i < 40; ++i)
            type(question, QStringLiteral("\n줄 %1").arg(i));
        putFormula(question, QStringLiteral("x^2"), 10, Qt::green);
        formulas.append({document->characterCount() - 2, Qt::green});
        QCOMPARE(FormulaObject::Positions(*document),
                 (QList<int>{formulas[0].first, formulas[1].first, formulas[2].first}));

        PageView* view = question.View();
        for (int zoom : {100, 250}) {
            question.SetZoom(zoom);
            const double scale = zoom / 100.0 * view->logicalDpiY() / 72.0;
            for (const auto& [position, colour] : formulas.mid(0, 2)) {
                QTextCursor at(document);
                at.setPosition(position);
                view->setTextCursor(at);
                const QRectF line = view->cursorRect();
                const QTextLine text = lineAt(document, position);
                // The formula's own column, over the whole height of its line and a line more either side.
                const QRect area =
                    QRectF(QPointF(line.left(), line.top() - text.height() * scale),
                           QPointF(view->formulaRect(position).right(), line.top() + 2 * text.height() * scale))
                        .toAlignedRect();
                const QImage shown = view->grab(area).toImage();
                checkInk(shown, shown.devicePixelRatio() * scale,
                         shown.devicePixelRatio() * (line.top() - area.top() + text.ascent() * scale), position,
                         colour);
            }
        }

        const QImage page = RenderedPage(question, m_dir, QStringLiteral("page"), 500);
        QVERIFY(!page.isNull());
        const double scale = 500 / 72.0;
        const PageGeometry geometry = question.Page();
        for (const auto& [position, colour] : formulas) {
            QPointF blockTop;
            const QTextLine text = lineAt(document, position, &blockTop);
            const double baseline = geometry.bodyRect().top() + blockTop.y() + text.y() + text.ascent();
            const double left = geometry.columnLeft(0) + blockTop.x();
            QVERIFY(blockTop.y() + text.y() < geometry.bodyRect().height()); // in the first column
            // The line makes room for the whole formula, above and below the baseline.
            const QTextCharFormat format = FormulaObject::FormatAt(*document, position);
            const auto laid = formula::Lay(FormulaObject::Script(format), FormulaObject::PointSize(format));
            QVERIFY(text.ascent() >= laid->ascent - 0.05 && text.descent() >= laid->descent - 0.05);
            QVERIFY(colour != Qt::green || baseline > geometry.paperSize().height() / 2);
            const QRect column =
                QRectF(QPointF(left, baseline - 40) * scale, QSizeF(geometry.columnWidth(), 80) * scale)
                    .toAlignedRect();
            QVERIFY(column.bottom() < page.height());
            checkInk(page.copy(column), scale, baseline * scale - column.top(), position, colour);
        }
    }

    // Copied between editors, formulas stay formulas; one alone also goes as its script, and a script from
    // elsewhere pastes as text.
    void copiedAndPastedAsFormulas()
    {
        CDHwpCtrl& source = editor(0);
        CDHwpCtrl& target = editor(1);
        type(source, QStringLiteral("a"));
        putFormula(source, QStringLiteral("x^2"), 12, Qt::red);
        type(source, QStringLiteral("b"));
        putFormula(source, QStringLiteral("y_1"), 10, Qt::black);

        source.View()->setFocus();
        QTest::keyClick(source.View(), Qt::Key_A, Qt::ControlModifier);
        QTest::keyClick(source.View(), Qt::Key_C, Qt::ControlModifier);
        target.View()->setFocus();
        type(target, QStringLiteral(">"));
        QTest::keyClick(target.View(), Qt::Key_V, Qt::ControlModifier);
        QCOMPARE(FormulasOf(*target.Document()),
                 (QStringList{QStringLiteral("2 x^2 12 #ff0000"), QStringLiteral("4 y_1 10 #000000")}));

        select(source, 1, 2);
        source.View()->setFocus();
        QTest::keyClick(source.View(), Qt::Key_C, Qt::ControlModifier);
        QCOMPARE(QApplication::clipboard()->text(), QStringLiteral("x^2"));
        target.View()->setFocus();
        QTest::keyClick(target.View(), Qt::Key_V, Qt::ControlModifier);
        QApplication::clipboard()->setText(QStringLiteral("z over 2"));
        QTest::keyClick(target.View(), Qt::Key_V, Qt::ControlModifier);
        QCOMPARE(FormulasOf(*target.Document()).size(), 3);
        QCOMPARE(FormulasOf(*target.Document()).last(), QStringLiteral("5 x^2 12 #ff0000"));
        QVERIFY(target.Document()->toPlainText().endsWith(QStringLiteral("z over 2")));
    }

    // A version 3 file as written by hand: formulas stand where the HTML has their pictures. One whose
    // formula has no such place, or an impossible size, is refused and the open document stays.
    void filesWithFormulasOutOfPlaceAreRefused_data()
    {
        QTest::addColumn<qint32>("position");
        QTest::addColumn<double>("size");
        QTest::addColumn<QString>("error");
        QTest::newRow("in place") << 1 << 12.0 << QString();
        QTest::newRow("on a letter") << 0 << 12.0 << QStringLiteral("문서가 손상되었습니다. 수식이 놓일 자리가");
        QTest::newRow("past the end") << 40 << 12.0 << QStringLiteral("문서가 손상되었습니다. 수식이 놓일 자리가");
        QTest::newRow("no size") << 1 << 0.0 << QStringLiteral("문서가 손상되었거나 잘려 있습니다.");
    }

    void filesWithFormulasOutOfPlaceAreRefused()
    {
        QFETCH(qint32, position);
        QFETCH(double, size);
        QFETCH(QString, error);
        const QString path = writeFile(
            QStringLiteral("handmade.hwp"), OwnFormatFile(3, editor().Page(), [&](QDataStream& out) {
                out << QStringLiteral("<html><body><p>x<img src=\"vellorin-formula:0\" />y</p></body></html>");
                out << quint32(0) << quint32(0) << quint32(0);
                out << quint32(1) << position << QStringLiteral("x^2") << size << quint32(qRgb(0, 0, 255));
            }));

        CDHwpCtrl& reader = editor();
        type(reader, QStringLiteral("이전 내용"));
        const bool opened = reader.OpenDocument(path, QStringLiteral("HWP"), QString());
        if (error.isEmpty()) {
            QVERIFY2(opened, qPrintable(reader.LastOpenError()));
            QCOMPARE(FormulasOf(*reader.Document()), QStringList{QStringLiteral("1 x^2 12 #0000ff")});
            return;
        }
        QVERIFY(!opened);
        QVERIFY2(reader.LastOpenError().startsWith(error), qPrintable(reader.LastOpenError()));
        QCOMPARE(reader.Document()->toPlainText(), QStringLiteral("이전 내용"));
    }
};

QTEST_MAIN(TestFormulaEdit)
#include "tst_formulaedit.moc"
