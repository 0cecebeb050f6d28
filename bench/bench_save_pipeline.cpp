// A whole save of three filled pages (text, a table, a picture) from the main window, against the local
// server in a child process: the time of every stage of the progress window and the total, median of 5.

#include "bench/LoggedInWindow.h"
#include "bench/Median.h"
#include "bench/ServerProcess.h"
#include "editor/CDHwpCtrl.h"
#include "net/Communicator.h"
#include "options/OptPanel.h"
#include "ui/dialogs/MessageBox.h"
#include "ui/main/CTarvixDlg.h"
#include "ui/main/CLoadingDlg.h"

#include <QApplication>
#include <QComboBox>
#include <QElapsedTimer>
#include <QImage>
#include <QPainter>
#include <QSettings>
#include <QTemporaryDir>
#include <QTest>
#include <QTextCursor>

#include <algorithm>
#include <cstdio>
#include <map>
#include <vector>

namespace {

void fill(CDHwpCtrl* editor, const QString& title)
{
    QTextCursor cursor(editor->Document());
    cursor.insertText(title + QStringLiteral("\n"));
    for (int i = 1; i <= 12; ++i)
        cursor.insertText(QStringLiteral("%1. 함수 f(x) = x³ − 3x² + 2 의 극댓값과 극솟값의 합을 구하시오.\n").arg(i));
    editor->InsertTable(3, 4);
    QImage graph(480, 320, QImage::Format_RGB32);
    graph.fill(Qt::white);
    QPainter painter(&graph);
    painter.setPen(QPen(Qt::black, 3));
    painter.drawLine(20, 300, 460, 300);
    painter.drawLine(40, 20, 40, 310);
    for (int x = 0; x < 420; x += 4)
        painter.drawPoint(40 + x, 280 - (x * x) / 700);
    painter.end();
    editor->InsertPicture(graph);
}

} // namespace

int main(int argc, char* argv[])
{
    QTemporaryDir dir;
    // Before any thread of this process starts.
    QuestionBankProcess server;
    if (!server.IsRunning())
        return 1;
    qputenv("QT_QPA_PLATFORM", "offscreen");
    qputenv("VELLORIN_UNATTENDED", "yes"); // overwrite the stored question after the first round
    QApplication app(argc, argv);

    QSettings settings(dir.filePath(QStringLiteral("Vellorin.conf")), QSettings::IniFormat);
    CTarvixDlg window(BenchWindowSetup(settings, dir.path(), server.BaseUrl()));
    if (!StartLoggedIn(window))
        return 1;
    fill(window.Editor(DocumentSlot::Question), QStringLiteral("문제"));
    fill(window.Editor(DocumentSlot::Answer), QStringLiteral("정답"));
    fill(window.Editor(DocumentSlot::Explanation), QStringLiteral("해설"));

    // Time from one progress position to the next; the last stage ends when the save does.
    QElapsedTimer clock;
    std::map<int, std::vector<double>> stageTimes; // by the position that starts the stage
    std::vector<double> totals;
    int stage = -1;
    qint64 stageStart = 0;
    QObject::connect(window.ProgressDialog(), &CLoadingDlg::progressPosChanged, [&](int position) {
        const qint64 now = clock.nsecsElapsed();
        if (stage >= 0)
            stageTimes[stage].push_back(double(now - stageStart) / 1e6);
        stage = position;
        stageStart = now;
    });
    for (int round = 0; round < 5; ++round) {
        stage = -1;
        clock.start();
        window.OnSave();
        if (!QTest::qWaitFor([&] { return !window.IsSaveRunning(); }, 120000))
            return 1;
        const qint64 end = clock.nsecsElapsed();
        if (stage < 0)
            return 1;
        stageTimes[stage].push_back(double(end - stageStart) / 1e6);
        totals.push_back(double(end) / 1e6);
    }

    const std::map<int, const char*> names = {
        {0, "duplicate check"},  {10, "render page images"},  {20, "save documents"},
        {30, "trim question"},   {40, "trim answer"},         {50, "trim explanation"},
        {60, "question to PNG"}, {70, "answer to PNG"},       {80, "explanation to PNG"},
        {90, "upload"},          {100, "confirmation pause"},
    };
    std::printf("Save of three filled pages (text, a table, a picture) against the local server, median of %zu:\n",
                totals.size());
    for (const auto& [position, times] : stageTimes)
        std::printf("  %3d %-20s %7.0f ms\n", position, names.count(position) ? names.at(position) : "?",
                    Median(times));
    const double pause = Median(stageTimes[100]);
    std::printf("  total %.0f ms, %.0f ms without the 500 ms confirmation pause (target 1500 ms)\n", Median(totals),
                Median(totals) - pause);

    window.close();
    return 0;
}
