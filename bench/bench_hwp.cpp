// HWP 5.0 files: opens and saves a 20-page question document with tables, pictures and 200 formulas (median of
// 5 rounds each), beside the editor's own format, and checks that what was opened is what was saved; then opens
// a form of one 30×10 table in the editor, counting the layout passes.

#include "bench/Median.h"
#include "document/DocumentFile.h"
#include "document/FormulaObject.h"
#include "document/hwp/HwpFile.h"
#include "editor/CDHwpCtrl.h"
#include "editor/EditorPreparation.h"
#include "editor/PageView.h"

#include <QAbstractTextDocumentLayout>
#include <QApplication>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QImage>
#include <QPainter>
#include <QTemporaryDir>
#include <QTextCursor>
#include <QTextDocument>
#include <QTextTable>

#include <cstdio>
#include <functional>
#include <vector>

namespace {

const char* const kFormulas[] = {
    "x = {-%1 +- sqrt {%1^2 - 4 %2 %3}} over {2 %2}",
    "sum _{k=1} ^{%1} k ^{2} = {%1(%1+1)(2 times %1+1)} over {6}",
    "int _{0} ^{%1} (x ^{2} + %2 x) dx",
    "lim _{x -> %1} {x ^{2} - %2} over {x - %3}",
    "A = pmatrix{%1 & %2 # %3 & %1}",
    "cases{x + %1 & (x GEQ %2) # -x + %3 & (x < %2)}",
    "{}_{%1} C _{%2} = {%1 !} over {%2 ! (%1 - %2) !}",
    "left ( {%1} over {%2} right ) ^{%3}",
};

double timed(int rounds, const std::function<bool()>& step)
{
    std::vector<double> times;
    for (int round = 0; round < rounds; ++round) {
        QElapsedTimer timer;
        timer.start();
        if (!step())
            return -1;
        times.push_back(double(timer.nsecsElapsed()) / 1e6);
    }
    return Median(times);
}

QImage picture(int index)
{
    QImage image(320, 360, QImage::Format_RGB32);
    image.fill(Qt::white);
    QPainter painter(&image);
    painter.setPen(QPen(Qt::black, 3));
    painter.drawLine(10, 350, 310, 10 + index % 50);
    painter.drawEllipse(QPoint(160, 180), 40 + index % 30, 40);
    return image;
}

} // namespace

