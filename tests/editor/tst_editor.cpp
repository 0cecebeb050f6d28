#include "document/DocumentFile.h"
#include "document/LayoutUnits.h"
#include "document/ListNumbering.h"
#include "document/hwp/HwpFile.h"
#include "editor/SymbolDlg.h"
// Brings the editor with its view and preparation, formulas, the test files and QtTest.
#include "tests/editor/EditorWindow.h"
#include "tests/support/NextDialog.h"

#include <QAbstractButton>
#include <QAbstractItemView>
#include <QAbstractTextDocumentLayout>
#include <QApplication>
#include <QCheckBox>
#include <QClipboard>
#include <QColorDialog>
#include <QComboBox>
#include <QDataStream>
#include <QDialog>
#include <QDoubleSpinBox>
#include <QFontComboBox>
#include <QFontInfo>
#include <QFontMetricsF>
#include <QLabel>
#include <QListWidget>
#include <QSpinBox>
#include <QLineEdit>
#include <QScrollArea>
#include <QScrollBar>
#include <QSet>
#include <QTabWidget>
#include <QToolBar>
#include <QToolButton>
#include <QTextBlock>
#include <QTextFragment>
#include <QTextList>
#include <QAction>

namespace {

// The ink of a rendered page from column `fromX` to `toX` (exclusive; the page's edge when none).
QRect inkOf(const QImage& page, int fromX = 0, int toX = -1)
{
    return InkIn(page, QRect(fromX, 0, (toX < 0 ? page.width() : toX) - fromX, page.height()));
}

template <typename Widget> Widget* child(QObject* parent, const char* name)
{
    auto* widget = parent->findChild<Widget*>(QLatin1String(name));
    if (!widget)
        qFatal("no %s", name);
    return widget;
}

void trigger(CDHwpCtrl& editor, const char* action)
{
    child<QAction>(&editor, action)->trigger();
}

// Runs one of the editor's parameterised actions with its current values but `item` (of the item set
// `itemSet`, if given).
bool execute(CDHwpCtrl& editor, const char* name, const char* item, int value, const char* itemSet = nullptr)
{
    auto action = editor.NewAction(QLatin1String(name));
    auto set = action->MakeParameterSet();
    action->LoadDefaults(set.get());
    (itemSet ? set->ItemSet(QLatin1String(itemSet)) : set.get())->SetItem(QLatin1String(item), value);
    return action->Execute(set.get());
}

QImage filled(const QColor& colour, int width = 20, int height = 10)
{
    QImage image(width, height, QImage::Format_RGB32);
    image.fill(colour);
    return image;
}

// The colour of each picture of a document, in the order they stand in the text: the tests' pictures are
// filled with one colour each, so a picture that took another's place shows as the wrong colour.
QList<QColor> pictureColours(QTextDocument* document)
{
    QList<QColor> colours;
    for (QTextBlock block = document->begin(); block.isValid(); block = block.next()) {
        for (auto it = block.begin(); !it.atEnd(); ++it) {
            const QTextCharFormat format = it.fragment().charFormat();
            if (format.isImageFormat())
                colours.append(document->resource(QTextDocument::ImageResource, QUrl(format.toImageFormat().name()))
                                   .value<QImage>()
                                   .convertToFormat(QImage::Format_RGB32)
                                   .pixelColor(0, 0));
        }
    }
    return colours;
}

// Blocks in order as "marker|text", marked with "T:" in a table: a reopened document must show the same.
QStringList structureOf(QTextDocument* document)
{
    QStringList blocks;
    for (QTextBlock block = document->begin(); block.isValid(); block = block.next()) {
        const QString table = QTextCursor(block).currentTable() ? QStringLiteral("T:") : QString();
        blocks.append(table + ListNumbering::MarkerText(block) + u'|' + block.text());
    }
    return blocks;
}

} // namespace

class TestEditor : public EditorTest
{
    Q_OBJECT

private:
    QImage render(CDHwpCtrl& editor, const QString& name = QStringLiteral("page"), int dpi = 500, int page = 0)
    {
        return RenderedPage(editor, m_dir, name, dpi, page);
    }

    // Saves the editor's document and opens the file in editor `into`, as the writer's next session would. What
    // goes up to the bank is the word processor's own format, not the editor's.
    bool reopenIn(CDHwpCtrl& editor, const char* name, int into = 1)
    {
        const QString path = m_dir.filePath(QLatin1String(name));
        return editor.SaveDocument(path, QStringLiteral("HWP"), QString()) &&
               HwpFile::HasSignature(ReadTestFile(path).left(8)) &&
               m_editors[into]->OpenDocument(path, QStringLiteral("HWP"), QString());
    }

private Q_SLOTS:
    // A reset after a document of another page must give the question page again: A4 from a blank
    // document, 20 / 5 / 17.5 / 17.5 / 5 / 15 mm, two equal columns 8 mm apart, zoom 120.
    void preparedPageAfterAnotherPage()
    {
        PageGeometry letter;
        letter.paperWidth = 61200;
        letter.paperHeight = 79200;
        letter.gutter = 720;
        letter.columnCount = 3;
        letter.columnGap = 1000;
        question().SetPage(letter);
        const QString path = m_dir.filePath(QStringLiteral("letter.hwp"));
        QVERIFY(question().SaveDocument(path, QStringLiteral("HWP"), QString()));
        PrepareEditors(m_editors);
        QVERIFY(question().OpenDocument(path, QStringLiteral("HWP"), QString()));
        QCOMPARE(question().Page(), letter);
        // The others with text, another zoom and one column.
        for (CDHwpCtrl* editor : m_editors)
            TypeText(*editor, QStringLiteral("남은 글"));
        m_editors[2]->SetZoom(75);
        QVERIFY(execute(*m_editors[1], "MultiColumn", "Count", 1));

        PrepareEditors(m_editors);
        // The blank document's A4 and its top and bottom margins; the question's own sides, header, footer and
        // columns.
        PageGeometry expected;
        expected.leftMargin = expected.rightMargin = 4960;
        expected.headerLength = expected.footerLength = 1417;
        expected.columnCount = 2;
        expected.columnGap = 2267;
        for (CDHwpCtrl* editor : m_editors) {
            QVERIFY(editor->Document()->isEmpty());
            QCOMPARE(editor->Page(), expected);
            QCOMPARE(editor->Zoom(), 120);
        }

        // LoadDefaults reports the current values.
        auto action = question().NewAction(QStringLiteral("PageSetup"));
        auto set = action->MakeParameterSet();
        QVERIFY(action->LoadDefaults(set.get()));
        QCOMPARE(set->ItemSet(QStringLiteral("PageDef"))->IntItem(QStringLiteral("LeftMargin"), 0), 4960);
        QVERIFY(!question().NewAction(QStringLiteral("NoSuchAction"))->LoadDefaults(set.get()));
    }

    // The program's page image: an empty page is white, at the resolution and depth asked for; a format, page
    // or depth the editor cannot give is refused, without a file.
    void pageImageRequests()
    {
        const QImage page = render(question());
        QCOMPARE(page.size(), QSize(4134, 5846));
        QVERIFY(inkOf(page).isEmpty());
        QCOMPARE(QFile(m_dir.filePath("page.BMP")).size(), qint64(54 + 12404 * 5846));

        TypeText(question(), QStringLiteral("x"));
        const QString base = m_dir.filePath(QStringLiteral("other"));
        QVERIFY(question().RenderPageImage(base, 0, 100, 8, QStringLiteral("BMP")));
        QCOMPARE(QImage(base + QStringLiteral(".BMP")).size(), QSize(827, 1169));
        QVERIFY(!question().RenderPageImage(base + QStringLiteral("x"), 0, 500, 24, QStringLiteral("TIFF")));
        QVERIFY(!QFile::exists(base + QStringLiteral("x.TIFF")));
        QVERIFY(!question().RenderPageImage(base, 5, 500, 24, QStringLiteral("BMP")));
        QVERIFY(!question().RenderPageImage(base, 0, 500, 16, QStringLiteral("BMP")));
    }

