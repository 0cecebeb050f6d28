#include "document/PageRenderer.h"

#include "core/BmpFile.h"
#include "document/PageLayout.h"
#include "document/TextGlyphs.h"

#include <QFile>
#include <QImage>
#include <QImageWriter>
#include <QPainter>
#include <QTextDocument>
#include <QThread>

#include <sys/mman.h>

#include <algorithm>
#include <cstdlib>
#include <memory>
#include <thread>
#include <vector>

namespace {

// A blank page of 32-bit pixels. At 500 dpi it is 97 MB: asked for as transparent huge pages, it costs some
// fifty page faults instead of twenty-four thousand, which on a virtual machine is most of the render time.
QImage pageCanvas(int width, int height)
{
    if (width <= 0 || height <= 0 || qint64(width) * height > (qint64(1) << 30))
        return {};
    constexpr std::size_t kHugePage = 2u << 20;
    const std::size_t bytes = std::size_t(width) * std::size_t(height) * 4;
    void* memory = nullptr;
    if (posix_memalign(&memory, kHugePage, (bytes + kHugePage - 1) / kHugePage * kHugePage) != 0)
        return {};
    madvise(memory, bytes, MADV_HUGEPAGE);
    QImage image(static_cast<uchar*>(memory), width, height, width * 4, QImage::Format_RGB32, free, memory);
    return image;
}

void paintBands(QImage& image, QTextDocument* document, const PageGeometry& page, int dpi, int index,
                PageRenderer::Glyphs glyphs)
{
    // Horizontal bands are painted in parallel, each from its own copy of the document, since a document and its
    // layout belong to one thread at a time. With rendered glyphs every band paints a copy whose text the layout
    // does not draw (TextGlyphs), the first band included; with outlines the first band paints the document.
    const bool rendered = glyphs == PageRenderer::Glyphs::Rendered;
    const int bands = std::clamp(QThread::idealThreadCount(), 1, 4);
    const int bandHeight = (image.height() + bands - 1) / bands;
    auto paintBand = [&image, &page, dpi, index, bandHeight, rendered](QTextDocument* painted, int band) {
        const int top = band * bandHeight;
        const int height = std::min(bandHeight, image.height() - top);
        if (height <= 0)
            return;
        QImage strip(image.scanLine(top), image.width(), height, image.bytesPerLine(), image.format());
        QPainter painter(&strip);
        painter.setRenderHint(QPainter::Antialiasing);
        painter.setRenderHint(QPainter::TextAntialiasing);
        painter.translate(0, -top);
        const double scale = dpi / 72.0;
        painter.scale(scale, scale);
        // A line that straddles two bands is drawn by both, each keeping its own half.
        const QRectF area(0, top / scale - 1, page.paperSize().width(), height / scale + 2);
        PageLayout::PaintPage(&painter, painted, page, index, {}, area);
    };
    std::vector<std::unique_ptr<QTextDocument>> copies;
    std::vector<std::thread> threads;
    for (int band = rendered ? 0 : 1; band < bands; ++band) {
        copies.emplace_back(document->clone());
        QTextDocument* copy = copies.back().get();
        // Before the layout is made: hidden afterwards, every line would be laid out again.
        if (rendered)
            TextGlyphs::HideText(copy);
        PageLayout::Prepare(copy, page);
        if (band > 0)
            threads.emplace_back([&paintBand, copy, band] { paintBand(copy, band); });
    }
    paintBand(rendered ? copies.front().get() : document, 0);
    for (std::thread& thread : threads)
        thread.join();
}

} // namespace

bool PageRenderer::RenderPageImage(QTextDocument* document, const PageGeometry& page, int index, int dpi, int depth,
                                   const QString& format, const QString& path, QString* error, Glyphs glyphs)
{
    const QString upper = format.toUpper();
    if ((upper != QLatin1String("BMP") && upper != QLatin1String("PNG")) || dpi < 1 || dpi > 2400 || index < 0 ||
        index >= PageLayout::PageStarts(document, page).size()) {
        *error = QStringLiteral("There is no such page or image format.");
        return false;
    }
    QImage::Format pixelFormat;
    switch (depth) {
    case 1:
        pixelFormat = QImage::Format_Mono;
        break;
    case 8:
        pixelFormat = QImage::Format_Grayscale8;
        break;
    case 24:
        pixelFormat = QImage::Format_RGB888;
        break;
    case 32:
        pixelFormat = QImage::Format_RGB32;
        break;
    default:
        *error = QStringLiteral("Unsupported colour depth %1.").arg(depth);
        return false;
    }
    const QSizeF inches = QSizeF(page.paperWidth, page.paperHeight) / PageGeometry::kUnitsPerInch;
    // The raster engine paints fastest on 32-bit pixels; the file gets the depth asked for.
    QImage image = pageCanvas(qRound(inches.width() * dpi), qRound(inches.height() * dpi));
    if (image.isNull()) {
        *error = QStringLiteral("Out of memory for the page image.");
        return false;
    }
    image.fill(Qt::white);
    const int dotsPerMeter = qRound(dpi / 0.0254);
    image.setDotsPerMeterX(dotsPerMeter);
    image.setDotsPerMeterY(dotsPerMeter);
    paintBands(image, document, page, dpi, index, glyphs);
    if (upper == QLatin1String("BMP") && depth == 24) {
        // Straight from the 32-bit pixels: Qt's writer converts the whole page twice first.
        BmpLayout layout;
        layout.width = image.width();
        layout.height = image.height();
        layout.dotsPerMeter = dotsPerMeter;
        return WriteBmp(
            path, layout,
            // The width outside the loop: QImage::width() is not inlined, and the loop runs for every pixel.
            [&image, width = image.width()](int y, unsigned char* out) {
                const auto* in = reinterpret_cast<const QRgb*>(image.constScanLine(y));
                for (int x = 0; x < width; ++x) {
                    out[3 * x] = uchar(qBlue(in[x]));
                    out[3 * x + 1] = uchar(qGreen(in[x]));
                    out[3 * x + 2] = uchar(qRed(in[x]));
                }
            },
            error);
    }
    if (pixelFormat != QImage::Format_RGB32)
        image = image.convertToFormat(pixelFormat);
    QImageWriter writer(path, upper.toLatin1());
    if (writer.write(image))
        return true;
    *error = writer.errorString();
    QFile::remove(path);
    return false;
}
