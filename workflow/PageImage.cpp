#include "workflow/PageImage.h"

#include "core/BmpFile.h"

#include <QFile>
#include <QFileInfo>

// No display (it would pull in X11), PNG through libpng (never an outside converter), no messages of its own.
#define cimg_display 0
#define cimg_use_png
#define cimg_verbosity 0
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wold-style-cast"
#pragma GCC diagnostic ignored "-Wshadow"
#include <CImg.h>
#pragma GCC diagnostic pop

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

using cimg_library::CImg;

namespace {

constexpr char kCannotRead[] = "Cannot read the page image %1.";

// Renderers write 24-bit BMPs of 72 MB at 500 dpi. Anything far beyond that is not a page.
constexpr qint64 kMaxSide = 60000;

} // namespace

// A page as rows of 24-bit pixels in BMP byte order (blue, green, red). An uncompressed 24-bit BMP is mapped
// straight from the file; loading it into the image library's planar layout alone would take longer than
// the whole trim. Other BMP flavours go through the library and are converted.
class PageRaster
{
public:
    ~PageRaster()
    {
        if (m_mapping)
            munmap(m_mapping, m_mappingSize);
    }

    static std::unique_ptr<PageRaster> Load(const QString& path);

    int width() const { return m_width; }
    int height() const { return m_height; }
    int dotsPerMeter() const { return m_dotsPerMeter; }
    // Row y counted from the top, 3 × width bytes.
    const unsigned char* row(int y) const
    {
        const qint64 stored = m_bottomUp ? qint64(m_height) - 1 - y : y;
        return m_pixels + stored * m_stride;
    }

private:
    static std::unique_ptr<PageRaster> mapUncompressed24(const QString& path);
    static std::unique_ptr<PageRaster> loadThroughLibrary(const QString& path);

    void* m_mapping = nullptr;
    std::size_t m_mappingSize = 0;
    std::vector<unsigned char> m_owned;
    const unsigned char* m_pixels = nullptr;
    qint64 m_stride = 0;
    int m_width = 0;
    int m_height = 0;
    int m_dotsPerMeter = 0;
    bool m_bottomUp = true;
};

std::unique_ptr<PageRaster> PageRaster::Load(const QString& path)
{
    if (auto raster = mapUncompressed24(path))
        return raster;
    return loadThroughLibrary(path);
}

std::unique_ptr<PageRaster> PageRaster::mapUncompressed24(const QString& path)
{
    const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return nullptr;
    struct stat info
    {
    };
    if (fstat(fd, &info) != 0 || info.st_size < 54 || !S_ISREG(info.st_mode)) {
        ::close(fd);
        return nullptr;
    }
    const auto size = std::size_t(info.st_size);
    // The file was just written by the renderer and sits in the page cache: populate the mapping in one go.
    void* mapping = mmap(nullptr, size, PROT_READ, MAP_PRIVATE | MAP_POPULATE, fd, 0);
    ::close(fd);
    if (mapping == MAP_FAILED)
        return nullptr;

    auto raster = std::make_unique<PageRaster>();
    raster->m_mapping = mapping;
    raster->m_mappingSize = size;
    const auto* file = static_cast<const unsigned char*>(mapping);
    const std::optional<BmpLayout> layout = ReadBmp24Layout(file, size, qint64(size), kMaxSide);
    if (!layout)
        return nullptr;
    raster->m_pixels = file + layout->pixelOffset;
    raster->m_stride = layout->stride;
    raster->m_width = layout->width;
    raster->m_height = layout->height;
    raster->m_bottomUp = !layout->topDown;
    raster->m_dotsPerMeter = layout->dotsPerMeter;
    return raster;
}

// The library trusts the header's sizes (an absurd width overflows its arithmetic, an absurd palette size is
// allocated as it stands, an absurd header size overflows its offsets), knows only the Windows headers, and hands
// compressed rows to an outside converter through the shell. So only a bitmap of uncompressed rows whose header holds
// up is handed to it.
static bool plausibleBitmapHeader(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return false;
    const QByteArray head = file.read(54);
    return IsUncompressedBmp(reinterpret_cast<const unsigned char*>(head.constData()), std::size_t(head.size()),
                             file.size(), kMaxSide);
}