    // Text starts at the question page's margins and flows on into the second column; the page's setup moves it.
    void textOnThePage()
    {
        const PageGeometry page = question().Page();
        const int secondColumn = qRound(page.columnLeft(1) / 72.0 * 500);
        TypeText(question(), QStringLiteral("가나다 ABC 123"));
        const QRect ink = inkOf(render(question()));
        // Left margin 4960/7200 inch = 344 pixels at 500 dpi; the body starts below top margin and header. Nothing
        // but the line is drawn, in the first column, so the trimmed page image holds the line alone. (An empty
        // page fails too: its ink starts at 0.)
        const int bodyTop = qRound((5669 + 1417) / 7200.0 * 500);
        QVERIFY2(
            ink.left() >= 344 && ink.left() < 344 + 20 && ink.top() >= bodyTop && ink.bottom() < bodyTop + 80 &&
                ink.right() < secondColumn - 5,
            qPrintable(
                QStringLiteral("%1, %2 to %3, %4").arg(ink.left()).arg(ink.top()).arg(ink.right()).arg(ink.bottom())));

        for (int i = 0; i < 80; ++i)
            TypeText(question(), QStringLiteral("\n%1. 함수 f(x)의 극댓값을 구하시오.").arg(i));
        const QImage full = render(question());
        const QRect right = inkOf(full, secondColumn - 2);
        QVERIFY2(right.left() >= secondColumn && right.left() < secondColumn + 20,
                 qPrintable(QString::number(right.left())));
        // The gap between the columns stays white.
        const int firstColumnEnd = qRound((page.columnLeft(0) + page.columnWidth()) / 72.0 * 500);
        QVERIFY(inkOf(full, firstColumnEnd + 2, secondColumn - 2).isEmpty());
        // In one column, what filled two takes a second page.
        QVERIFY(execute(question(), "MultiColumn", "Count", 1));
        QVERIFY(question().View()->physicalPageCount() >= 2);

        // A wider margin moves the text.
        QVERIFY(execute(question(), "PageSetup", "LeftMargin", 14400, "PageDef"));
        QVERIFY(inkOf(render(question())).left() >= 1000);
        // Settings that leave no page are refused and change nothing.
        QVERIFY(!execute(question(), "PageSetup", "LeftMargin", 60000, "PageDef"));
        QCOMPARE(question().Page().leftMargin, 14400);
    }

    void picturesRenderInEveryBand()
    {
        for (int i = 0; i < 40; ++i)
            TypeText(question(), QStringLiteral("줄 %1\n").arg(i));
        question().InsertPicture(filled(QColor(255, 0, 0), 60, 40));
        const QImage page = render(question());
        int redRows = 0;
        int highest = -1;
        for (int y = 0; y < page.height(); ++y) {
            const auto* row = reinterpret_cast<const QRgb*>(page.constScanLine(y));
            if (std::find(row, row + page.width(), qRgb(255, 0, 0)) == row + page.width())
                continue;
            ++redRows;
            highest = highest < 0 ? y : highest;
        }
        // 40 × 0.75 points high at 500 dpi is about 208 rows, all of them below the page's middle.
        QVERIFY2(redRows > 190 && redRows < 215,
                 qPrintable(QStringLiteral("%1 rows from %2").arg(redRows).arg(highest)));
        QVERIFY(highest > page.height() / 2);
    }

    void tableBordersShowAtEveryResolution()
    {
        // An empty table: whatever dark the page shows is its border.
        question().InsertTable(2, 2);
        const double columnInches = question().Page().columnWidth() / 72.0;
        for (int dpi : {500, 96, 50}) {
            // A page that could not be drawn has no dark pixels at all, and fails below.
            const QImage page = render(question(), QStringLiteral("table"), dpi);
            // 32-bit rows have no padding: the page's pixels lie one after the other.
            const auto* pixels = reinterpret_cast<const QRgb*>(page.constBits());
            const auto dark = std::count_if(pixels, pixels + qsizetype(page.width()) * page.height(),
                                            [](QRgb pixel) { return qGray(pixel) < 160; });
            // At least the three horizontal lines across the column.
            const int column = qRound(columnInches * dpi);
            QVERIFY2(
                dark >= 3 * column,
                qPrintable(QStringLiteral("%1 dpi: %2 dark pixels, column %3 pixels").arg(dpi).arg(dark).arg(column)));
        }
    }

    void characterFormatFollowsTheCursor_data()
    {
        QTest::addColumn<QString>("action");
        QTest::addColumn<int>("key"); // pressed with Ctrl in the text instead of the button
        for (const char* action : {"boldAction", "italicAction", "underlineAction", "strikeOutAction",
                                   "highlightAction", "superscriptAction", "subscriptAction"})
            QTest::newRow(action) << QString::fromLatin1(action) << 0;
        QTest::newRow("Ctrl+B") << QStringLiteral("boldAction") << int(Qt::Key_B);
        QTest::newRow("Ctrl+I") << QStringLiteral("italicAction") << int(Qt::Key_I);
        QTest::newRow("Ctrl+U") << QStringLiteral("underlineAction") << int(Qt::Key_U);
    }

    // A writer turns a format on for a word and off after it, by its button or its keys: the button shows it
    // only with the cursor in that word, in the editor and in the saved file opened again.
    void characterFormatFollowsTheCursor()
    {
        QFETCH(QString, action);
        QFETCH(int, key);
        const auto toggle = [&] {
            if (key == 0)
                return trigger(question(), qPrintable(action));
            question().View()->setFocus();
            QTest::keyClick(question().View(), Qt::Key(key), Qt::ControlModifier);
        };
        TypeText(question(), QStringLiteral("보통 "));
        toggle();
        TypeText(question(), QStringLiteral("서식"));
        toggle();
        TypeText(question(), QStringLiteral(" 끝"));
        const QString text = question().Document()->toPlainText();
        const auto checkedIn = [&](CDHwpCtrl& editor) {
            QList<bool> checked;
            for (const QString& word : {QStringLiteral("보통"), QStringLiteral("서식"), QStringLiteral("끝")}) {
                MoveCursor(editor, int(text.indexOf(word)) + 1);
                checked.append(child<QAction>(&editor, qPrintable(action))->isChecked());
            }
            return checked;
        };
        QCOMPARE(checkedIn(question()), (QList<bool>{false, true, false}));
        QVERIFY(reopenIn(question(), "formats.hwp"));
        QCOMPARE(m_editors[1]->Document()->toPlainText(), text);
        QCOMPARE(checkedIn(*m_editors[1]), (QList<bool>{false, true, false}));
    }

    void superscriptAndSubscriptExcludeEachOther()
    {
        trigger(question(), "superscriptAction");
        trigger(question(), "subscriptAction");
        QVERIFY(child<QAction>(&question(), "subscriptAction")->isChecked());
        QVERIFY(!child<QAction>(&question(), "superscriptAction")->isChecked());
        TypeText(question(), QStringLiteral("2"));
        QCOMPARE(question().View()->textCursor().charFormat().verticalAlignment(), QTextCharFormat::AlignSubScript);
    }

    // Pictures copied from another editor or another program, saved, and one more inserted after opening the
    // document again: none may take the place of another, though each editor names its own from 1.
    void picturesCopiedBetweenEditors()
    {
        CDHwpCtrl& source = question();
        CDHwpCtrl& target = *m_editors[1];
        TypeText(source, QStringLiteral("그래프: "));
        source.InsertPicture(filled(Qt::red));
        // Choices numbered in a style that only this editor draws travel with their numbering.
        TypeText(source, QStringLiteral("\n첫째"));
        source.ApplyNumbering(ListNumbering::Style::Circled);
        TypeText(source, QStringLiteral("\n둘째"));
        target.InsertPicture(filled(Qt::green));

        source.View()->setFocus();
        QTest::keySequence(source.View(), QKeySequence(Qt::CTRL | Qt::Key_A, Qt::CTRL | Qt::Key_C));
        target.View()->setFocus();
        QTest::keySequence(target.View(), QKeySequence(Qt::CTRL | Qt::Key_End, Qt::CTRL | Qt::Key_V));
        // An image alone on the clipboard, as another program puts it there, pastes as a picture.
        QApplication::clipboard()->setImage(filled(Qt::blue));
        QTest::keyClick(target.View(), Qt::Key_V, Qt::ControlModifier);
        QList<QColor> expected = {Qt::green, Qt::red, Qt::blue};
        QCOMPARE(pictureColours(target.Document()), expected);

        QVERIFY(reopenIn(target, "pasted.hwp", 2));
        CDHwpCtrl& reopened = *m_editors[2];
        QCOMPARE(pictureColours(reopened.Document()), expected);
        const QString picture = QChar(QChar::ObjectReplacementCharacter);
        QCOMPARE(structureOf(reopened.Document()),
                 (QStringList{u'|' + picture + QStringLiteral("그래프: ") + picture, QStringLiteral("①|첫째"),
                              QStringLiteral("②|둘째") + picture}));
        MoveCursor(reopened);
        reopened.InsertPicture(filled(Qt::yellow));
        expected.append(Qt::yellow);
        QCOMPARE(pictureColours(reopened.Document()), expected);
    }

