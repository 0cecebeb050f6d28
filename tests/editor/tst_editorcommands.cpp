// The writer's commands around the page: documents in and out, every toolbar command by keyboard, the
// page's context menu, the boxes that show the format at the cursor, pasted tables, and the page image
// beside the screen.

#include "document/DocumentFile.h"
#include "document/LayoutUnits.h"
#include "document/TableEditing.h"
#include "document/hwp/HwpFile.h"
#include "document/PageLayout.h"
// Brings the editor with its view and preparation, formulas, the test files and QtTest.
#include "tests/editor/EditorWindow.h"
#include "tests/support/NextDialog.h"

#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QComboBox>
#include <QContextMenuEvent>
#include <QDropEvent>
#include <QFileDialog>
#include <QFontComboBox>
#include <QLineEdit>
#include <QMenu>
#include <QMetaEnum>
#include <QMimeData>
#include <QSpinBox>
#include <QTextBlock>
#include <QTimer>
#include <QToolBar>
#include <QToolButton>
#include <QUrl>

using namespace Qt::Literals::StringLiterals;

namespace {

// The text a file gives when it is read on its own, as the editor reads it.
QString textOfFile(const QString& path)
{
    QTextDocument document;
    PageGeometry page;
    if (path.endsWith(QLatin1String(".hml")))
        return DocumentFile::ImportHwpml(document, path) ? document.toPlainText() : QString();
    return HwpFile::Load(document, page, path) ? document.toPlainText() : QString();
}

// The light pixels where the table's inner lines cross, in an image of the page at `scale` pixels a point
// with the page's top left at `origin`.
int lightInCrossings(const QImage& image, double scale, QPointF origin, const QRectF& tableOnPage)
{
    const QRect table = QRectF(origin + tableOnPage.topLeft() * scale, tableOnPage.size() * scale).toAlignedRect();
    // The lines the middle of the first row crosses, and those the middle of the first column crosses.
    const QList<std::pair<int, int>> columns =
        DarkRuns(image, true, table.top() + int(6 * scale), table.left() - 2, table.right() + 2);
    const QList<std::pair<int, int>> rows =
        DarkRuns(image, false, table.left() + int(6 * scale), table.top() - 2, table.bottom() + 2);
    if (columns.size() < 3 || rows.size() < 3)
        return -1;
    int light = 0;
    for (qsizetype c = 1; c + 1 < columns.size(); ++c) {
        for (qsizetype r = 1; r + 1 < rows.size(); ++r) {
            for (int x = columns[c].first; x <= columns[c].second; ++x)
                for (int y = rows[r].first; y <= rows[r].second; ++y)
                    light += qGray(image.pixel(x, y)) >= 128;
        }
    }
    return light;
}

} // namespace

class TestEditorCommands : public EditorTest
{
    Q_OBJECT

private:
    // What the writer was asked or told, each as "icon|caption|text|the button Enter presses".
    QStringList m_asked;
    QMessageBox::StandardButton m_answer = QMessageBox::Yes;

    CDHwpCtrl& editor() { return *m_editors[0]; }

    void type(const QString& text) { TypeText(editor(), text); }
    void moveTo(int position) { MoveCursor(editor(), position); }