std::unique_ptr<PageRaster> PageRaster::loadThroughLibrary(const QString& path)
{
    if (!plausibleBitmapHeader(path))
        return nullptr;
    CImg<unsigned char> image;
    try {
        image.load_bmp(QFile::encodeName(path).constData());
    } catch (...) {
        return nullptr;
    }
    if (image.is_empty() || image.depth() != 1)
        return nullptr;
    auto raster = std::make_unique<PageRaster>();
    raster->m_width = image.width();
    raster->m_height = image.height();
    raster->m_stride = qint64(image.width()) * 3;
    raster->m_bottomUp = false;
    raster->m_owned.resize(std::size_t(raster->m_stride) * std::size_t(image.height()));
    const int channels = image.spectrum();
    for (int y = 0; y < image.height(); ++y) {
        unsigned char* out = raster->m_owned.data() + qint64(y) * raster->m_stride;
        for (int x = 0; x < image.width(); ++x) {
            // One channel is grey: the same sample in all three.
            out[3 * x + 2] = image(x, y, 0, 0);
            out[3 * x + 1] = image(x, y, 0, channels > 1 ? 1 : 0);
            out[3 * x + 0] = image(x, y, 0, channels > 2 ? 2 : 0);
        }
    }
    raster->m_pixels = raster->m_owned.data();
    return raster;
}

namespace {

// Index of the first byte in [from, to) that is not 0xFF, or `to`.
qint64 firstNotWhite(const unsigned char* row, qint64 from, qint64 to)
{
    qint64 i = from;
    // Eight bytes at a time: the margins are long runs of 0xFF.
    for (; i + 8 <= to; i += 8) {
        std::uint64_t word;
        std::memcpy(&word, row + i, 8);
        if (word != ~std::uint64_t(0))
            break;
    }
    for (; i < to; ++i) {
        if (row[i] != 0xff)
            return i;
    }
    return to;
}

// Index of the last byte in [from, to) that is not 0xFF, or from - 1.
qint64 lastNotWhite(const unsigned char* row, qint64 from, qint64 to)
{
    qint64 i = to;
    for (; i - 8 >= from; i -= 8) {
        std::uint64_t word;
        std::memcpy(&word, row + i - 8, 8);
        if (word != ~std::uint64_t(0))
            break;
    }
    for (; i > from; --i) {
        if (row[i - 1] != 0xff)
            return i - 1;
    }
    return from - 1;
}

bool rowIsWhite(const PageRaster& page, int y)
{
    const qint64 bytes = qint64(page.width()) * 3;
    return firstNotWhite(page.row(y), 0, bytes) == bytes;
}

// Columns are scanned a row at a time, so the memory is read in order; each row is only read up to the
// content found so far, which keeps the work proportional to the margin.
int scanLeft(const PageRaster& page)
{
    qint64 firstContent = page.width(); // first column with content, over all rows so far
    for (int y = 0; y < page.height() && firstContent > 0; ++y) {
        const qint64 byte = firstNotWhite(page.row(y), 0, firstContent * 3);
        firstContent = std::min(firstContent, byte / 3);
    }
    return firstContent == 0 ? 0 : int(firstContent - 1);
}

int scanRight(const PageRaster& page)
{
    const qint64 width = page.width();
    qint64 lastContent = -1;
    for (int y = 0; y < page.height() && lastContent < width - 1; ++y) {
        const qint64 byte = lastNotWhite(page.row(y), (lastContent + 1) * 3, width * 3);
        if (byte >= (lastContent + 1) * 3)
            lastContent = byte / 3;
    }
    return lastContent == width - 1 ? 0 : int(lastContent + 1);
}

int scanTop(const PageRaster& page)
{
    int result = 0;
    for (int y = 0; y < page.height() && rowIsWhite(page, y); ++y)
        result = y;
    return result;
}

int scanBottom(const PageRaster& page)
{
    int result = 0;
    for (int y = page.height() - 1; y >= 0 && rowIsWhite(page, y); --y)
        result = y;
    return result;
}

QString describe(const std::exception& e)
{
    return QString::fromLocal8Bit(e.what());
}

QString systemError()
{
    return QString::fromLocal8Bit(std::strerror(errno));
}

// The library's PNG writer goes through a stream that we open and close: when it opens the file itself, it
// ignores an error from closing it, and closing is where the last buffered bytes meet a full disk (for a
// small PNG, all of them). Throws the library's exception when the writer fails.
QString writePngFile(const CImg<unsigned char>& image, const QString& path)
{
    std::FILE* file = std::fopen(QFile::encodeName(path).constData(), "wbe");
    if (!file)
        return QStringLiteral("Cannot create the page image %1: %2").arg(path, systemError());
    try {
        image.save_png(file);
    } catch (...) {
        std::fclose(file);
        throw;
    }
    QString error;
    if (std::fflush(file) != 0 || std::ferror(file) || ::fsync(fileno(file)) != 0)
        error = QStringLiteral("Cannot write the page image %1: %2").arg(path, systemError());
    if (std::fclose(file) != 0 && error.isEmpty())
        error = QStringLiteral("Cannot write the page image %1: %2").arg(path, systemError());
    return error;
}

} // namespace