    // A writer clicks a graph, drags its corner to make it larger, and centres it on a line of its own.
    void picturesResizedAndPlaced()
    {
        PageView* view = question().View();
        TypeText(question(), QStringLiteral("그래프 "));
        question().InsertPicture(filled(Qt::red, 200, 100));
        TypeText(question(), QStringLiteral(" 뒤"));
        const int picture = question().Document()->toPlainText().indexOf(QChar::ObjectReplacementCharacter);
        const QRectF before = view->pictureRect(picture);
        QVERIFY2(before.width() > 20 && std::abs(before.height() * 2 - before.width()) < 2,
                 qPrintable(QStringLiteral("%1 x %2 at %3").arg(before.width()).arg(before.height()).arg(picture)));

        QTest::mouseClick(view, Qt::LeftButton, {}, before.center().toPoint());
        QCOMPARE(view->selectedPicture(), picture);
        const QPoint corner = PageView::pictureHandles(before).at(3).center().toPoint();
        QTest::mousePress(view, Qt::LeftButton, {}, corner);
        QTest::mouseMove(view, corner + QPoint(60, 7));
        QTest::mouseRelease(view, Qt::LeftButton, {}, corner + QPoint(60, 7));
        const QRectF after = view->pictureRect(picture);
        QVERIFY2(std::abs(after.width() - before.width() - 60) < 2 && std::abs(after.height() * 2 - after.width()) < 2,
                 qPrintable(QStringLiteral("%1 x %2").arg(after.width()).arg(after.height())));
        QCOMPARE(after.topLeft(), before.topLeft());
        trigger(question(), "undoAction");
        QCOMPARE(view->pictureRect(picture).size(), before.size());
        trigger(question(), "redoAction");

        view->alignPicture(picture, PageView::PictureAlignment::Centre);
        // On a line of its own, between the text before it and the text after it.
        QCOMPARE(structureOf(question().Document()),
                 (QStringList{QStringLiteral("|그래프 "), u'|' + QString(QChar::ObjectReplacementCharacter),
                              QStringLiteral("| 뒤")}));
        QCOMPARE(question().Document()->findBlock(picture + 1).blockFormat().alignment() & Qt::AlignHorizontal_Mask,
                 Qt::AlignHCenter);
        QCOMPARE(view->selectedPicture(), picture + 1);

        // The size and the place survive a save.
        QVERIFY(reopenIn(question(), "placed.hwp"));
        CDHwpCtrl& reopened = *m_editors[1];
        QCOMPARE(reopened.View()->pictureRect(picture + 1).size(), after.size());
        QCOMPARE(reopened.Document()->findBlock(picture + 1).blockFormat().alignment() & Qt::AlignHorizontal_Mask,
                 Qt::AlignHCenter);

        view->alignPicture(picture + 1, PageView::PictureAlignment::InLine);
        QCOMPARE(question().Document()->begin().text(), QStringLiteral("그래프 ") + QChar::ObjectReplacementCharacter);
    }

    // A writer drags the border between two columns of a table to widen the first.
    void tableColumnDragged()
    {
        // The pointer moves through the window, where the three editors lie on top of each other.
        question().raise();
        PageView* view = question().View();
        TypeText(question(), QStringLiteral("표:"));
        question().InsertTable(2, 3);
        QTextTable* table = QTextCursor(question().Document()->findBlockByNumber(1)).currentTable();
        QVERIFY(table);
        // Where the text of a cell starts on screen.
        const auto textLeft = [&](int column) {
            MoveCursor(question(), table->cellAt(0, column).firstPosition());
            return view->cursorRect().x();
        };
        const double second = textLeft(1);
        const double third = textLeft(2);
        const QPoint border(qRound(second - 4), qRound(view->cursorRect().center().y()));
        QTest::mouseMove(view, border);
        QCOMPARE(view->cursor().shape(), Qt::SplitHCursor);
        QTest::mousePress(view, Qt::LeftButton, {}, border);
        QTest::mouseMove(view, border + QPoint(40, 0));
        QTest::mouseRelease(view, Qt::LeftButton, {}, border + QPoint(40, 0));
        QVERIFY2(std::abs(textLeft(1) - second - 40) < 3, qPrintable(QString::number(textLeft(1) - second)));
        QVERIFY(std::abs(textLeft(2) - third) < 3);
        trigger(question(), "undoAction");
        QVERIFY(std::abs(textLeft(1) - second) < 1);
    }

    void unreadableFilesKeepTheDocument_data()
    {
        QTest::addColumn<QByteArray>("content");
        QTest::addColumn<QString>("format");
        QTest::addColumn<QString>("reason");
        QTest::newRow("garbage as HWP") << QByteArray("not a document at all") << "HWP"
                                        << "HWP 문서가 아닙니다.";
        QByteArray truncated(DocumentFile::kSignature, DocumentFile::kSignatureSize);
        QTest::newRow("version 6") << truncated + QByteArray("\x00\x00\x00\x06", 4) << "HWP"
                                   << "알 수 없는 문서 버전입니다. (6)";
        truncated.append("\x00\x00\x00\x01\x00", 5);
        QTest::newRow("truncated HWP") << truncated << "HWP"
                                       << "문서가 손상되었거나 잘려 있습니다.";
        QTest::newRow("broken XML") << QByteArray("<HWPML><BODY><P><TEXT><CHAR>x</TEXT>") << "HWPML2X"
                                    << "HWP XML 문서를 읽을 수 없습니다. (1번째 줄: ";
        QTest::newRow("other XML") << QByteArray("<html><body>x</body></html>") << "HWPML2X"
                                   << "HWP XML 문서가 아닙니다.";
        QTest::newRow("unknown format") << QByteArray("x") << "DOCX"
                                        << "알 수 없는 문서 형식입니다. (DOCX)";
        QTest::newRow("missing") << QByteArray() << "HWP"
                                 << "파일을 열 수 없습니다. (";
    }

    void unreadableFilesKeepTheDocument()
    {
        QFETCH(QByteArray, content);
        QFETCH(QString, format);
        QFETCH(QString, reason);
        TypeText(question(), QStringLiteral("이전 내용"));
        const QString path = content.isNull() ? m_dir.filePath(QStringLiteral("missing.hwp"))
                                              : writeFile(QStringLiteral("broken.hwp"), content);
        // A failed open neither empties the editor nor leaves it silent about why.
        QVERIFY(!question().OpenDocument(path, format, QString()));
        QCOMPARE(question().Document()->toPlainText(), QStringLiteral("이전 내용"));
        QVERIFY2(question().LastOpenError().startsWith(reason), qPrintable(question().LastOpenError()));
    }

    // The editor as the program creates it, with its toolbars.
    void creationAndToolbars()
    {
        CDHwpCtrl orphan;
        QVERIFY(!orphan.Create(QRect(0, 0, 10, 10), nullptr, 1));

        QVERIFY(question().VisibleToolbars().isEmpty());
        SetupToolbars(m_editors);
        for (CDHwpCtrl* editor : m_editors)
            QCOMPARE(editor->VisibleToolbars(), CDHwpCtrl::ToolbarNames());
        // Two compact rows, not a row per toolbar, and every command once.
        QSet<QWidget*> rows;
        QStringList commands;
        for (const QString& name : CDHwpCtrl::ToolbarNames()) {
            auto* bar = question().findChild<QToolBar*>(name);
            rows.insert(bar->parentWidget());
            for (const QAction* action : bar->actions())
                commands.append(action->text());
        }
        QCOMPARE(rows.size(), 2);
        QCOMPARE(commands.count(QStringLiteral("그림 넣기")), 1);

        // Every command shows a drawn icon, with its Korean name as the tooltip; only the file and edit menus keep
        // their text.
        QStringList withText;
        for (const QToolButton* button : question().findChildren<QToolButton*>()) {
            const QAction* action = button->defaultAction();
            const QString name = action ? action->objectName() : button->objectName();
            if (name.startsWith(QLatin1String("qt_")))
                continue;
            if (button->icon().isNull() || button->toolButtonStyle() != Qt::ToolButtonIconOnly) {
                withText.append(name);
                continue;
            }
            // Rows of 24 alpha bytes have no padding: the bytes are the pixels.
            const QImage icon = button->icon().pixmap(24).toImage().convertToFormat(QImage::Format_Alpha8);
            const auto ink = std::count_if(icon.constBits(), icon.constBits() + icon.sizeInBytes(),
                                           [](uchar alpha) { return alpha > 128; });
            QVERIFY2(ink >= 12, qPrintable(name));
            // A command with keys shows them too.
            QString tip = action ? action->text() : button->text();
            if (action && !action->shortcuts().isEmpty())
                tip += QStringLiteral(" (%1").arg(action->shortcuts().first().toString(QKeySequence::NativeText));
            QVERIFY2(!tip.isEmpty() && button->toolTip().startsWith(tip), qPrintable(name + u' ' + button->toolTip()));
        }
        withText.sort();
        QCOMPARE(withText, (QStringList{QStringLiteral("editMenuButton"), QStringLiteral("fileMenuButton")}));
    }

