// Renders page 0 at 500 dpi to a 24-bit BMP, as the save does: a full two-column page of text, then a
// question page with three tables and two pictures. Prints the times and the peak memory of the process, and
// beside each the time with every glyph filled as an outline, as Qt draws text of this size by itself.

#include "bench/Median.h"
#include "bench/ProcessStatus.h"
#include "document/PageDecorations.h"
#include "document/PageRenderer.h"
#include "document/TableEditing.h"
#include "editor/CDHwpCtrl.h"
#include "editor/EditorPreparation.h"
#include "editor/PageView.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QImage>
#include <QPainter>
#include <QPainterPath>
#include <QTemporaryDir>
#include <QTextCursor>
#include <QTextDocument>
#include <QTextTable>

#include <algorithm>
#include <cstdio>
#include <vector>

int main(int argc, char* argv[])
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    QWidget window;
    auto* editor = new CDHwpCtrl;
    if (!editor->Create(QRect(0, 0, 1000, 800), &window, 900))
        return 1;
    PrepareEditors({editor, nullptr, nullptr});

    QTemporaryDir dir;
    const QString base = dir.filePath(QStringLiteral("_q"));
    const long rssBefore = ProcessStatusKiB("VmRSS:");
    // One page after another in the same editor, each rendered five times; the figure is the median. The first
    // round of the first page renders its glyphs too, as the first page of a save does.
    const auto rounds = [&](PageRenderer::Glyphs glyphs, std::vector<double>* times) {
        for (int round = 0; round < 5; ++round) {
            QElapsedTimer timer;
            timer.start();
            QString error;
            if (!PageRenderer::RenderPageImage(editor->Document(), editor->Page(), 0, 500, 24, QStringLiteral("BMP"),
                                               base + QStringLiteral(".BMP"), &error, glyphs))
                return false;
            times->push_back(double(timer.nsecsElapsed()) / 1e6);
        }
        return true;
    };
    const auto measure = [&](const char* what) {
        std::vector<double> times, outlines;
        QElapsedTimer timer;
        timer.start();
        if (!editor->RenderPageImage(base, 0, 500, 24, QStringLiteral("BMP")))
            return false;
        const double first = double(timer.nsecsElapsed()) / 1e6;
        if (!rounds(PageRenderer::Glyphs::Rendered, &times) || !rounds(PageRenderer::Glyphs::Outlines, &outlines))
            return false;
        std::printf("  %-30s first %4.0f ms, median %4.0f ms, best %4.0f ms (target 300 ms); as outlines: median "
                    "%4.0f ms\n",
                    what, first, Median(times), *std::min_element(times.begin(), times.end()), Median(outlines));
        return true;
    };
    std::printf("RenderPageImage of page 1 at 500 dpi to a 24-bit BMP, 5 rounds:\n");

    // Both columns of the first page full of text, and a little beyond.
    QTextCursor cursor(editor->Document());
    int lines = 0;
    while (editor->View()->physicalPageCount() < 2) {
        cursor.insertText(QStringLiteral("%1. 함수 f(x) = x³ − 3x² + 2 의 극댓값과 극솟값의 합을 구하시오. "
                                         "단, 풀이 과정을 자세히 쓰시오.\n")
                              .arg(++lines));
    }
    if (!measure("two columns of text"))
        return 1;

    // A question page as writers make them: text, three tables of choices and data, two graphs.
    editor->ClearDocument(1);
    PrepareEditors({editor, nullptr, nullptr});
    QImage graph(900, 600, QImage::Format_RGB32);
    graph.fill(Qt::white);
    {
        QPainter painter(&graph);
        painter.setRenderHint(QPainter::Antialiasing);
        painter.setPen(QPen(Qt::black, 4));
        painter.drawLine(40, 560, 860, 560);
        painter.drawLine(80, 20, 80, 580);
        QPainterPath curve;
        curve.moveTo(80, 540);
        for (int x = 0; x <= 760; x += 10)
            curve.lineTo(80 + x, 540 - 0.0009 * x * x * 0.7);
        painter.drawPath(curve);
    }
    // Text goes in at the end, where the table and the picture commands then put theirs.
    const auto append = [editor](const QString& text) {
        QTextCursor end(editor->Document());
        end.movePosition(QTextCursor::End);
        end.insertText(text);
        editor->View()->setTextCursor(end);
    };
    for (int part = 0; part < 3; ++part) {
        for (int i = 1; i <= 4; ++i)
            append(QStringLiteral("%1. 다음 표를 보고 물음에 답하시오. 함수 f(x) = x² − 4x + 3 의 최솟값은?\n")
                       .arg(part * 4 + i));
        editor->InsertTable(4, 4);
        append(QStringLiteral("\n"));
        if (part < 2)
            editor->InsertPicture(graph);
        append(QStringLiteral("\n① 1  ② 2  ③ 3  ④ 4  ⑤ 5\n"));
    }
    if (!measure("three tables and two pictures"))
        return 1;

    // The page view's repaint of that page, as when the cursor blinks, with and without a caption under each of
    // its tables.
    const auto repaints = [editor] {
        std::vector<double> times;
        QImage shown(editor->View()->size(), QImage::Format_RGB32);
        editor->View()->render(&shown); // what the first paint lays out is not the repaint's
        for (int round = 0; round < 30; ++round) {
            QElapsedTimer timer;
            timer.start();
            editor->View()->render(&shown);
            times.push_back(double(timer.nsecsElapsed()) / 1e6);
        }
        return Median(times);
    };
    const double plain = repaints();
    QTextDocument captionText;
    QTextCursor(&captionText).insertText(QStringLiteral("〈표 1〉 함수 f(x)의 증가와 감소"));
    PageDecorations::Caption caption;
    caption.content = PageDecorations::Content(captionText);
    const QList<QTextTable*> tables = TableEditing::Tables(*editor->Document());
    for (QTextTable* table : tables) {
        QTextTableFormat format = table->format();
        PageDecorations::SetCaption(format, caption, 300);
        table->setFormat(format);
    }
    const double captioned = repaints();
    std::printf("Page view repaint of that page, median of 30: %.1f ms without captions, %.1f ms with a caption under "
                "each of its %lld tables\n",
                plain, captioned, static_cast<long long>(tables.size()));

    std::printf("  BMP of %lld bytes; process peak resident size %.1f MiB (%.1f MiB before rendering; target "
                "160 MiB)\n",
                static_cast<long long>(QFile(base + QStringLiteral(".BMP")).size()),
                ProcessStatusKiB("VmHWM:") / 1024.0, rssBefore / 1024.0);
    return 0;
}
