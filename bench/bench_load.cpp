// Search and load of a stored question with three documents of about 5 MB each (a page of text with a large
// photograph-like picture) from the main window, against the local server in a child process: the whole
// command, and the server round trip, the Base64 decoding and the editors' opening on their own; median of 5.

#include "bench/LoggedInWindow.h"
#include "bench/Median.h"
#include "bench/ServerProcess.h"
#include "editor/CDHwpCtrl.h"
#include "core/Base64.h"
#include "net/Communicator.h"
#include "options/OptPanel.h"
#include "ui/main/CTarvixDlg.h"
#include "workflow/QuestionFiles.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QImage>
#include <QRandomGenerator>
#include <QSettings>
#include <QTemporaryDir>
#include <QTest>
#include <QTextCursor>

#include <algorithm>
#include <cstdio>
#include <memory>
#include <vector>

namespace {

// Noise does not compress: 1300 × 1300 pixels make a PNG of about 5 MB.
QImage photograph(quint32 seed)
{
    QImage image(1300, 1300, QImage::Format_RGB888);
    QRandomGenerator generator(seed);
    for (int y = 0; y < image.height(); ++y)
        generator.fillRange(reinterpret_cast<quint32*>(image.scanLine(y)), image.bytesPerLine() / 4);
    return image;
}

void fill(CDHwpCtrl* editor, const QString& title, quint32 seed)
{
    QTextCursor cursor(editor->Document());
    cursor.insertText(title + QStringLiteral("\n"));
    for (int i = 1; i <= 12; ++i)
        cursor.insertText(QStringLiteral("%1. 함수 f(x) = x³ − 3x² + 2 의 극댓값과 극솟값의 합을 구하시오.\n").arg(i));
    editor->InsertPicture(photograph(seed));
}

double millisecondsSince(const QElapsedTimer& timer)
{
    return double(timer.nsecsElapsed()) / 1e6;
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
    qputenv("VELLORIN_UNATTENDED", "yes");
    QApplication app(argc, argv);

    QSettings settings(dir.filePath(QStringLiteral("Vellorin.conf")), QSettings::IniFormat);
    CTarvixDlg window(BenchWindowSetup(settings, dir.path(), server.BaseUrl()));
    if (!StartLoggedIn(window))
        return 1;

    // The question is stored the way the program stores it.
    fill(window.Editor(DocumentSlot::Question), QStringLiteral("문제"), 1);
    fill(window.Editor(DocumentSlot::Answer), QStringLiteral("정답"), 2);
    fill(window.Editor(DocumentSlot::Explanation), QStringLiteral("해설"), 3);
    window.OnSave();
    if (!QTest::qWaitFor([&] { return !window.IsSaveRunning(); }, 120000))
        return 1;
    const Category category = window.CurrentCategory().value_or(Category::Education2015);
    CMapStringToString request;
    window.Panel(category)->GetFieldMap(request);

    CCommunicator reader(server.BaseUrl());
    if (!reader.StartSession() || !reader.Login(QStringLiteral("demo"), QStringLiteral("demo1234")))
        return 1;

    std::vector<double> whole, get, decode, open;
    qint64 documentBytes = 0;
    for (int round = 0; round < 5; ++round) {
        QElapsedTimer timer;
        timer.start();
        window.OnSearch();
        whole.push_back(millisecondsSince(timer));

        documentBytes = 0;
        for (DocumentSlot slot : kAllDocumentSlots) {
            const QString path = DownloadedDocumentPath(window.WorkingFolder(), slot, QStringLiteral("hwp"));
            documentBytes += QFileInfo(path).size();
            if (window.Editor(slot)->Document()->isEmpty())
                return 1;
        }

        CMapStringToString reply;
        timer.start();
        if (!reader.GetQuestion(category, &request, &reply))
            return 1;
        get.push_back(millisecondsSince(timer));

        timer.start();
        for (DocumentSlot slot : kAllDocumentSlots) {
            const QByteArray text = reply.Value(SlotFileLetter(slot) + QStringLiteral("_hwp")).toUtf8();
            std::vector<std::uint8_t> bytes(std::size_t(text.size()) + 1);
            Base64DecodeInto(text.constData(), std::size_t(text.size()), bytes.data(), bytes.size());
        }
        decode.push_back(millisecondsSince(timer));

        timer.start();
        for (DocumentSlot slot : kAllDocumentSlots)
            window.Editor(slot)->OpenDocument(
                DownloadedDocumentPath(window.WorkingFolder(), slot, QStringLiteral("hwp")), QStringLiteral("HWP"), {});
        open.push_back(millisecondsSince(timer));
    }

    std::printf("Search and load of a question with three documents (%.1f MB in all) against the local server, "
                "median of %zu:\n",
                double(documentBytes) / 1e6, whole.size());
    std::printf("  get (request, reply, JSON)   %7.0f ms\n", Median(get));
    std::printf("  Base64 decoding of the three %7.0f ms\n", Median(decode));
    std::printf("  opening in the three editors %7.0f ms\n", Median(open));
    std::printf("  whole search and load        %7.0f ms (target 500 ms)\n", Median(whole));

    window.close();
    return 0;
}