    void viewFollowsTheCursor_data()
    {
        QTest::addColumn<int>("zoom");
        QTest::addColumn<int>("lines");
        QTest::newRow("100 %") << 100 << 120;
        // Pages at a quarter of their size, more than the window holds: three nearly fit it, and the cursor
        // stays in view on them without a scroll.
        QTest::newRow("25 %") << 25 << 500;
    }

    void viewFollowsTheCursor()
    {
        QFETCH(int, zoom);
        QFETCH(int, lines);
        question().SetZoom(zoom);
        PageView* view = question().View();
        auto* scroll = question().findChild<QScrollArea*>(QStringLiteral("pageScroll"));
        const auto cursorShown = [&] {
            const QRect cursor = view->cursorRect().toAlignedRect();
            const QRect shown(view->mapFrom(scroll->viewport(), QPoint(0, 0)), scroll->viewport()->size());
            return shown.contains(cursor);
        };
        view->setFocus();
        for (int line = 0; line < lines; ++line) {
            QTest::keyClicks(view, QStringLiteral("line %1").arg(line));
            QTest::keyClick(view, Qt::Key_Return);
        }
        QTRY_VERIFY(cursorShown());
        QVERIFY(scroll->verticalScrollBar()->value() > 0);
        // The view has grown with the pages the text flowed onto.
        QVERIFY(view->height() > 2 * question().Page().paperHeight * zoom / 100.0 * 96.0 / 7200.0);
        QTest::keyClick(view, Qt::Key_Home, Qt::ControlModifier);
        QTRY_VERIFY(cursorShown());
        QVERIFY(scroll->verticalScrollBar()->value() < scroll->verticalScrollBar()->maximum() / 4);
    }

    void tabAndListKeys()
    {
        PageView* view = question().View();
        auto* outside = new QLineEdit(m_window.get());
        outside->setObjectName(QStringLiteral("outsideEdit"));
        outside->show();
        activate();
        view->setFocus();

        // Tab is a character in text, and moves from cell to cell in a table, adding a row after the last.
        QTest::keyClicks(view, QStringLiteral("a"));
        QTest::keyClick(view, Qt::Key_Tab);
        QTest::keyClicks(view, QStringLiteral("b"));
        QCOMPARE(question().Document()->toPlainText(), QStringLiteral("a\tb"));
        QVERIFY(view->hasFocus());
        question().InsertTable(1, 2);
        QTest::keyClicks(view, QStringLiteral("1"));
        QTest::keyClick(view, Qt::Key_Tab);
        QTest::keyClicks(view, QStringLiteral("2"));
        QTest::keyClick(view, Qt::Key_Tab);
        QTest::keyClicks(view, QStringLiteral("3"));
        QTest::keyClick(view, Qt::Key_Backtab, Qt::ShiftModifier);
        QTest::keyClicks(view, QStringLiteral("x"));
        QTextTable* table = view->textCursor().currentTable();
        QVERIFY(table);
        QCOMPARE(table->rows(), 2);
        QCOMPARE(
            (QStringList{CellText(table->cellAt(0, 0)), CellText(table->cellAt(0, 1)), CellText(table->cellAt(1, 0))}),
            (QStringList{"1", "x2", "3"}));

        // Ctrl+Tab leaves the editor for the next control outside it.
        QTest::keyClick(view, Qt::Key_Tab, Qt::ControlModifier);
        QVERIFY(QApplication::focusWidget() && !question().isAncestorOf(QApplication::focusWidget()));
        delete outside;

        // Enter on an empty numbered item ends the list; the numbering button on a numbered paragraph
        // takes its numbering away.
        question().ClearDocument(1);
        view->setFocus();
        trigger(question(), "numberingAction");
        QTest::keyClicks(view, QStringLiteral("one"));
        QTest::keyClick(view, Qt::Key_Return);
        QVERIFY(view->textCursor().currentList());
        QTest::keyClick(view, Qt::Key_Return);
        QVERIFY(!view->textCursor().currentList());
        QTest::keyClicks(view, QStringLiteral("after"));
        QCOMPARE(question().Document()->blockCount(), 2);
        MoveCursor(question(), 0);
        QVERIFY(view->textCursor().currentList());
        trigger(question(), "numberingAction");
        QVERIFY(!view->textCursor().currentList());
    }

    // A paragraph spaced in percent keeps its percent of the font size when the size box changes its font.
    void spacingFollowsTheFontSize()
    {
        CDHwpCtrl& editor = question();
        QTextDocument* document = editor.Document();
        QTextCursor cursor(document);
        cursor.insertText(QStringLiteral("첫 줄") + QChar(QChar::LineSeparator) + QStringLiteral("둘째 줄"));
        cursor.select(QTextCursor::Document);
        editor.View()->setTextCursor(cursor);
        editor.ApplyParagraphFormat(QTextBlockFormat(), 160);
        const auto pitch = [document] {
            const QTextLayout* layout = document->begin().layout();
            return layout->lineAt(1).y() - layout->lineAt(0).y();
        };
        const double size =
            document->begin().begin().fragment().charFormat().font().resolve(document->defaultFont()).pointSizeF();
        QVERIFY2(std::abs(pitch() - 1.6 * size) < 0.05, qPrintable(QString::number(pitch())));
        cursor.select(QTextCursor::Document);
        editor.View()->setTextCursor(cursor);
        auto* sizeBox = editor.findChild<QComboBox*>(QStringLiteral("sizeCombo"));
        Q_EMIT sizeBox->activated(sizeBox->findData(20));
        QVERIFY2(std::abs(pitch() - 32) < 0.05, qPrintable(QString::number(pitch())));
        // One undo takes the size and its spacing back together.
        trigger(editor, "undoAction");
        QVERIFY2(std::abs(pitch() - 1.6 * size) < 0.05, qPrintable(QString::number(pitch())));
    }

    void paragraphShapeOfAQuestion()
    {
        CDHwpCtrl& editor = question();
        TypeText(editor, QStringLiteral("1. 다음 식의 값은?\n보기를 고르시오.\n끝 문단"));
        QTextDocument* document = editor.Document();
        const auto top = [document](int number) {
            return document->documentLayout()->blockBoundingRect(document->findBlockByNumber(number)).top();
        };
        const auto textLeft = [document](int number) {
            const QTextBlock block = document->findBlockByNumber(number);
            return document->documentLayout()->blockBoundingRect(block).left() + block.layout()->lineAt(0).x();
        };
        const double singleLine = top(1) - top(0);
        const double lastGap = top(2) - top(1);

        // The first two paragraphs, through the dialog.
        QTextCursor cursor(document);
        cursor.setPosition(document->findBlockByNumber(1).position() + 1, QTextCursor::KeepAnchor);
        editor.View()->setTextCursor(cursor);
        AnswerNextDialog<QDialog>([](QDialog* dialog) {
            child<QSpinBox>(dialog, "lineSpacingSpin")->setValue(160);
            child<QSpinBox>(dialog, "leftIndentSpin")->setValue(20);
            child<QSpinBox>(dialog, "firstLineIndentSpin")->setValue(-10);
            child<QSpinBox>(dialog, "spaceBeforeSpin")->setValue(6);
            child<QSpinBox>(dialog, "spaceAfterSpin")->setValue(4);
        });
        trigger(editor, "paragraphAction");
        // Lines 160 % of the font size apart, and the spacing of the paragraphs on top: more of it between the
        // first two (4 points after the first, 6 before the second, which Qt's layout partly overlaps) than
        // after the second (4 points).
        const QTextBlock typed = document->begin();
        const double size = typed.begin().fragment().charFormat().font().resolve(document->defaultFont()).pointSizeF();
        const double spaced = 1.6 * size;
        const double firstGap = top(1) - top(0);
        const double secondGap = top(2) - top(1);
        QVERIFY2(firstGap > spaced + 4 && firstGap < spaced + 11 && secondGap > spaced + 2 && secondGap < spaced + 5 &&
                     firstGap > secondGap,
                 qPrintable(QStringLiteral("%1 and %2 for a line of %3").arg(firstGap).arg(secondGap).arg(singleLine)));
        QCOMPARE((QList<double>{textLeft(0), textLeft(1), textLeft(2)}), (QList<double>{10, 10, 0}));
        // As the dialog gives them: the spacing in percent of the font size, the rest in points.
        const auto formatOf = [](QTextDocument* in, int number) {
            const QTextBlock block = in->findBlockByNumber(number);
            const QTextBlockFormat f = block.blockFormat();
            return QList<double>{LayoutUnits::PercentSpacing(block), f.leftMargin(), f.textIndent(),
                                 LayoutUnits::ToPoints(f.topMargin()), LayoutUnits::ToPoints(f.bottomMargin())};
        };
        const QList<double> applied = {160, 20, -10, 6, 4};
        QCOMPARE(formatOf(document, 1), applied);

        // One undo takes it all back.
        trigger(editor, "undoAction");
        QCOMPARE((QList<double>{top(1) - top(0), top(2) - top(1), textLeft(0)}),
                 (QList<double>{singleLine, lastGap, 0}));
        trigger(editor, "redoAction");

        QVERIFY(reopenIn(editor, "paragraphs.hwp"));
        for (int number = 0; number < 3; ++number)
            QCOMPARE(formatOf(m_editors[1]->Document(), number), formatOf(document, number));
    }