    // The actions of the next popup menu, which is then closed.
    QStringList nextMenu(const std::function<void()>& open, const char* choose = nullptr)
    {
        QStringList shown;
        QString name;
        QTimer::singleShot(50, [&shown, &name, choose] {
            auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget());
            if (!menu)
                return;
            name = menu->objectName();
            for (QAction* action : menu->actions()) {
                if (!action->isSeparator())
                    shown.append(action->text());
                if (choose && action->objectName() == QLatin1String(choose))
                    QTimer::singleShot(0, action, &QAction::trigger);
            }
            menu->close();
        });
        open();
        return name.isEmpty() ? QStringList{} : QStringList{name} + shown;
    }

    // The keys of a file command on the page, with the window active again after the dialog before it; the
    // file dialog they open must have `title`, and is answered as a writer does: the whole path typed into its
    // name field, and Enter. `offered`, when given, gets the name the dialog offered. m_asked then holds what
    // the writer was asked or told.
    void fileByKeys(Qt::Key key, Qt::KeyboardModifiers modifiers, const QString& title, const QString& path,
                    QString* offered = nullptr)
    {
        m_asked.clear();
        AnswerNextDialog<QDialog>([title, path, offered](QDialog* box) {
            auto* dialog = qobject_cast<QFileDialog*>(box);
            QVERIFY(dialog);
            QCOMPARE(dialog->windowTitle(), title);
            auto* name = dialog->findChild<QLineEdit*>(QStringLiteral("fileNameEdit"));
            QVERIFY(name);
            if (offered)
                *offered = name->text();
            name->setText(path);
            QTest::keyClick(name, Qt::Key_Return);
        });
        activate();
        editor().View()->setFocus();
        QTest::keyClick(editor().View(), key, modifiers);
    }

    void dropOn(const QString& path, int position)
    {
        PageView* view = editor().View();
        moveTo(position);
        const QPointF at = view->cursorRect().center();
        moveTo(0);
        QMimeData mime;
        mime.setUrls({QUrl::fromLocalFile(path)});
        QDragEnterEvent enter(at.toPoint(), Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
        QCoreApplication::sendEvent(view, &enter);
        QVERIFY(enter.isAccepted());
        QDropEvent drop(at, Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
        QCoreApplication::sendEvent(view, &drop);
    }

private Q_SLOTS:
    void initTestCase()
    {
        showWindow();
        CDHwpCtrl::SetAsker([this](QWidget*, QMessageBox::Icon icon, const QString& caption, const QString& text,
                                   QMessageBox::StandardButtons, QMessageBox::StandardButton defaultButton) {
            m_asked.append(
                QLatin1String(QMetaEnum::fromType<QMessageBox::Icon>().valueToKey(icon)) + u'|' + caption + u'|' +
                text + u'|' +
                QLatin1String(QMetaEnum::fromType<QMessageBox::StandardButtons>().valueToKey(defaultButton)));
            return m_answer;
        });
    }

    void init()
    {
        PrepareEditors(m_editors);
        SetupToolbars(m_editors);
        m_asked.clear();
        m_answer = QMessageBox::Yes;
        activate();
    }

    void documentsInAndOut_data()
    {
        QTest::addColumn<QString>("path");
        QTest::addColumn<QString>("text"); // what the file holds; none when it cannot be read
        QTest::addColumn<bool>("opens");   // a picture is inserted and dropped, not opened

        QTest::newRow("HWP 5.0") << SamplePath(QStringLiteral("example.hwp"))
                                 << textOfFile(SamplePath(QStringLiteral("example.hwp"))) << true;
        const QString hml = writeFile(
            QStringLiteral("question.hml"),
            R"(<?xml version="1.0" encoding="UTF-8"?><HWPML Version="2.8"><HEAD SecCnt="1"><MAPPINGTABLE>)"
            R"(<CHARSHAPELIST Count="1"><CHARSHAPE Height="1000" Id="0" TextColor="0"/></CHARSHAPELIST>)"
            R"(<PARASHAPELIST Count="1"><PARASHAPE Align="Justify" Id="0"/></PARASHAPELIST></MAPPINGTABLE></HEAD>)"
            R"(<BODY><SECTION Id="0"><P ParaShape="0"><TEXT CharShape="0"><CHAR>XML 문서의 물음</CHAR></TEXT></P>)"
            R"(</SECTION></BODY><TAIL></TAIL></HWPML>)");
        QTest::newRow("HWP XML") << hml << QStringLiteral("XML 문서의 물음") << true;
        QTextDocument own;
        QTextCursor(&own).insertText(QStringLiteral("편집기 형식의 물음\n둘째 문단"));
        const QString native = m_dir.filePath(QStringLiteral("own.hwp"));
        QVERIFY(DocumentFile::SaveNative(own, PageGeometry(), native));
        QTest::newRow("own format") << native << own.toPlainText() << true;

        QImage picture(30, 20, QImage::Format_RGB32);
        picture.fill(Qt::darkGreen);
        const QString png = m_dir.filePath(QStringLiteral("figure.png"));
        QVERIFY(picture.save(png));
        QTest::newRow("picture") << png << QString(QChar::ObjectReplacementCharacter) << false;

        QTest::newRow("cut short") << writeFile(QStringLiteral("short.hwp"), ReadSample(u"example.hwp"_s).left(3000))
                                   << QString() << true;
        QTest::newRow("not a document") << writeFile(QStringLiteral("notes.hwp"), "just some words\n") << QString()
                                        << true;
        QTest::newRow("broken XML") << writeFile(QStringLiteral("broken.hml"), "<?xml version=\"1.0\"?><HWPML><BODY>")
                                    << QString() << true;
        QTest::newRow("missing") << m_dir.filePath(QStringLiteral("gone.hwp")) << QString() << true;
    }

    // A document comes in whole, in place of the page's or at the cursor, from the command or dropped from a
    // file manager; it counts as a change. A file that cannot be read says why and leaves the page as it was.
    void documentsInAndOut()
    {
        QFETCH(QString, path);
        QFETCH(QString, text);
        QFETCH(bool, opens);
        const bool readable = !text.isNull();
        QTextDocument* document = editor().Document();
        const PageGeometry page = editor().Page();

        if (opens) {
            type(QStringLiteral("쓰던 글"));
            editor().SetModified(false);
            QCOMPARE(editor().OpenFile(path), readable);
            QCOMPARE(document->toPlainText(), readable ? text : QStringLiteral("쓰던 글"));
            QCOMPARE(editor().IsModified(), readable);
            QCOMPARE(editor().LastOpenError().isEmpty(), readable);
            QCOMPARE(editor().Page(), page);
        }

        // Inserted at the cursor, as one undo step.
        for (const bool dropped : {false, true}) {
            PrepareEditors(m_editors);
            m_asked.clear();
            type(QStringLiteral("앞뒤"));
            editor().SetModified(false);
            if (dropped) {
                dropOn(path, 1);
            } else {
                moveTo(1);
                QCOMPARE(editor().InsertFile(path), readable);
            }
            QCOMPARE(editor().IsModified(), readable);
            // A failed drop has no one to give an answer to: the writer is told.
            QCOMPARE(m_asked.size(), !readable && dropped ? 1 : 0);
            if (!readable) {
                QCOMPARE(document->toPlainText(), QStringLiteral("앞뒤"));
                if (dropped)
                    QVERIFY2(m_asked.first().contains(QFileInfo(path).fileName()), qPrintable(m_asked.first()));
                continue;
            }
            const QString now = document->toPlainText();
            QVERIFY2(now.startsWith(u'앞') && now.endsWith(u'뒤'), qPrintable(now));
            // The document's paragraphs and tables split the line they come into.
            const auto joined = [](QString lines) { return lines.remove(u'\n'); };
            QCOMPARE(joined(now.mid(1, now.size() - 2)), joined(text));
            if (!opens)
                QCOMPARE(DocumentFile::PictureNames(*document).size(), 1);
            document->undo();
            QCOMPARE(document->toPlainText(), QStringLiteral("앞뒤"));
        }
    }

    // Ctrl+O asks for a file, and before the page's changed text goes, whether it may; Ctrl+Shift+S writes the
    // page as an HWP 5.0 document where the writer says, with the name's ending added when it lacks one.
    void openAndSaveByKeys()
    {
        PageView* view = editor().View();
        view->setFocus();
        type(QStringLiteral("고친 글"));
        const QString sample = SamplePath(QStringLiteral("example.hwp"));
        for (const QMessageBox::StandardButton answer : {QMessageBox::No, QMessageBox::Yes}) {
            m_answer = answer;
            fileByKeys(Qt::Key_O, Qt::ControlModifier, QStringLiteral("문서 열기"), sample);
            // Enter keeps what the writer changed.
            QVERIFY2(m_asked.size() == 1 && m_asked[0].startsWith(u"Question|"_s) && m_asked[0].endsWith(u"|No"_s),
                     qPrintable(m_asked.join(u'/')));
            QCOMPARE(editor().Document()->toPlainText() == QStringLiteral("고친 글"), answer == QMessageBox::No);
        }
        QCOMPARE(editor().Document()->toPlainText(), textOfFile(sample));

        // Saved as a file, the changed document is kept: opening another asks nothing. The file is not the
        // bank: the document is still unsaved for the program.
        type(QStringLiteral("더 고친 글: 함수/그래프?"));
        const QString saved = m_dir.filePath(QStringLiteral("saved"));
        QString offered;
        fileByKeys(Qt::Key_S, Qt::ControlModifier | Qt::ShiftModifier, QStringLiteral("다른 이름으로 저장"), saved,
                   &offered);
        const QString first = editor().Document()->begin().text().simplified();
        QVERIFY2(offered.endsWith(QStringLiteral(".hwp")) && !offered.contains(u'/') && !offered.contains(u'?') &&
                     first.startsWith(offered.chopped(4).section(u' ', 0, 0)),
                 qPrintable(offered + u'|' + first));
        QCOMPARE(textOfFile(saved + QStringLiteral(".hwp")), editor().Document()->toPlainText());
        QVERIFY(!QFile::exists(saved));
        QVERIFY(editor().IsModified());
        fileByKeys(Qt::Key_O, Qt::ControlModifier, QStringLiteral("문서 열기"), sample);
        QCOMPARE(m_asked.size(), 0);
        QCOMPARE(editor().Document()->toPlainText(), textOfFile(sample));

        // Insert by its keys, and a file that cannot be read named in what the writer is told.
        const QString broken = writeFile(QStringLiteral("broken.hwp"), QByteArray(600, 'x'));
        fileByKeys(Qt::Key_O, Qt::ControlModifier | Qt::ShiftModifier, QStringLiteral("문서 끼워 넣기"), broken);
        QVERIFY2(m_asked.size() == 1 && m_asked[0].startsWith(u"Warning|문서 끼워 넣기|broken.hwp\n\n"_s),
                 qPrintable(m_asked.join(u'/')));
        QCOMPARE(editor().Document()->toPlainText(), textOfFile(sample));

        // A document whose objects the editor cannot show yet comes in without them, and the writer is told
        // how many went and of what kind: matrix.hwp is three drawn objects and nothing else.
        for (const auto& [title, keys] :
             {std::pair{QStringLiteral("문서 열기"), Qt::KeyboardModifiers(Qt::ControlModifier)},
              {QStringLiteral("문서 끼워 넣기"), Qt::ControlModifier | Qt::ShiftModifier}}) {
            fileByKeys(Qt::Key_O, keys, title, SamplePath(QStringLiteral("matrix.hwp")));
            QVERIFY2(m_asked.size() == 1 && m_asked[0].startsWith(u"Warning|"_s + title + u'|') &&
                         m_asked[0].contains(u"빼고 열었습니다: 그리기 개체 3개.|"_s),
                     qPrintable(m_asked.join(u'/')));
        }
    }

    // Every command of the toolbars is a tab stop in reading order or has keys its tooltip shows; Enter on a
    // stop runs it, and Ctrl+N, T makes a table as Ctrl+N, M makes a formula.
    void everyCommandByKeyboard()
    {
        CDHwpCtrl& ctrl = editor();
        QList<QWidget*> stops;
        QWidget* first = ctrl.findChild<QWidget*>(QStringLiteral("fileMenuButton"));
        first->setFocus(Qt::TabFocusReason);
        for (QWidget* at = QApplication::focusWidget(); at && at != ctrl.View() && stops.size() < 100;
             at = QApplication::focusWidget()) {
            stops.append(at);
            QTest::keyClick(at, Qt::Key_Tab);
        }
        QCOMPARE(QApplication::focusWidget(), ctrl.View());
        QStringList unreachable;
        for (const QString& name : CDHwpCtrl::ToolbarNames()) {
            auto* bar = ctrl.findChild<QToolBar*>(name);
            for (QAction* action : bar->actions()) {
                QWidget* control = bar->widgetForAction(action);
                if (!control || stops.contains(control) || !action->shortcuts().isEmpty())
                    continue;
                unreachable.append(action->text().isEmpty() ? control->objectName() : action->text());
            }
        }
        QVERIFY2(unreachable.isEmpty(), qPrintable(unreachable.join(u' ')));
        // In reading order: the command row left to right before the format row.
        QCOMPARE(stops.first(), first);
        QVERIFY(stops.indexOf(ctrl.findChild<QWidget*>(QStringLiteral("tableMenuButton"))) <
                stops.indexOf(ctrl.findChild<QWidget*>(QStringLiteral("fontCombo"))));

        // Enter on the bold button makes the selection bold.
        type(QStringLiteral("굵게"));
        QTextCursor all(ctrl.Document());
        all.select(QTextCursor::Document);
        ctrl.View()->setTextCursor(all);
        auto* bold = ctrl.findChild<QToolBar*>(QStringLiteral("TOOLBAR_FORMAT"))
                         ->widgetForAction(ctrl.findChild<QAction*>(QStringLiteral("boldAction")));
        bold->setFocus(Qt::TabFocusReason);
        QTest::keyClick(bold, Qt::Key_Return);
        QCOMPARE(ctrl.Document()->begin().begin().fragment().charFormat().fontWeight(), int(QFont::Bold));

        QVERIFY(ctrl.findChild<QAction*>(QStringLiteral("insertFormulaAction"))
                    ->toolTip()
                    .contains(QStringLiteral("Ctrl+N, M")));
        moveTo(ctrl.Document()->characterCount() - 1);
        ctrl.View()->setFocus();
        AnswerNextDialog<QDialog>([](QDialog* dialog) {
            dialog->findChild<QSpinBox*>(QStringLiteral("rowsSpin"))->setValue(2);
            dialog->findChild<QSpinBox*>(QStringLiteral("columnsSpin"))->setValue(2);
        });
        QTest::keyClick(ctrl.View(), Qt::Key_N, Qt::ControlModifier);
        QTest::keyClick(ctrl.View(), Qt::Key_T);
        QTextTable* table = ctrl.View()->textCursor().currentTable();
        QVERIFY(table);
        QCOMPARE(table->rows() * table->columns(), 4);
    }

    // The page's own menu, also from the keyboard: the clipboard and select all; the formula's command on
    // a formula; the table's commands in a table. Never the window's menu.
    void contextMenuOfThePage()
    {
        CDHwpCtrl& ctrl = editor();
        PageView* view = ctrl.View();
        const auto menuAtCursor = [view] {
            const QPoint at = view->cursorRect().center().toPoint();
            QContextMenuEvent event(QContextMenuEvent::Keyboard, at, view->mapToGlobal(at));
            QCoreApplication::sendEvent(view, &event);
        };
        type(QStringLiteral("글 "));
        const QStringList clipboard = {QStringLiteral("pageMenu"), QStringLiteral("오려 두기"),
                                       QStringLiteral("복사하기"), QStringLiteral("붙이기"),
                                       QStringLiteral("모두 선택")};
        QCOMPARE(nextMenu(menuAtCursor), clipboard);
        // The keyboard's own menu key, and Shift+F10.
        view->setFocus();
        for (const auto& [key, modifiers] :
             {std::pair{Qt::Key_Menu, Qt::KeyboardModifiers()}, {Qt::Key_F10, Qt::ShiftModifier}})
            QCOMPARE(nextMenu([view, key, modifiers] { QTest::keyClick(view, key, modifiers); }), clipboard);

        ctrl.InsertFormula(QStringLiteral("x^2"));
        QCOMPARE(nextMenu(menuAtCursor), clipboard + QStringList{QStringLiteral("수식 고치기")});

        // From the mouse, at the point clicked.
        ctrl.InsertTable(2, 2);
        QVERIFY(view->textCursor().currentTable());
        const QPoint inCell = view->cursorRect().center().toPoint();
        moveTo(0);
        const QStringList inTable = nextMenu([view, inCell] {
            QContextMenuEvent event(QContextMenuEvent::Mouse, inCell, view->mapToGlobal(inCell));
            QCoreApplication::sendEvent(view, &event);
        });
        QVERIFY(view->textCursor().currentTable());
        QVERIFY2(inTable.mid(0, 5) == clipboard && inTable.contains(QStringLiteral("줄 추가")) &&
                     inTable.contains(QStringLiteral("셀 합치기")),
                 qPrintable(inTable.join(u' ')));

        // A command chosen from it runs.
        nextMenu(menuAtCursor, "selectAllAction");
        QTRY_VERIFY(view->textCursor().hasSelection());
    }

    // The font and size boxes show the format the cursor stands in, also after a reset and for a size the
    // list lacks.
    void fontAndSizeFollowTheCursor()
    {
        CDHwpCtrl& ctrl = editor();
        auto* font = ctrl.findChild<QFontComboBox*>(QStringLiteral("fontCombo"));
        auto* size = ctrl.findChild<QComboBox*>(QStringLiteral("sizeCombo"));
        type(QStringLiteral("큰 글 작은 글 중간 글"));
        QTextCursor cursor(ctrl.Document());
        cursor.setPosition(0);
        cursor.setPosition(4, QTextCursor::KeepAnchor);
        QTextCharFormat big;
        big.setFontPointSize(14);
        big.setFontFamilies({QStringLiteral("NanumMyeongjo")});
        cursor.mergeCharFormat(big);
        cursor.setPosition(9);
        cursor.setPosition(13, QTextCursor::KeepAnchor);
        QTextCharFormat middle;
        middle.setFontPointSize(13);
        cursor.mergeCharFormat(middle);

        const auto shown = [font, size] { return size->currentText() + u' ' + font->currentFont().family(); };
        for (const auto& [at, expected] :
             {std::pair{2, u"14 NanumMyeongjo"}, {7, u"10 NanumGothic"}, {11, u"13 NanumGothic"}}) {
            moveTo(at);
            QCOMPARE(shown(), QString::fromUtf16(expected));
        }
        // 13 is not in the list: it joined it in its place, as a size typed into the box does.
        QCOMPARE(size->itemText(size->currentIndex() - 1), QStringLiteral("12"));

        moveTo(2);
        ctrl.ClearDocument(1);
        QCOMPARE(shown(), QStringLiteral("10 NanumGothic"));
    }

    // Paragraphs copied and pasted inside the editor keep their line spacing, as the writer's steps do it:
    // Ctrl+A, Ctrl+C, Ctrl+End, Enter, Ctrl+V; the word processor's documents of every spacing kind.
    void pasteKeepsTheSpacing_data()
    {
        QTest::addColumn<QString>("sample");
        for (const char* sample : {"linespacing.hwp", "latex.hwp", "parashape.hwp"})
            QTest::newRow(sample) << QString::fromLatin1(sample);
        QTest::newRow("typed") << QString();
    }

    void pasteKeepsTheSpacing()
    {
        QFETCH(QString, sample);
        if (!sample.isEmpty()) {
            QVERIFY(editor().OpenFile(SamplePath(sample)));
        } else {
            // Typed as a writer types an explanation: words, then a formula with limits in the middle of a line.
            for (int paragraph = 0; paragraph < 3; ++paragraph) {
                type(QStringLiteral("함수 f(x)의 넓이는 정적분으로 구한다. 넓이는 "));
                editor().InsertFormula(QStringLiteral("int from {0} to {1} x^2 dx = 1 over 3"));
                type(QStringLiteral(
                    " 이다. 그러므로 구하는 넓이는 위의 식과 같이 구할 수 있으며, 다음 문단으로 넘어간다.\n"));
            }
        }
        QTextDocument* document = editor().Document();
        // Each paragraph's lines: their heights, and the pitch from one to the next where both are on one page
        // of the layout (a line the layout moved to the next page is not spaced by its paragraph).
        const double pageHeight = editor().Page().bodyRect().height();
        const auto measure = [document, pageHeight](int first, int count) {
            QMap<QString, double> measured;
            QTextBlock block = document->findBlockByNumber(first);
            for (int i = 0; i < count && block.isValid(); ++i, block = block.next()) {
                const QTextLayout* layout = block.layout();
                const auto page = [&](int l) {
                    return PageLayout::LayoutPageAt(layout->position().y() + layout->lineAt(l).y(), pageHeight);
                };
                for (int l = 0; l < layout->lineCount(); ++l) {
                    measured.insert(QStringLiteral("paragraph %1, line %2's height").arg(i).arg(l),
                                    layout->lineAt(l).height());
                    if (l > 0 && page(l) == page(l - 1))
                        measured.insert(QStringLiteral("paragraph %1, line %2's pitch").arg(i).arg(l),
                                        layout->lineAt(l).y() - layout->lineAt(l - 1).y());
                }
            }
            return measured;
        };
        const int blocks = document->blockCount();
        document->documentLayout()->documentSize();
        const QMap<QString, double> before = measure(0, blocks);
        PageView* view = editor().View();
        view->setFocus();
        QTest::keyClick(view, Qt::Key_A, Qt::ControlModifier);
        QTest::keyClick(view, Qt::Key_C, Qt::ControlModifier);
        QTest::keyClick(view, Qt::Key_End, Qt::ControlModifier);
        QTest::keyClick(view, Qt::Key_Return);
        QTest::keyClick(view, Qt::Key_V, Qt::ControlModifier);
        document->documentLayout()->documentSize();
        QCOMPARE(document->blockCount(), 2 * blocks);
        // The copy's paragraphs measure as the first's, the first one (which the paste joins) included.
        const QMap<QString, double> after = measure(blocks, blocks);
        for (auto it = before.begin(); it != before.end(); ++it) {
            if (after.contains(it.key()))
                QVERIFY2(std::abs(after.value(it.key()) - it.value()) < 0.01,
                         qPrintable(QStringLiteral("%1: %2 pasted, %3 before")
                                        .arg(it.key())
                                        .arg(after.value(it.key()))
                                        .arg(it.value())));
        }
    }

    // A question with a 〈보기〉 box and a sign chart, saved as HWP 5.0, opened again and saved once more
    // without an edit: each time the page is the same, to the pixel.
    void tablesLaidOutAsSavedAfterALoad()
    {
        type(QStringLiteral("다음 〈보기〉에서 옳은 것만을 있는 대로 고른 것은?\n"));
        editor().InsertTable(1, 1);
        type(QStringLiteral("ㄱ. f(x)는 x=1에서 극댓값을 갖는다."));
        MoveCursor(editor());
        type(QStringLiteral("\n함수의 증감표는 다음과 같다.\n"));
        editor().InsertTable(2, 5);
        QTextTable* chart = editor().View()->textCursor().currentTable();
        QVERIFY(chart);
        const QStringList cells = {"x", "⋯", "1", "⋯", "3", "f'(x)", "+", "0", "−", "0"};
        for (int i = 0; i < cells.size(); ++i)
            chart->cellAt(i / 5, i % 5).firstCursorPosition().insertText(cells[i]);

        QImage previous = RenderedPage(editor(), m_dir, QStringLiteral("typed"), 150);
        QVERIFY(!previous.isNull());
        for (int round = 1; round <= 2; ++round) {
            CDHwpCtrl& from = *m_editors[round - 1];
            CDHwpCtrl& into = *m_editors[round];
            const QString path = m_dir.filePath(QStringLiteral("round%1.hwp").arg(round));
            QVERIFY2(from.SaveDocument(path, QStringLiteral("HWP"), {}), qPrintable(from.LastSaveError()));
            QVERIFY2(into.OpenDocument(path, QStringLiteral("HWP"), {}), qPrintable(into.LastOpenError()));
            const QImage loaded = RenderedPage(into, m_dir, QStringLiteral("loaded%1").arg(round), 150);
            QCOMPARE(loaded.size(), previous.size());
            const QRect before = InkIn(previous, {}, 128);
            const QRect after = InkIn(loaded, {}, 128);
            // The rows as tall as they were, each cell with its paddings (they grew to the word processor's
            // defaults and shrank at the bottom).
            QCOMPARE(after.top(), before.top());
            QCOMPARE(after.bottom(), before.bottom());
            QCOMPARE(after.left(), before.left());
            // A table as wide as its column comes back with fixed columns where the layout had put them.
            QVERIFY2(loaded == previous, qPrintable(QStringLiteral("round %1").arg(round)));
            previous = loaded;
        }
    }

    // A picture wider than its column keeps its size through a save and a reopen, and is drawn whole, into the
    // margin beside the column, as the word processor draws it: latex.hwp's on the bank's two-column page.
    void widePictureKeepsItsSize()
    {
        QVERIFY(editor().OpenFile(SamplePath(QStringLiteral("latex.hwp"))));
        // The first picture's place and its format.
        const auto picture = [](QTextDocument* document) -> std::pair<int, QTextImageFormat> {
            for (QTextBlock block = document->begin(); block.isValid(); block = block.next())
                for (auto it = block.begin(); !it.atEnd(); ++it)
                    if (it.fragment().charFormat().isImageFormat())
                        return {it.fragment().position(), it.fragment().charFormat().toImageFormat()};
            return {-1, {}};
        };
        const QTextImageFormat before = picture(editor().Document()).second;
        const PageGeometry page = editor().Page();
        QVERIFY2(LayoutUnits::ToPoints(before.width()) > page.columnWidth(), "the picture is no wider than a column");
        const QString path = m_dir.filePath(QStringLiteral("wide.hwp"));
        QVERIFY(editor().SaveDocument(path, QStringLiteral("HWP"), {}));
        CDHwpCtrl& reopened = *m_editors[1];
        QVERIFY(reopened.OpenDocument(path, QStringLiteral("HWP"), {}));
        QTextDocument* document = reopened.Document();
        const auto [position, after] = picture(document);
        QCOMPARE(QSizeF(after.width(), after.height()), QSizeF(before.width(), before.height()));

        // Drawn beyond the column's right edge, in the gap to the next column. At 72 dpi a pixel is a point.
        const double pageHeight = page.bodyRect().height();
        const double top = document->documentLayout()->blockBoundingRect(document->findBlock(position)).top();
        const int layoutPage = PageLayout::LayoutPageAt(top, pageHeight);
        const QList<int> starts = PageLayout::PageStarts(document, page);
        const int index = int(std::upper_bound(starts.begin(), starts.end(), layoutPage) - starts.begin()) - 1;
        const QImage image = RenderedPage(reopened, m_dir, QStringLiteral("wide"), 72, index);
        QVERIFY(!image.isNull());
        const int column = layoutPage - starts[index];
        const double edge = page.columnLeft(column) + page.columnWidth();
        const double next = column + 1 < page.columnCount ? page.columnLeft(column + 1) : page.paperSize().width();
        const QRect beyond = QRectF(edge + 1, page.bodyRect().top() + top - layoutPage * pageHeight, next - edge - 2,
                                    LayoutUnits::ToPoints(before.height()))
                                 .toAlignedRect()
                                 .intersected(image.rect());
        QVERIFY(!beyond.isEmpty());
        QVERIFY2(!InkIn(image, beyond, 128).isEmpty(), "the picture is cut at the column's edge");
    }

    // HTML from a web page brings its tables with grey double borders and spacing; pasted, they have the
    // editor's one-point grid.
    void pastedTablesTakeTheGrid()
    {
        auto* mime = new QMimeData;
        mime->setHtml(QStringLiteral(
            R"(<table border="3" cellspacing="4" cellpadding="6" style="border-color:#c0c0c0;border-style:double">)"
            R"(<tr><td style="border:2px dotted #aaaaaa">가</td><td>나</td></tr><tr><td>다</td><td>라</td></tr></table>)"));
        QApplication::clipboard()->setMimeData(mime);
        editor().View()->setFocus();
        QTest::keyClick(editor().View(), Qt::Key_V, Qt::ControlModifier);
        QTextTable* table = nullptr;
        for (QTextBlock block = editor().Document()->begin(); block.isValid() && !table; block = block.next())
            table = QTextCursor(block).currentTable();
        QVERIFY(table);
        const QTextTableFormat format = table->format();
        QCOMPARE(format.border(), TableEditing::GridFormat().border());
        QCOMPARE(format.borderStyle(), QTextFrameFormat::BorderStyle_Solid);
        QCOMPARE(format.borderBrush().color(), QColor(Qt::black));
        QCOMPARE(format.cellSpacing(), 0.0);
        QVERIFY(format.borderCollapse());
        for (int row = 0; row < 2; ++row) {
            for (int column = 0; column < 2; ++column) {
                const QTextTableCellFormat cell = table->cellAt(row, column).format().toTableCellFormat();
                QCOMPARE(LayoutUnits::ToPoints(cell.leftBorder()), 1.0);
                QCOMPARE(cell.topBorderStyle(), QTextFrameFormat::BorderStyle_Solid);
                QCOMPARE(cell.bottomBorderBrush().color(), QColor(Qt::black));
            }
        }
    }

    // The page image shows what the screen shows at the same scale: a numbering marker in its item's font, a
    // space before the item's text, and table lines that meet where they cross.
    void pageImageAsTheScreenShowsIt()
    {
        CDHwpCtrl& ctrl = editor();
        PageView* view = ctrl.View();
        // A typed ① for the size the marker must have, then an item numbered ①, then a table.
        type(QStringLiteral("①\n10"));
        moveTo(3);
        ctrl.findChild<QAction*>(QStringLiteral("numberingCircledAction"))->trigger();
        moveTo(ctrl.Document()->characterCount() - 1);
        ctrl.InsertTable(3, 3);
        ctrl.SetZoom(300);
        const double scale = 3.0 * view->logicalDpiY() / 72.0;
        const int dpi = qRound(scale * 72);
        const QImage image = RenderedPage(ctrl, m_dir, QStringLiteral("screen"), dpi);
        const QPoint origin(16, 16);
        const QImage screen = view->grab(QRect(origin, image.size())).toImage().convertToFormat(QImage::Format_RGB32);

        QTextDocument* document = ctrl.Document();
        QAbstractTextDocumentLayout* layout = document->documentLayout();
        const PageGeometry page = ctrl.Page();
        const auto onPage = [&page, scale](const QRectF& inLayout) {
            return QRectF((inLayout.topLeft() + QPointF(page.columnLeft(0), page.bodyRect().top())) * scale,
                          inLayout.size() * scale)
                .toAlignedRect();
        };
        const QRect typed = onPage(layout->blockBoundingRect(document->begin()));
        const QTextBlock item = document->begin().next();
        const QRectF itemRect = layout->blockBoundingRect(item);
        const double textLeft = itemRect.left() + item.layout()->lineAt(0).x();
        // Left of the item's text, over the height of its line.
        const QRect markerArea = onPage(QRectF(0, itemRect.top(), textLeft, itemRect.height()));
        const QRect textArea = onPage(QRectF(textLeft, itemRect.top(), itemRect.width() / 2, itemRect.height()));
        QTextTable* table = view->textCursor().currentTable();
        QVERIFY(table);
        const QRectF tableRect = layout->frameBoundingRect(table).translated(page.columnLeft(0), page.bodyRect().top());
        for (const auto& [name, shot] : {std::pair{"page image", image}, std::pair{"screen", screen}}) {
            const QRect glyph = InkIn(shot, typed, 128);
            const QRect marker = InkIn(shot, markerArea, 128);
            const QRect text = InkIn(shot, textArea, 128);
            QVERIFY2(!glyph.isEmpty() && !marker.isEmpty() && !text.isEmpty(), name);
            const QString figures = QStringLiteral("%1: typed %2x%3, marker %4x%5, gap %6")
                                        .arg(QLatin1String(name))
                                        .arg(glyph.width())
                                        .arg(glyph.height())
                                        .arg(marker.width())
                                        .arg(marker.height())
                                        .arg(text.left() - marker.right() - 1);
            // The marker is the typed mark's size, on the item's line, and a space's width from its text.
            QVERIFY2(std::abs(marker.height() - glyph.height()) <= 1 && std::abs(marker.width() - glyph.width()) <= 1,
                     qPrintable(figures));
            QVERIFY2(text.left() - marker.right() - 1 >= scale * 2, qPrintable(figures));
            // Both lines alike: the marker stands as high in its line as the typed mark in its own.
            QVERIFY2(std::abs((marker.top() - markerArea.top()) - (glyph.top() - typed.top())) <= 1,
                     qPrintable(figures + QStringLiteral(", tops %1 and %2")
                                              .arg(marker.top() - markerArea.top())
                                              .arg(glyph.top() - typed.top())));
        }
        // The table's lines meet where they cross, also at the resolution the program saves in.
        const QImage saved = RenderedPage(ctrl, m_dir, QStringLiteral("saved"), 500);
        for (const auto& [shot, pixelsAPoint] : {std::pair{image, scale}, {screen, scale}, {saved, 500 / 72.0}})
            QCOMPARE(lightInCrossings(shot, pixelsAPoint, QPointF(), tableRect), 0);
    }
};

QTEST_MAIN(TestEditorCommands)
#include "tst_editorcommands.moc"
