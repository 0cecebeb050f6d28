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
#include "workflow/PageImage.h"

#include <QApplication>
#include <QComboBox>
#include <QElapsedTimer>
#include <QFileInfo>
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

#include <png.h>

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

// What the PNG settings cost and save on the three pages as the save trims them: the time to write all
// three (median of 3) and their size, for each zlib level and choice of row filters.
bool comparePngSettings(CTarvixDlg& window, const QString& folder)
{
    QStringList pages;
    for (DocumentSlot slot : kAllDocumentSlots) {
        const QString base = folder + QStringLiteral("/png-settings-%1").arg(SlotIndex(slot));
        if (!window.Editor(slot)->RenderPageImage(base, 0, 500, 24, QStringLiteral("BMP")))
            return false;
        pages.append(base + QStringLiteral(".BMP"));
        if (!TrimPageImage(pages.last()))
            return false;
    }
    const std::vector<std::pair<int, const char*>> filters = {
        {PNG_FILTER_NONE, "none"},   {PNG_FILTER_SUB, "sub"},       {PNG_FILTER_UP, "up"},
        {PNG_FILTER_PAETH, "paeth"}, {PNG_ALL_FILTERS, "adaptive"},
    };
    const PngSettings chosen = DefaultPngSettings();
    std::printf("PNG of the three trimmed pages (%s), by zlib level and row filters: time for all three (median of "
                "3), bytes\n",
                qPrintable(QStringLiteral("%1 pixels").arg([&] {
                    qint64 pixels = 0;
                    for (const QString& page : pages) {
                        const QImage image(page);
                        pixels += qint64(image.width()) * image.height();
                    }
                    return pixels;
                }())));
    for (int level : {1, 2, 3, 6, 9}) {
        for (const auto& [mask, name] : filters) {
            const PngSettings settings{level, mask};
            std::vector<double> times;
            qint64 bytes = 0;
            for (int round = 0; round < 3; ++round) {
                QElapsedTimer timer;
                timer.start();
                bytes = 0;
                for (const QString& page : pages) {
                    QString error;
                    const QString png = page + QStringLiteral(".png");
                    if (!WritePageImagePng(page, png, settings, &error))
                        return false;
                    bytes += QFileInfo(png).size();
                }
                times.push_back(double(timer.nsecsElapsed()) / 1e6);
            }
            const bool isChosen = settings.zlibLevel == chosen.zlibLevel && settings.rowFilters == chosen.rowFilters;
            const bool isBefore = level == 6 && mask == PNG_ALL_FILTERS; // the image library's default
            std::printf("  level %d, %-8s %6.0f ms %9lld bytes%s\n", level, name, Median(times),
                        static_cast<long long>(bytes),
                        isChosen   ? "  (chosen)"
                        : isBefore ? "  (before)"
                                   : "");
        }
    }
    return true;
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
        qint64 end = 0;
        if (!RunUntilSaveEnds(window, [&] { end = clock.nsecsElapsed(); }))
            return 1;
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
    // The three pages are trimmed and converted at once, so the stages from 30 to 80 are one span of work.
    double pageWork = 0;
    for (int position = 30; position <= 80; position += 10)
        pageWork += stageTimes.count(position) ? Median(stageTimes[position]) : 0;
    std::printf("  30 to 80, trims and PNG conversions of the three pages together: %.0f ms (target 300 ms)\n",
                pageWork);
    const double pause = Median(stageTimes[100]);
    std::printf("  total %.0f ms, %.0f ms without the 500 ms confirmation pause (target 1500 ms)\n", Median(totals),
                Median(totals) - pause);

    if (!comparePngSettings(window, dir.path()))
        return 1;
    window.close();
    return 0;
}