int main(int argc, char* argv[])
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    QWidget window;
    auto* editor = new CDHwpCtrl;
    if (!editor->Create(QRect(0, 0, 1000, 800), &window, 900))
        return 1;
    PrepareEditors({editor, nullptr, nullptr});

    // Questions one after another, each with its formulas, a table of values for each and a figure every other
    // question, until the document has 200 formulas.
    int formulas = 0;
    for (int question = 1; formulas < 200; ++question) {
        QTextCursor end(editor->Document());
        end.movePosition(QTextCursor::End);
        end.insertText(QStringLiteral("%1. 다음 식의 값을 구하고, 그 과정을 서술하시오. 조건을 만족시키는 모든 실수의 합은? ")
                           .arg(question));
        for (int i = 0; i < 4; ++i, ++formulas) {
            end.movePosition(QTextCursor::End);
            end.insertText(QStringLiteral(" (%1) ").arg(i + 1));
            editor->View()->setTextCursor(end);
            editor->InsertFormula(QString::fromUtf8(kFormulas[formulas % std::size(kFormulas)])
                                      .replace(QLatin1String("%1"), QString::number(formulas % 9 + 2))
                                      .replace(QLatin1String("%2"), QString::number(formulas % 5 + 1))
                                      .replace(QLatin1String("%3"), QString::number(formulas % 7 + 3)));
        }
        end.movePosition(QTextCursor::End);
        end.insertText(QStringLiteral("\n풀이: 주어진 조건에서 식을 정리하면 위와 같으며, 각 경우를 나누어 생각한다. "
                                      "두 경우 모두 조건을 만족시키므로 구하는 값은 위의 식으로 주어진다. "
                                      "따라서 답은 보기 중 하나이다.\n참고: 같은 방법으로 다른 조건의 경우도 확인할 수 있으며, 계산 과정에서 부호에 주의한다.\n"));
        editor->View()->setTextCursor(end);
        {
            editor->InsertTable(3, 4);
            if (QTextTable* table = editor->View()->textCursor().currentTable()) {
                for (int cell = 0; cell < 12; ++cell)
                    table->cellAt(cell / 4, cell % 4).firstCursorPosition().insertText(QStringLiteral("값 %1").arg(cell));
            }
        }
        if (question % 2 == 0) {
            end.movePosition(QTextCursor::End);
            editor->View()->setTextCursor(end);
            editor->InsertPicture(picture(question));
        }
    }
    // Worked solutions after the questions fill the document to 20 pages.
    for (int solution = 1; editor->View()->physicalPageCount() < 20; ++solution) {
        QTextCursor end(editor->Document());
        end.movePosition(QTextCursor::End);
        end.insertText(QStringLiteral("해설 %1. 조건을 만족시키는 경우를 나누어 생각하면, 첫째 경우에는 식의 값이 양수이고 둘째 "
                                      "경우에는 음수이므로 두 경우의 값을 더하여 답을 얻는다.\n")
                           .arg(solution));
    }
    const int pages = editor->View()->physicalPageCount();
    std::printf("Document: %d pages, %d formulas, %d pictures\n", pages,
                int(FormulaObject::Positions(*editor->Document()).size()),
                int(DocumentFile::PictureNames(*editor->Document()).size()));

    QTemporaryDir dir;
    const QString hwp = dir.filePath(QStringLiteral("bench.hwp"));
    const QString native = dir.filePath(QStringLiteral("bench.vlr"));
    const PageGeometry page = editor->Page();
    QString error;
    const double saveHwp = timed(5, [&] { return HwpFile::Save(*editor->Document(), page, hwp, &error); });
    const double saveNative = timed(5, [&] { return DocumentFile::SaveNative(*editor->Document(), page, native); });
    const QString saved = editor->Document()->toPlainText();
    // The format's own cost: a document nobody shows yet, as the load fills before the editor lays it out.
    QTextDocument opened;
    PageGeometry openedPage;
    const double openHwp = timed(5, [&] {
        opened.clear();
        return HwpFile::Load(opened, openedPage, hwp, &error);
    });
    if (openHwp < 0 || saveHwp < 0 || opened.toPlainText() != saved ||
        FormulaObject::Positions(opened).size() != FormulaObject::Positions(*editor->Document()).size()) {
        std::printf("The HWP file did not come back as it was saved: %s\n", qPrintable(error));
        return 1;
    }
    const double openNative = timed(5, [&] {
        opened.clear();
        return DocumentFile::LoadNative(opened, openedPage, native, &error);
    });
    // A document with a layout, which the reader switches off while it fills the document.
    QTextDocument laidOut;
    FormulaObject::RegisterHandler(&laidOut);
    const double openLaidOut = timed(5, [&] {
        laidOut.clear();
        return HwpFile::Load(laidOut, openedPage, hwp, &error);
    });
    // What the user waits for: the editor opens the file, lays out its 20 pages and shows the first.
    auto* viewer = new CDHwpCtrl;
    if (!viewer->Create(QRect(0, 0, 1000, 800), &window, 901))
        return 1;
    const double editorHwp = timed(5, [&] { return viewer->OpenDocument(hwp, QStringLiteral("HWP"), QString()); });
    const double editorNative =
        timed(5, [&] { return viewer->OpenDocument(native, QStringLiteral("HWP"), QString()); });

    // A table-heavy form: one table of 30 rows and 10 columns, every cell filled. The reader fills the document
    // with its layout off and lays it out once; the layout's size reports count the passes.
    QTextDocument form;
    {
        QTextCursor cursor(&form);
        QTextTable* table = cursor.insertTable(30, 10);
        for (int cell = 0; cell < 300; ++cell)
            table->cellAt(cell / 10, cell % 10).firstCursorPosition().insertText(QStringLiteral("항목 %1").arg(cell));
    }
    const QString formPath = dir.filePath(QStringLiteral("form.hwp"));
    if (!HwpFile::Save(form, page, formPath, &error))
        return 1;
    int passes = 0;
    const auto counter = QObject::connect(viewer->Document()->documentLayout(), &QAbstractTextDocumentLayout::update,
                                          [&passes] { ++passes; });
    const double editorForm =
        timed(5, [&] { return viewer->OpenDocument(formPath, QStringLiteral("HWP"), QString()); });
    QObject::disconnect(counter);

    std::printf("HWP 5.0 (%lld bytes): open %.1f ms, save %.1f ms (median of 5; target 150 ms each)\n",
                static_cast<long long>(QFileInfo(hwp).size()), openHwp, saveHwp);
    std::printf("Editor's own format (%lld bytes): open %.1f ms, save %.1f ms\n",
                static_cast<long long>(QFileInfo(native).size()), openNative, saveNative);
    std::printf("HWP 5.0 into a document with a layout: %.1f ms\n", openLaidOut);
    std::printf("The editor's OpenDocument, 20 pages laid out and shown: HWP 5.0 %.1f ms, own format %.1f ms\n",
                editorHwp, editorNative);
    std::printf("The editor's OpenDocument of a 30x10 table (%lld bytes): %.1f ms, %.1f layout updates an open "
                "(bound: filled once, laid out once)\n",
                static_cast<long long>(QFileInfo(formPath).size()), editorForm, passes / 5.0);
    return 0;
}