    void numberingStylesOfAnswerChoices_data()
    {
        QTest::addColumn<QString>("action");
        QTest::addColumn<QStringList>("markers");
        QTest::newRow("1.") << "numberingDecimalAction" << QStringList{"1.", "2.", "3."};
        QTest::newRow("①") << "numberingCircledAction" << QStringList{"①", "②", "③"};
        QTest::newRow("(1)") << "numberingParenthesizedAction" << QStringList{"(1)", "(2)", "(3)"};
        QTest::newRow("가.") << "numberingHangulAction" << QStringList{"가.", "나.", "다."};
        QTest::newRow("ㄱ.") << "numberingJamoAction" << QStringList{"ㄱ.", "ㄴ.", "ㄷ."};
        QTest::newRow("bullet") << "bulletAction" << QStringList{"", "", ""};
    }

    void numberingStylesOfAnswerChoices()
    {
        QFETCH(QString, action);
        QFETCH(QStringList, markers);
        CDHwpCtrl& editor = question();
        TypeText(editor, QStringLiteral("첫째\n셋째"));
        QTextCursor cursor(editor.Document());
        cursor.movePosition(QTextCursor::End, QTextCursor::KeepAnchor);
        editor.View()->setTextCursor(cursor);
        trigger(editor, qPrintable(action));
        // An item put in between: the numbers follow.
        cursor.setPosition(editor.Document()->begin().length() - 1);
        cursor.insertBlock();
        cursor.insertText(QStringLiteral("둘째"));
        const QStringList expected = {markers[0] + QStringLiteral("|첫째"), markers[1] + QStringLiteral("|둘째"),
                                      markers[2] + QStringLiteral("|셋째")};
        QCOMPARE(structureOf(editor.Document()), expected);

        // Each marker is on the page, left of its item's text.
        const QImage page = render(editor);
        const PageGeometry geometry = editor.Page();
        const double toPixels = 500.0 / 72;
        for (QTextBlock block = editor.Document()->begin(); block.isValid(); block = block.next()) {
            // The item's line on the paper, in points: its marker stands between the column's edge and its text.
            const QRectF line = editor.Document()->documentLayout()->blockBoundingRect(block).translated(
                geometry.columnLeft(0), geometry.bodyRect().top());
            const QPointF textStart(line.left() + block.layout()->lineAt(0).x(), line.bottom());
            const QRect beside = QRectF(QPointF(geometry.columnLeft(0), line.top()) * toPixels, textStart * toPixels)
                                     .toRect()
                                     .adjusted(0, 0, -2, 0);
            const QRect marker = InkIn(page, beside, 128);
            QVERIFY2(marker.width() > 10 && marker.height() > 10, qPrintable(block.text()));
        }

        QVERIFY(reopenIn(editor, "numbering.hwp"));
        CDHwpCtrl& other = *m_editors[1];
        QCOMPARE(structureOf(other.Document()), expected);

        // The same style again on the middle item takes it out, and the last one moves up a number.
        MoveCursor(other, other.Document()->findBlockByNumber(1).position());
        trigger(other, qPrintable(action));
        QCOMPARE(structureOf(other.Document()),
                 (QStringList{expected[0], QStringLiteral("|둘째"), markers[1] + QStringLiteral("|셋째")}));
        // Another style on an item numbers it anew instead of taking its number away.
        const bool circled = action == QLatin1String("numberingCircledAction");
        MoveCursor(other, 0);
        trigger(other, circled ? "numberingHangulAction" : "numberingCircledAction");
        QCOMPARE(ListNumbering::MarkerText(other.Document()->begin()),
                 circled ? QStringLiteral("가.") : QStringLiteral("①"));
    }

    void documentsOfTheFirstVersionStillOpen()
    {
        // A version 1 file ends after its pictures.
        QTextDocument written;
        QTextCursor cursor(&written);
        cursor.insertText(QStringLiteral("옛 문서"));
        cursor.insertBlock();
        cursor.createList(ListNumbering::Format(ListNumbering::Style::Parenthesized));
        cursor.insertText(QStringLiteral("가\n나"));
        const QString path = writeFile(
            QStringLiteral("version1.hwp"),
            OwnFormatFile(1, question().Page(), [&](QDataStream& out) { out << written.toHtml() << quint32(0); }));

        QVERIFY2(question().OpenDocument(path, QStringLiteral("HWP"), QString()),
                 qPrintable(question().LastOpenError()));
        QCOMPARE(question().Document()->toPlainText(), written.toPlainText());
        QCOMPARE(ListNumbering::MarkerText(question().Document()->findBlockByNumber(2)), QStringLiteral("(2)"));
    }

