// Trim and PNG conversion of a page rendered at 500 dpi (4134 x 5846, 24-bit BMP, 72.5 MB) with two short
// lines of text near the top, as a question has; beside ImageMagick doing the same when it is installed.

#include "bench/Median.h"
#include "workflow/PageImage.h"

#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QFont>
#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>
#include <vector>

namespace {

} // namespace

int main(int argc, char* argv[])
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);

    QTemporaryDir dir;
    const QString master = dir.filePath(QStringLiteral("master.bmp"));
    {
        QImage page(4134, 5846, QImage::Format_RGB888);
        page.fill(Qt::white);
        QPainter painter(&page);
        QFont font(QStringLiteral("NanumGothic"));
        font.setPixelSize(69); // 10 points at 500 dpi
        painter.setFont(font);
        painter.setPen(Qt::black);
        painter.drawText(344, 420, QStringLiteral("21. 함수 f(x) = x³ − 3x² + 2 의 극댓값과 극솟값의 합을 구하시오."));
        painter.drawText(344, 520, QStringLiteral("① 1    ② 2    ③ 3    ④ 4    ⑤ 5"));
        painter.end();
        if (!page.save(master, "BMP")) {
            std::fprintf(stderr, "cannot write the page\n");
            return 1;
        }
    }
    std::printf("page: %lld bytes, 4134 x 5846\n", static_cast<long long>(QFileInfo(master).size()));

    const QString work = dir.filePath(QStringLiteral("_q.BMP"));
    std::vector<double> ours, trims, conversions;
    QSize trimmed;
    for (int round = 0; round < 7; ++round) {
        QFile::remove(work);
        QFile::copy(master, work);
        QElapsedTimer timer;
        timer.start();
        const bool content = TrimPageImage(work);
        trims.push_back(double(timer.nsecsElapsed()) / 1e6);
        QString png;
        QString error;
        const bool converted = content && ConvertPageImageToPng(work, png, &error);
        ours.push_back(double(timer.nsecsElapsed()) / 1e6);
        conversions.push_back(ours.back() - trims.back());
        if (!converted) {
            std::fprintf(stderr, "trim or conversion failed: %s\n", qPrintable(error));
            return 1;
        }
        trimmed = QImage(png).size();
    }
    std::printf("TrimPageImage + ConvertPageImageToPng: median %.1f ms, best %.1f ms over %zu rounds (PNG %d x %d)\n",
                Median(ours), *std::min_element(ours.begin(), ours.end()), ours.size(), trimmed.width(),
                trimmed.height());
    std::printf("  of which the trim %.1f ms, the conversion %.1f ms (medians)\n", Median(trims), Median(conversions));

    QString convert = QStringLiteral("/usr/bin/convert");
    if (!QFileInfo(convert).isExecutable())
        convert = QStandardPaths::findExecutable(QStringLiteral("convert"));
    if (convert.isEmpty()) {
        std::printf("ImageMagick is not installed: no comparison\n");
        return 0;
    }
    std::vector<double> theirs;
    for (int round = 0; round < 3; ++round) {
        const QString out = dir.filePath(QStringLiteral("magick.png"));
        QElapsedTimer timer;
        timer.start();
        QProcess::execute(convert,
                          {master, QStringLiteral("-trim"), QStringLiteral("+repage"), QStringLiteral("-bordercolor"),
                           QStringLiteral("white"), QStringLiteral("-border"), QStringLiteral("1"), out});
        theirs.push_back(double(timer.nsecsElapsed()) / 1e6);
    }
    std::printf("ImageMagick convert -trim +repage -bordercolor white -border 1: median %.1f ms (PNG %d x %d)\n",
                Median(theirs), QImage(dir.filePath(QStringLiteral("magick.png"))).width(),
                QImage(dir.filePath(QStringLiteral("magick.png"))).height());
    std::printf("ratio: %.1f times faster (target at least 20)\n", Median(theirs) / Median(ours));
    return 0;
}