void ScanWhiteMargin(ScanRecord* pRecord)
{
    if (!pRecord || !pRecord->pImage || !pRecord->pResult)
        return;
    const PageRaster& page = *pRecord->pImage;
    switch (pRecord->nSide) {
    case MarginLeft:
        *pRecord->pResult = scanLeft(page);
        break;
    case MarginTop:
        *pRecord->pResult = scanTop(page);
        break;
    case MarginRight:
        *pRecord->pResult = scanRight(page);
        break;
    case MarginBottom:
        *pRecord->pResult = scanBottom(page);
        break;
    default:
        break;
    }
}

bool TrimPageImage(const QString& strBitmapPath, const ThreadStarter& starter)
{
    std::unique_ptr<PageRaster> page = PageRaster::Load(strBitmapPath);
    if (!page)
        return false;

    std::array<int, 4> results{0, 0, 0, 0};
    std::array<ScanRecord, 4> records;
    std::array<std::optional<std::thread>, 4> threads;
    bool allStarted = true;
    for (int side = MarginLeft; side <= MarginBottom; ++side) {
        records[side] = ScanRecord{page.get(), &results[side], side};
        threads[side] = starter([record = &records[side]] { ScanWhiteMargin(record); });
        if (!threads[side]) {
            allStarted = false;
            break;
        }
    }
    // Every scan that did start must end before its record and the page go away.
    for (auto& thread : threads) {
        if (thread && thread->joinable())
            thread->join();
    }
    if (!allStarted)
        return false;

    const int left = results[MarginLeft];
    const int top = results[MarginTop];
    const int right = results[MarginRight];
    const int bottom = results[MarginBottom];
    if (left < 1 || top < 1 || right < 1 || bottom < 1)
        return false;

    const QString temporary = strBitmapPath + QStringLiteral(".trim");
    BmpLayout layout;
    layout.width = right - left + 1;
    layout.height = bottom - top + 1;
    layout.dotsPerMeter = page->dotsPerMeter();
    // Written beside and renamed over, so that a failed write never leaves half a page behind.
    const bool written = WriteBmp(temporary, layout, [&page, left, top, &layout](int y, unsigned char* out) {
        std::memcpy(out, page->row(top + y) + qint64(left) * 3, std::size_t(layout.width) * 3);
    });
    page.reset();
    if (!written)
        return false;
    if (std::rename(QFile::encodeName(temporary).constData(), QFile::encodeName(strBitmapPath).constData()) != 0) {
        QFile::remove(temporary);
        return false;
    }
    return true;
}

QString PngPathFor(const QString& strBitmapPath)
{
    const QFileInfo info(strBitmapPath);
    const QString folder = info.path();
    const QString name = info.completeBaseName() + QStringLiteral(".png");
    return folder == QLatin1String(".") && !strBitmapPath.startsWith(QLatin1String("./")) ? name : folder + u'/' + name;
}

bool ConvertPageImageToPng(const QString& strBitmapPath, QString& strPngPath, QString* pstrError)
{
    const QString pngPath = PngPathFor(strBitmapPath);
    // A PNG left by an earlier run must never be uploaded as this run's page.
    if (QFileInfo::exists(pngPath) && !QFile::remove(pngPath)) {
        if (pstrError)
            *pstrError = QStringLiteral("Cannot replace the old page image %1.").arg(pngPath);
        return false;
    }

    const std::unique_ptr<PageRaster> page = PageRaster::Load(strBitmapPath);
    if (!page) {
        if (pstrError)
            *pstrError = QString::fromLatin1(kCannotRead).arg(strBitmapPath);
        return false;
    }
    // Written under a working name beside the target and renamed into place only once it is whole on the
    // disk: the target never holds half a page, not even when the program dies in the middle of the write.
    const QString partial = pngPath + QStringLiteral(".part");
    QString error;
    try {
        CImg<unsigned char> image(unsigned(page->width()), unsigned(page->height()), 1, 3);
        const qint64 plane = qint64(page->width()) * page->height();
        unsigned char* red = image.data();
        unsigned char* green = red + plane;
        unsigned char* blue = green + plane;
        for (int y = 0; y < page->height(); ++y) {
            const unsigned char* in = page->row(y);
            const qint64 at = qint64(y) * page->width();
            for (int x = 0; x < page->width(); ++x) {
                red[at + x] = in[3 * x + 2];
                green[at + x] = in[3 * x + 1];
                blue[at + x] = in[3 * x + 0];
            }
        }
        error = writePngFile(image, partial);
    } catch (const std::exception& e) {
        error = describe(e);
    }
    if (error.isEmpty() &&
        std::rename(QFile::encodeName(partial).constData(), QFile::encodeName(pngPath).constData()) != 0)
        error = QStringLiteral("Cannot move the page image to %1: %2").arg(pngPath, systemError());
    if (!error.isEmpty()) {
        QFile::remove(partial);
        if (pstrError)
            *pstrError = error;
        return false;
    }
    strPngPath = pngPath;
    QFile::remove(strBitmapPath);
    return true;
}