    void tableOfAQuestionEdited()
    {
        CDHwpCtrl& editor = question();
        PageView* view = editor.View();
        const auto toCell = [view](int row, int column, int toRow = -1, int toColumn = -1) {
            QTextTable* table = view->textCursor().currentTable();
            QTextCursor cursor = table->cellAt(row, column).firstCursorPosition();
            if (toRow >= 0)
                cursor.setPosition(table->cellAt(toRow, toColumn).firstPosition(), QTextCursor::KeepAnchor);
            view->setTextCursor(cursor);
        };
        AnswerNextDialog<QDialog>([](QDialog* dialog) {
            child<QSpinBox>(dialog, "rowsSpin")->setValue(2);
            child<QSpinBox>(dialog, "columnsSpin")->setValue(3);
        });
        trigger(editor, "insertTableAction");
        QTextTable* table = view->textCursor().currentTable();
        QVERIFY(table);
        QCOMPARE(QSize(table->columns(), table->rows()), QSize(3, 2));
        trigger(editor, "addRowAction");
        trigger(editor, "addColumnAction");
        QCOMPARE(QSize(table->columns(), table->rows()), QSize(4, 3));
        toCell(1, 3);
        trigger(editor, "deleteColumnAction");
        toCell(1, 0, 2, 0);
        trigger(editor, "addRowAction");
        trigger(editor, "deleteRowAction");
        QCOMPARE(QSize(table->columns(), table->rows()), QSize(3, 2));
        trigger(editor, "addRowAction");

        // The first row's first two cells made one; a merged column split again.
        toCell(0, 0, 0, 1);
        trigger(editor, "mergeCellsAction");
        toCell(1, 2, 2, 2);
        trigger(editor, "mergeCellsAction");
        QCOMPARE(table->cellAt(1, 2).rowSpan(), 2);
        toCell(1, 2);
        trigger(editor, "splitCellAction");
        QCOMPARE(table->cellAt(1, 2).rowSpan(), 1);

        toCell(0, 0);
        AnswerNextDialog<QDialog>([](QDialog* dialog) {
            child<QComboBox>(dialog, "unitCombo")->setCurrentIndex(1);
            for (const auto& [name, millimetres] :
                 {std::pair{"widthSpin0", 20}, {"widthSpin1", 30}, {"widthSpin2", 25}})
                child<QDoubleSpinBox>(dialog, name)->setValue(millimetres);
        });
        trigger(editor, "columnWidthAction");
        // 20, 30 and 25 mm in whole points, in the layout's units.
        const QList<QTextLength> widths = {QTextLength(QTextLength::FixedLength, LayoutUnits::FromPoints(57)),
                                           QTextLength(QTextLength::FixedLength, LayoutUnits::FromPoints(85)),
                                           QTextLength(QTextLength::FixedLength, LayoutUnits::FromPoints(71))};
        QCOMPARE(WidthsOf(table->format().columnWidthConstraints()), WidthsOf(widths));
        toCell(1, 1);
        AnswerNextDialog<QDialog>([](QDialog* dialog) {
            child<QCheckBox>(dialog, "borderCheck")->setChecked(true);
            child<QDoubleSpinBox>(dialog, "borderWidthSpin")->setValue(3);
        });
        trigger(editor, "cellBorderAction");
        toCell(2, 2);
        AnswerNextDialog<QDialog>([](QDialog* dialog) { child<QCheckBox>(dialog, "borderCheck")->setChecked(false); });
        trigger(editor, "cellBorderAction");
        toCell(1, 0);
        AnswerNextDialog<QColorDialog>([](QColorDialog* dialog) { dialog->setCurrentColor(QColor(255, 220, 120)); });
        trigger(editor, "cellShadingAction");

        // Reopened, the table is the same.
        const auto described = [](QTextTable* of) {
            QStringList cells;
            for (int row = 0; row < of->rows(); ++row) {
                for (int column = 0; column < of->columns(); ++column) {
                    const QTextTableCellFormat cell = of->cellAt(row, column).format().toTableCellFormat();
                    cells.append(QStringLiteral("%1x%2 %3 %4")
                                     .arg(of->cellAt(row, column).rowSpan())
                                     .arg(of->cellAt(row, column).columnSpan())
                                     .arg(cell.background().color().name())
                                     .arg(cell.hasProperty(QTextFormat::TableCellTopBorder)
                                              ? LayoutUnits::ToPoints(cell.topBorder())
                                              : -1));
                }
            }
            return cells;
        };
        const QStringList before = described(table);
        QCOMPARE(before.at(4), QStringLiteral("1x1 #000000 3"));
        QVERIFY(reopenIn(editor, "table.hwp"));
        CDHwpCtrl& other = *m_editors[1];
        QTextTable* reopened = QTextCursor(other.Document()->begin().next()).currentTable();
        QVERIFY(reopened);
        // HWP draws lines in sixteen widths: the 3 pt border comes back as the nearest, 1 mm.
        QStringList expected = before;
        expected[4] = QStringLiteral("1x1 #000000 %1").arg(72 / 25.4);
        QCOMPARE(described(reopened), expected);
        QCOMPARE(WidthsOf(reopened->format().columnWidthConstraints()), WidthsOf(widths));

        // And on the page at 500 dpi: the borders, the thick one, the missing ones and the shading.
        const QImage page = render(other);
        const PageGeometry geometry = other.Page();
        QAbstractTextDocumentLayout* layout = other.Document()->documentLayout();
        const auto pixel = [&geometry](QPointF at) {
            return ((at + QPointF(geometry.columnLeft(0), geometry.bodyRect().top())) * 500.0 / 72).toPoint();
        };
        const auto cellCentre = [&](int row, int column) {
            return pixel(
                layout->blockBoundingRect(reopened->cellAt(row, column).firstCursorPosition().block()).center());
        };
        // Lines across the whole column and down the whole page meet the borders of one row or column.
        const int left = pixel({0, 0}).x() - 10;
        const int right = pixel({geometry.columnWidth(), 0}).x() + 10;
        const auto across = [&](int row) { return DarkRuns(page, true, cellCentre(row, 0).y(), left, right).size(); };
        const auto down = [&](int column) {
            return DarkRuns(page, false, cellCentre(1, column).x(), 0, page.height()).size();
        };
        // Row 0: the merged cell and the third; row 2: the last cell has no border right of it.
        QCOMPARE((QList<qsizetype>{across(0), across(1), across(2)}), (QList<qsizetype>{3, 4, 3}));
        // Under the third column the last cell has no bottom border either.
        QCOMPARE((QList<qsizetype>{down(0), down(1), down(2)}), (QList<qsizetype>{4, 4, 3}));
        // 3 points thick above the second row's middle cell, 1 point above its first.
        const auto thickness = [&](int column) {
            const QPoint centre = cellCentre(1, column);
            return InkIn(page, QRect(QPoint(centre.x(), cellCentre(0, 0).y()), centre), 128).height();
        };
        QVERIFY2(thickness(1) >= 2 * thickness(0) && thickness(0) > 3,
                 qPrintable(QStringLiteral("%1 and %2 pixels").arg(thickness(1)).arg(thickness(0))));
        QCOMPARE(page.pixelColor(cellCentre(1, 0)), QColor(255, 220, 120));
        QCOMPARE(page.pixelColor(cellCentre(1, 1)), QColor(Qt::white));
    }

    // A writer types, also through the input method, breaks a line, breaks the page, and takes back what was
    // typed, all from the keyboard.
    void editingKeys()
    {
        SetupToolbars(m_editors);
        PageView* view = question().View();
        view->setFocus();
        QTest::keyClicks(view, QStringLiteral("abc"));
        QTest::keyClick(view, Qt::Key_Return);
        // Korean text arrives through the input method.
        QInputMethodEvent compose(QStringLiteral("하"), {});
        QCoreApplication::sendEvent(view, &compose);
        QInputMethodEvent commit;
        commit.setCommitString(QStringLiteral("한글"));
        QCoreApplication::sendEvent(view, &commit);
        QTest::keyClick(view, Qt::Key_Backspace);
        QCOMPARE(question().Document()->toPlainText(), QStringLiteral("abc\n한"));
        QTest::keyClick(view, Qt::Key_Z, Qt::ControlModifier);
        QCOMPARE(question().Document()->toPlainText(), QStringLiteral("abc\n한글"));
        QVERIFY(view->inputMethodQuery(Qt::ImCursorRectangle).toRectF().isValid());

        question().ClearDocument(1);
        view->setFocus();
        QTest::keyClicks(view, QStringLiteral("ab"));
        QTest::keyClick(view, Qt::Key_Return, Qt::ShiftModifier);
        QTest::keyClicks(view, QStringLiteral("cd"));
        // One paragraph of two lines.
        QCOMPARE(question().Document()->toRawText(), QStringLiteral("ab\u2028cd"));

        // After Ctrl+Enter the text goes on at the top of the second page, not in the first page's free column,
        // and the paragraphs typed after it stay on that page.
        QTest::keyClick(view, Qt::Key_Return, Qt::ControlModifier);
        QTest::keyClicks(view, QStringLiteral("next"));
        QTest::keyClick(view, Qt::Key_Return);
        QTest::keyClicks(view, QStringLiteral("more"));
        QCOMPARE(view->physicalPageCount(), 2);
        const double paperHeight = question().Page().paperSize().height() * view->logicalDpiY() / 72.0 * 1.2;
        QVERIFY(view->cursorRect().top() > paperHeight);
        const int secondColumn = qRound(question().Page().columnLeft(1) / 72.0 * 100);
        QVERIFY(inkOf(render(question(), QStringLiteral("page"), 100), secondColumn - 5).isEmpty());
        QVERIFY(!inkOf(render(question(), QStringLiteral("second"), 100, 1), 0, secondColumn - 5).isEmpty());
        // The break is kept in the file.
        QVERIFY(reopenIn(question(), "break.hwp"));
        QCOMPARE(m_editors[1]->View()->physicalPageCount(), 2);

        // Undo and redo from another control of the editor; never from another editor.
        const QString typed = question().Document()->toPlainText();
        m_editors[1]->View()->setFocus();
        QTest::keyClick(m_editors[1]->View(), Qt::Key_Z, Qt::ControlModifier);
        QCOMPARE(question().Document()->toPlainText(), typed);
        auto* italic = question().findChild<QAction*>(QStringLiteral("italicAction"));
        QWidget* italicButton = qobject_cast<QToolBar*>(italic->parent())->widgetForAction(italic);
        italicButton->setFocus();
        QTest::keyClick(italicButton, Qt::Key_Z, Qt::ControlModifier);
        QVERIFY(!question().Document()->toPlainText().contains(QStringLiteral("more")));
        QTest::keyClick(italicButton, Qt::Key_Y, Qt::ControlModifier);
        QCOMPARE(question().Document()->toPlainText(), typed);
    }

