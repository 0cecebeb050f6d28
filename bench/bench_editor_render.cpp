// Renders page 0 of a full two-column page of text at 500 dpi to a 24-bit BMP, as the save does; prints
// the time and the peak memory of the process.

#include "bench/ProcessStatus.h"
#include "editor/CDHwpCtrl.h"
#include "editor/EditorPreparation.h"
#include "editor/PageView.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>
#include <QTextCursor>

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

    // Fill both columns of the first page and a little beyond.
    QTextCursor cursor(editor->Document());
    int lines = 0;
    while (editor->View()->physicalPageCount() < 2) {
        cursor.insertText(QStringLiteral("%1. 함수 f(x) = x³ − 3x² + 2 의 극댓값과 극솟값의 합을 구하시오. "
                                         "단, 풀이 과정을 자세히 쓰시오.\n")
                              .arg(++lines));
    }
    QTemporaryDir dir;
    const QString base = dir.filePath(QStringLiteral("_q"));
    const long rssBefore = ProcessStatusKiB("VmRSS:");
    std::vector<double> times;
    for (int round = 0; round < 5; ++round) {
        QElapsedTimer timer;
        timer.start();
        if (!editor->RenderPageImage(base, 0, 500, 24, QStringLiteral("BMP")))
            return 1;
        times.push_back(double(timer.nsecsElapsed()) / 1e6);
    }
    std::sort(times.begin(), times.end());
    std::printf("RenderPageImage of a full two-column page (%d paragraphs) at 500 dpi, 24-bit BMP (%lld bytes):\n",
                lines, static_cast<long long>(QFile(base + QStringLiteral(".BMP")).size()));
    std::printf("  median %.0f ms, best %.0f ms over %zu rounds (target under 500 ms)\n", times[times.size() / 2],
                times.front(), times.size());
    std::printf("  process peak resident size %.1f MiB (%.1f MiB before rendering)\n",
                ProcessStatusKiB("VmHWM:") / 1024.0, rssBefore / 1024.0);
    return 0;
}
