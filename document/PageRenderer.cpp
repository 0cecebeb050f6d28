#include "document/PageRenderer.h"

#include "core/BmpFile.h"
#include "core/WorkerThread.h"
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
#include <condition_variable>
#include <cstdlib>
#include <memory>
#include <mutex>
#include <optional>
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

// Paints `strip`, the rows of the page image from `top` on, from `painted`.
void paintBand(QImage& strip, int top, QTextDocument* painted, const PageGeometry& page, int dpi, int index)
{
    QPainter painter(&strip);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setRenderHint(QPainter::TextAntialiasing);
    painter.translate(0, -top);
    const double scale = dpi / 72.0;
    painter.scale(scale, scale);
    // A line that straddles two bands is drawn by both, each keeping its own half.
    const QRectF area(0, top / scale - 1, page.paperSize().width(), strip.height() / scale + 2);
    PageLayout::PaintPage(&painter, painted, page, index, {}, area);
}

void paintBands(QImage& image, QTextDocument* document, const PageGeometry& page, int dpi, int index,
                PageRenderer::Glyphs glyphs)
{
    // Horizontal bands are painted in parallel, each from its own copy of the document, since a document and its
    // layout belong to one thread. A helper makes its copy on its own thread and lays it out, paints and deletes
    // it there: the layout of a long document starts and stops timers of the thread that owns it. The copies are
    // taken one at a time, and before this thread touches the document again, because taking one writes to the
    // document's list of cursors. With rendered glyphs every band paints a copy whose text the layout does not
    // draw (TextGlyphs), this thread's included; with outlines this thread paints the document.
    const bool rendered = glyphs == PageRenderer::Glyphs::Rendered;
    const int bands = std::clamp(QThread::idealThreadCount(), 1, 4);
    const int bandHeight = (image.height() + bands - 1) / bands;
    // The rows of each band, set apart before any helper starts: asking the image for its rows may detach it.
    uchar* const bits = image.bits();
    std::vector<QImage> strips;
    for (int top = 0; top < image.height(); top += bandHeight)
        strips.emplace_back(bits + qsizetype(top) * image.bytesPerLine(), image.width(),
                            std::min(bandHeight, image.height() - top), image.bytesPerLine(), image.format());

    std::mutex mutex;
    std::condition_variable copied;
    int copies = 0;
    const auto copyOfDocument = [&] {
        std::unique_ptr<QTextDocument> copy;
        {
            const std::lock_guard lock(mutex);
            copy.reset(document->clone());
            ++copies;
        }
        copied.notify_all();
        return copy;
    };
    // Before the layout is made: hidden afterwards, every line would be laid out again.
    const auto paintCopy = [&](std::unique_ptr<QTextDocument> copy, int band) {
        if (rendered)
            TextGlyphs::HideText(copy.get());
        PageLayout::Prepare(copy.get(), page);
        paintBand(strips[std::size_t(band)], band * bandHeight, copy.get(), page, dpi, index);
    };

    std::vector<WorkerThread> helpers;
    std::vector<int> here; // bands that got no thread of their own
    for (int band = 1; band < int(strips.size()); ++band) {
        std::optional<WorkerThread> helper =
            WorkerThread::Start([&copyOfDocument, &paintCopy, band] { paintCopy(copyOfDocument(), band); });
        if (helper)
            helpers.push_back(std::move(*helper));
        else
            here.push_back(band);
    }
    std::unique_ptr<QTextDocument> own = rendered ? copyOfDocument() : nullptr;
    {
        std::unique_lock lock(mutex);
        const int expected = int(helpers.size()) + (rendered ? 1 : 0);
        copied.wait(lock, [&] { return copies == expected; });
    }
    if (rendered)
        paintCopy(std::move(own), 0);
    else
        paintBand(strips.front(), 0, document, page, dpi, index);
    for (int band : here) {
        if (rendered)
            paintCopy(copyOfDocument(), band);
        else
            paintBand(strips[std::size_t(band)], band * bandHeight, document, page, dpi, index);
    }
    // Each helper is joined as it goes.
    helpers.clear();
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