    // The copy of the work taken every few seconds encodes a picture once: the bytes are those of a fresh
    // write, also after a picture changed under its name or another took its place.
    void nativeDataReusesEncodedPictures()
    {
        const QImage red = filled(Qt::red, 300, 200);
        question().InsertPicture(red);
        const auto fresh = [this] { return DocumentFile::NativeBytes(*question().Document(), question().Page()); };
        QCOMPARE(question().NativeData(), fresh());
        QCOMPARE(question().NativeData(), fresh());
        const QString name = DocumentFile::PictureNames(*question().Document()).constFirst();
        question().Document()->addResource(QTextDocument::ImageResource, QUrl(name), filled(Qt::blue, 300, 200));
        QCOMPARE(question().NativeData(), fresh());
        QTextCursor all(question().Document());
        all.select(QTextCursor::Document);
        all.removeSelectedText();
        question().InsertPicture(red);
        QCOMPARE(question().NativeData(), fresh());
    }

    // Inside a toolbar control its own keys win; an editor key that a control has no use for is done on the
    // page, and the keys after it are still the control's: a box with the focus keeps every key until it gives
    // the focus back, so that nothing typed into it lands on text the page has selected.
    void keysOfTheToolbarControls()
    {
        SetupToolbars(m_editors);
        PageView* view = question().View();
        view->setFocus();
        QTest::keyClicks(view, QStringLiteral("abc"));
        auto* zoom = question().findChild<QComboBox*>(QStringLiteral("zoomCombo"));
        zoom->setFocus();
        QTest::keyClick(zoom, Qt::Key_A, Qt::ControlModifier);
        QCOMPARE(zoom->lineEdit()->selectedText(), zoom->currentText());
        QTest::keyClick(zoom, Qt::Key_Z, Qt::ControlModifier);
        QCOMPARE(question().Document()->toPlainText(), QStringLiteral("abc"));
        QVERIFY(!view->textCursor().hasSelection());
        QCOMPARE(QApplication::focusWidget(), zoom);

        // A button has no use for Ctrl+A: the page selects all, and the focus stays on the button.
        QAction* boldAction = question().findChild<QAction*>(QStringLiteral("boldAction"));
        QWidget* boldButton = qobject_cast<QToolBar*>(boldAction->parent())->widgetForAction(boldAction);
        boldButton->setFocus();
        QTest::keyClick(boldButton, Qt::Key_A, Qt::ControlModifier);
        QCOMPARE(view->textCursor().selectedText(), QStringLiteral("abc"));
        QCOMPARE(QApplication::focusWidget(), boldButton);

        const auto formatAt = [this](int position) {
            QTextCursor at(question().Document());
            at.setPosition(position);
            return at.charFormat();
        };
        auto* size = question().findChild<QComboBox*>(QStringLiteral("sizeCombo"));
        auto* font = question().findChild<QFontComboBox*>(QStringLiteral("fontCombo"));
        // The writer's steps: the page all selected, then Escape, a size and Enter in the size box; the arrows
        // there size the selection without leaving the box; a size the list lacks is typed as well.
        for (const auto& [keys, points, toPage] :
             {std::tuple{QStringLiteral("14"), 14.0, true}, std::tuple{QStringLiteral("10.5"), 10.5, true},
              std::tuple{QStringLiteral("Down"), 16.0, false}}) {
            QTest::keyClick(view, Qt::Key_A, Qt::ControlModifier);
            size->setFocus();
            QTest::keyClick(size, Qt::Key_Escape);
            if (keys == QLatin1String("Down")) {
                size->setCurrentIndex(size->findText(QStringLiteral("14")));
                QTest::keyClick(size, Qt::Key_Down);
            } else {
                QTest::keyClick(size, Qt::Key_A, Qt::ControlModifier);
                QTest::keyClicks(size, keys);
                QCOMPARE(question().Document()->toPlainText(), QStringLiteral("abc"));
                QTest::keyClick(size, Qt::Key_Return);
            }
            QCOMPARE(question().Document()->toPlainText(), QStringLiteral("abc"));
            QCOMPARE(formatAt(1).fontPointSize(), points);
            QCOMPARE(formatAt(3).fontPointSize(), points);
            QCOMPARE(QApplication::focusWidget() == view, toPage);
        }
        // The box shows the size of the text.
        QCOMPARE(size->currentText(), QStringLiteral("16"));

        // A font's name typed over the box's own text, selected with Ctrl+A there.
        QTest::keyClick(view, Qt::Key_A, Qt::ControlModifier);
        font->setFocus();
        QTest::keyClick(font, Qt::Key_A, Qt::ControlModifier);
        QTest::keyClicks(font, QStringLiteral("NanumMyeongjo"));
        QCOMPARE(question().Document()->toPlainText(), QStringLiteral("abc"));
        QVERIFY(font->hasFocus());
        QTest::keyClick(font, Qt::Key_Return);
        QCOMPARE(question().Document()->toPlainText(), QStringLiteral("abc"));
        QCOMPARE(formatAt(2).fontFamilies().toStringList(), QStringList{QStringLiteral("NanumMyeongjo")});
        QCOMPARE(QApplication::focusWidget(), view);
    }

    // A writer looks for a word from the cursor on, narrows the search, and replaces one match or all of them.
    void findAndReplace()
    {
        PageView* view = question().View();
        TypeText(question(), QStringLiteral("sin 값\n"));
        for (int line = 0; line < 100; ++line)
            TypeText(question(), QStringLiteral("줄\n"));
        TypeText(question(), QStringLiteral("Sin 과 sine 의 sin"));
        const QString text = question().Document()->toPlainText();
        QTextCursor cursor(question().Document());
        cursor.setPosition(4);
        cursor.setPosition(5, QTextCursor::KeepAnchor);
        view->setTextCursor(cursor);
        view->setFocus();
        QTest::keyClick(view, Qt::Key_F, Qt::ControlModifier);
        auto* dialog = question().findChild<QDialog*>(QStringLiteral("findReplaceDlg"));
        QVERIFY(dialog && dialog->isVisible());
        auto* findEdit = child<QLineEdit>(dialog, "findEdit");
        QCOMPARE(findEdit->text(), QStringLiteral("값"));
        const auto press = [dialog](const char* name) { child<QAbstractButton>(dialog, name)->click(); };
        const auto selected = [view] { return view->textCursor().selectionStart(); };

        findEdit->setText(QStringLiteral("sin"));
        view->setTextCursor(QTextCursor(question().Document()));
        QTest::keyClick(findEdit, Qt::Key_Return);
        QCOMPARE(selected(), 0);
        // Matching the case skips "Sin"; the view scrolls down to the match on the last line.
        child<QCheckBox>(dialog, "caseCheck")->setChecked(true);
        press("findButton");
        QCOMPARE(selected(), int(text.indexOf(QStringLiteral("sine"))));
        auto* scroll = question().findChild<QScrollArea*>(QStringLiteral("pageScroll"));
        QTRY_VERIFY(scroll->verticalScrollBar()->value() > 0);
        // Whole words also skip "sine".
        child<QCheckBox>(dialog, "wholeWordCheck")->setChecked(true);
        MoveCursor(question(), 1);
        press("findButton");
        QCOMPARE(selected(), int(text.size()) - 3);
        auto* status = child<QLabel>(dialog, "statusLabel");
        QVERIFY(status->text().isEmpty());
        // Past the end it starts over at the top, and says so.
        press("findButton");
        QCOMPARE(selected(), 0);
        QVERIFY(!status->text().isEmpty());

        // Replace: the selected match, then on to the next.
        child<QLineEdit>(dialog, "replaceEdit")->setText(QStringLiteral("tan"));
        press("replaceButton");
        QVERIFY(question().Document()->toPlainText().startsWith(QStringLiteral("tan 값")));
        QCOMPARE(selected(), int(text.size()) - 3);

        // Replace all, as one step to undo.
        child<QCheckBox>(dialog, "caseCheck")->setChecked(false);
        child<QCheckBox>(dialog, "wholeWordCheck")->setChecked(false);
        const QString before = question().Document()->toPlainText();
        press("replaceAllButton");
        QCOMPARE(status->text(), QStringLiteral("3개를 바꾸었습니다."));
        QVERIFY(!question().Document()->toPlainText().contains(QStringLiteral("sin"), Qt::CaseInsensitive));
        trigger(question(), "undoAction");
        QCOMPARE(question().Document()->toPlainText(), before);

        // Nothing found: said in the dialog, without a box.
        findEdit->setText(QStringLiteral("cos"));
        press("findButton");
        QCOMPARE(status->text(), QStringLiteral("찾는 내용이 없습니다."));
        QVERIFY(!QApplication::activeModalWidget());

        // Formulas are found by their scripts, in the order of the text, and changed only when asked to: then
        // each changed formula is one step to undo.
        MoveCursor(question());
        question().InsertFormula(QStringLiteral("sum from {k=1} to n k"));
        TypeText(question(), QStringLiteral(" 의 값, sum 과 "));
        question().InsertFormula(QStringLiteral("SUM a_k"));
        const QList<int> formulas = FormulaObject::Positions(*question().Document());
        const auto scripts = [this] {
            QStringList all;
            for (int position : FormulaObject::Positions(*question().Document()))
                all.append(FormulaObject::Script(FormulaObject::FormatAt(*question().Document(), position)));
            return all;
        };
        findEdit->setText(QStringLiteral("sum"));
        MoveCursor(question());
        press("findButton");
        QCOMPARE(std::pair(selected(), view->textCursor().selectionEnd()), std::pair(formulas[0], formulas[0] + 1));
        press("findButton");
        QCOMPARE(view->textCursor().selectedText(), QStringLiteral("sum"));
        press("findButton");
        QCOMPARE(selected(), formulas[1]);
        child<QLineEdit>(dialog, "replaceEdit")->setText(QStringLiteral("prod"));
        const QString beforeFormulas = question().Document()->toPlainText();
        press("replaceAllButton");
        QCOMPARE(scripts(), (QStringList{"sum from {k=1} to n k", "SUM a_k"}));
        QVERIFY(question().Document()->toPlainText().contains(QStringLiteral("prod 과")));
        trigger(question(), "undoAction");
        QCOMPARE(question().Document()->toPlainText(), beforeFormulas);
        child<QCheckBox>(dialog, "formulaCheck")->setChecked(true);
        child<QCheckBox>(dialog, "caseCheck")->setChecked(true);
        MoveCursor(question());
        press("findButton");
        press("replaceButton");
        QCOMPARE(scripts(), (QStringList{"prod from {k=1} to n k", "SUM a_k"}));
        press("replaceAllButton");
        QCOMPARE(status->text(), QStringLiteral("1개를 바꾸었습니다."));
        trigger(question(), "undoAction");
        trigger(question(), "undoAction");
        QCOMPARE(scripts(), (QStringList{"sum from {k=1} to n k", "SUM a_k"}));
        dialog->close();
    }

    // A writer zooms with Ctrl+wheel, the keys or the box; the box always shows the zoom the page has, and the
    // other editors keep theirs.
    void zoom()
    {
        SetupToolbars(m_editors);
        PageView* view = question().View();
        auto* box = question().findChild<QComboBox*>(QStringLiteral("zoomCombo"));
        const auto wheel = [view](int delta, Qt::KeyboardModifiers modifiers = Qt::ControlModifier) {
            const QPointF at(50, 50);
            QWheelEvent event(at, view->mapToGlobal(at), QPoint(), QPoint(0, delta), Qt::NoButton, modifiers,
                              Qt::NoScrollPhase, false);
            QCoreApplication::sendEvent(view, &event);
        };
        const auto keys = [view](Qt::Key key) {
            view->setFocus();
            QTest::keyClick(view, key, Qt::ControlModifier);
        };
        const auto typed = [box](const QString& text) {
            box->lineEdit()->setFocus();
            box->lineEdit()->setText(text);
            QTest::keyClick(box->lineEdit(), Qt::Key_Return);
        };
        auto settings = question().NewParameterSet(QStringLiteral("ViewProperties"));
        settings->SetItem(QStringLiteral("ZoomType"), 0);
        settings->SetItem(QStringLiteral("ZoomRatio"), 75);
        const std::pair<std::function<void()>, int> steps[] = {
            {[] {}, 120},
            {[&] { wheel(120); }, 130},
            // Half notches, as a touchpad sends them, add up.
            {[&] { wheel(-60); }, 130},
            {[&] { wheel(-60); }, 120},
            {[&] { wheel(-240); }, 100},
            {[&] { wheel(120, Qt::NoModifier); }, 100},
            {[&] { keys(Qt::Key_Plus); }, 110},
            {[&] { keys(Qt::Key_Minus); }, 100},
            {[&] { keys(Qt::Key_Minus); }, 90},
            // Typed into the box, within the range.
            {[&] { typed(QStringLiteral("250")); }, 250},
            {[&] { typed(QStringLiteral("999%")); }, PageView::kMaxZoom},
            {[&] { typed(QStringLiteral("0")); }, PageView::kMaxZoom},
            // Picked from the list.
            {[&] {
                 box->showPopup();
                 box->view()->setCurrentIndex(box->model()->index(box->findData(50), 0));
                 QTest::keyClick(box->view(), Qt::Key_Return);
             },
             50},
            // The program's view settings and the preparation.
            {[&] { question().SetViewSettings(*settings); }, 75},
            {[&] { PrepareEditors(m_editors); }, 120},
        };
        for (const auto& [step, zoom] : steps) {
            step();
            QCOMPARE(question().Zoom(), zoom);
            QCOMPARE(box->currentText(), QStringLiteral("%1%").arg(zoom));
            QCOMPARE(m_editors[1]->Zoom(), 120);
        }
    }

    // The word processor's faces are not installed here: their text must be drawn with the Nanum face of the
    // same kind, so that a line of a loaded question breaks where its author saw it break.
    void documentFacesDrawnWithNanum()
    {
        const QString line = QStringLiteral("이차방정식 x^2 - 5x + 6 = 0 의 두 근의 합과 곱을 구하시오.");
        for (const auto& [face, nanum] : {std::pair{u"함초롬바탕", u"NanumMyeongjo"},
                                          {u"바탕", u"NanumMyeongjo"},
                                          {u"맑은 고딕", u"NanumGothic"},
                                          {u"굴림", u"NanumGothic"}}) {
            const QFont named(QString::fromUtf16(face), 10);
            const QFont installed(QString::fromUtf16(nanum), 10);
            QCOMPARE(QFontInfo(named).family(), QString::fromUtf16(nanum));
            QCOMPARE(QFontMetricsF(named).horizontalAdvance(line), QFontMetricsF(installed).horizontalAdvance(line));
        }
    }

    // Marks go in at the cursor from the symbol dialog: a click on one, or Enter on the current one.
    void symbolsGoInAtTheCursor()
    {
        SetupToolbars(m_editors);
        TypeText(question(), QStringLiteral("x "));
        trigger(question(), "symbolAction");
        auto* dialog = question().findChild<QDialog*>(QStringLiteral("symbolDlg"));
        QVERIFY(dialog && dialog->isVisible());
        dialog->findChild<QTabWidget*>(QStringLiteral("symbolTabs"))->setCurrentIndex(1);
        auto* list = dialog->findChild<QListWidget*>(QStringLiteral("symbolList1"));
        QListWidgetItem* lessOrEqual = list->findItems(QStringLiteral("≤"), Qt::MatchExactly).value(0);
        QVERIFY(lessOrEqual);
        QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, list->visualItemRect(lessOrEqual).center());
        list->setCurrentItem(list->findItems(QStringLiteral("√"), Qt::MatchExactly).value(0));
        QTest::keyClick(list, Qt::Key_Return);
        QCOMPARE(question().Document()->toPlainText(), QStringLiteral("x ≤√"));
        QVERIFY(dialog->isVisible());
        dialog->close();

        // Every mark is drawn in the page's face or one the system falls back to, never as an empty box.
        for (const SymbolDlg::Group& group : SymbolDlg::Groups()) {
            for (const QChar mark : group.symbols) {
                QTextLayout layout(QString(mark), question().Document()->defaultFont());
                layout.beginLayout();
                layout.createLine();
                layout.endLayout();
                const QList<QGlyphRun> runs = layout.glyphRuns();
                QVERIFY2(runs.size() == 1 && !runs[0].glyphIndexes().contains(0), qPrintable(QString(mark)));
            }
        }
    }
};

QTEST_MAIN(TestEditor)
#include "tst_editor.moc"
