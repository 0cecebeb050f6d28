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
#include <csetjmp>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <png.h>

using cimg_library::CImg;

namespace {

constexpr char kCannotRead[] = "Cannot read the page image %1.";

// Renderers write 24-bit BMPs of 72 MB at 500 dpi. Anything far beyond that is not a page.
constexpr qint64 kMaxSide = 60000;

// Chosen by measuring the save's own pages (bench_save_pipeline prints the whole table): see DefaultPngSettings.
constexpr int kPngLevel = 3;
constexpr int kPngFilters = PNG_FILTER_NONE;

} // namespace

// A page as rows of 24-bit pixels in BMP byte order (blue, green, red). An uncompressed 24-bit BMP is taken
// as it lies in the file; loading it into the image library's planar layout alone would take longer than
// the whole trim. Other BMP flavours go through the library and are converted.
class PageRaster
{
public:
    ~PageRaster()
    {
        if (m_mapping)
            munmap(m_mapping, m_mappingSize);
        std::free(m_read);
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
    static std::unique_ptr<PageRaster> openUncompressed24(const QString& path);
    static std::unique_ptr<PageRaster> loadThroughLibrary(const QString& path);

    void* m_read = nullptr;
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
    if (auto raster = openUncompressed24(path))
        return raster;
    return loadThroughLibrary(path);
}

// The whole file in memory of large pages, or nothing. A page is scanned several times over (the four margins
// each read much of it): scanning memory mapped from the file costs a translation miss every 4 KiB, which on
// a virtual machine made the scans of a 500-dpi page seven times slower than in large pages, and more than
// reading the file once.
void* readInLargePages(int fd, std::size_t size)
{
    constexpr std::size_t kLargePage = 2u << 20;
    void* memory = nullptr;
    if (posix_memalign(&memory, kLargePage, (size + kLargePage - 1) / kLargePage * kLargePage) != 0)
        return nullptr;
    madvise(memory, size, MADV_HUGEPAGE);
    std::size_t done = 0;
    while (done < size) {
        const ssize_t got = ::pread(fd, static_cast<char*>(memory) + done, size - done, off_t(done));
        if (got < 0 && errno == EINTR)
            continue;
        if (got <= 0) {
            std::free(memory);
            return nullptr;
        }
        done += std::size_t(got);
    }
    return memory;
}

std::unique_ptr<PageRaster> PageRaster::openUncompressed24(const QString& path)
{
    // Pages up to this size are read; larger ones, far beyond an A3 page at 500 dpi (145 MB), are mapped, so
    // that an absurd file costs address space rather than memory.
    constexpr std::size_t kReadWhole = std::size_t(256) << 20;
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
    auto raster = std::make_unique<PageRaster>();
    if (size <= kReadWhole) {
        raster->m_read = readInLargePages(fd, size);
        ::close(fd);
        if (!raster->m_read)
            return nullptr;
    } else {
        void* mapping = mmap(nullptr, size, PROT_READ, MAP_PRIVATE | MAP_POPULATE, fd, 0);
        ::close(fd);
        if (mapping == MAP_FAILED)
            return nullptr;
        raster->m_mapping = mapping;
        raster->m_mappingSize = size;
    }
    const auto* file = static_cast<const unsigned char*>(raster->m_read ? raster->m_read : raster->m_mapping);
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

QString systemError()
{
    return QString::fromLocal8Bit(std::strerror(errno));
}

// A rectangle of a page: what a trim keeps, or the whole page.
struct Area
{
    int left = 0;
    int top = 0;
    int width = 0;
    int height = 0;
};

Area wholePage(const PageRaster& page)
{
    return {0, 0, page.width(), page.height()};
}

// The content and its one-pixel white frame, from the four margins scanned at once; nothing when the page has
// no content, has content on an outermost line, or a scan could not start.
std::optional<Area> findContent(const PageRaster& page, const ThreadStarter& starter)
{
    std::array<int, 4> results{0, 0, 0, 0};
    std::array<ScanRecord, 4> records;
    std::array<std::optional<WorkerThread>, 4> threads;
    bool allStarted = true;
    for (int side = MarginLeft; side <= MarginBottom; ++side) {
        records[side] = ScanRecord{&page, &results[side], side};
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
        return std::nullopt;

    const int left = results[MarginLeft];
    const int top = results[MarginTop];
    const int right = results[MarginRight];
    const int bottom = results[MarginBottom];
    if (left < 1 || top < 1 || right < 1 || bottom < 1)
        return std::nullopt;
    return Area{left, top, right - left + 1, bottom - top + 1};
}

bool writeTrimmed(const PageRaster& page, const Area& area, const QString& path)
{
    BmpLayout layout;
    layout.width = area.width;
    layout.height = area.height;
    layout.dotsPerMeter = page.dotsPerMeter();
    return WriteBmp(path, layout, [&page, &area](int y, unsigned char* out) {
        std::memcpy(out, page.row(area.top + y) + qint64(area.left) * 3, std::size_t(area.width) * 3);
    });
}

// A page bitmap that is replaced or deleted has just been written, and its 72 MB at 500 dpi are in the page
// cache: giving them back takes some 17 ms, in the call that drops the file's last name. Held open here, the
// file loses its name at once, and its pages go when this is closed, on a thread of its own.
class ReleasedLater
{
public:
    explicit ReleasedLater(const QString& path)
        : m_fd(::open(QFile::encodeName(path).constData(), O_RDONLY | O_CLOEXEC))
    {
    }
    ~ReleasedLater()
    {
        if (m_fd < 0)
            return;
        try {
            std::thread([fd = m_fd] { ::close(fd); }).detach();
        } catch (...) {
            ::close(m_fd);
        }
    }
    ReleasedLater(const ReleasedLater&) = delete;
    ReleasedLater& operator=(const ReleasedLater&) = delete;

private:
    const int m_fd;
};

void removePage(const QString& path)
{
    const ReleasedLater pages(path);
    QFile::remove(path);
}

bool renameFile(const QString& from, const QString& to)
{
    const ReleasedLater replaced(to);
    return std::rename(QFile::encodeName(from).constData(), QFile::encodeName(to).constData()) == 0;
}

// libpng reports a fatal error through this handler, which must not return: the message is kept and control
// goes back to the setjmp in encodePng.
struct PngFailure
{
    std::jmp_buf jump;
    char message[256] = "";
};

[[noreturn]] void pngError(png_structp png, png_const_charp message)
{
    auto* failure = static_cast<PngFailure*>(png_get_error_ptr(png));
    std::snprintf(failure->message, sizeof failure->message, "%s", message ? message : "unknown error");
    std::longjmp(failure->jump, 1);
}

void pngWarning(png_structp, png_const_charp) {}

// Hands the rows of `area` to libpng as they lie in the bitmap: no copy of the page, and libpng swaps blue and
// red itself. Only plain data lives between setjmp and longjmp, so nothing is skipped that needs destroying.
bool encodePng(const PageRaster& page, const Area& area, std::FILE* file, const PngSettings& settings,
               PngFailure& failure)
{
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, &failure, pngError, pngWarning);
    if (!png) {
        std::snprintf(failure.message, sizeof failure.message, "out of memory");
        return false;
    }
    png_infop info = png_create_info_struct(png);
    if (!info) {
        png_destroy_write_struct(&png, nullptr);
        std::snprintf(failure.message, sizeof failure.message, "out of memory");
        return false;
    }
    if (setjmp(failure.jump)) {
        png_destroy_write_struct(&png, &info);
        return false;
    }
    png_init_io(png, file);
    png_set_compression_level(png, settings.zlibLevel);
    png_set_filter(png, PNG_FILTER_TYPE_BASE, settings.rowFilters);
    png_set_IHDR(png, info, png_uint_32(area.width), png_uint_32(area.height), 8, PNG_COLOR_TYPE_RGB,
                 PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    png_write_info(png, info);
    png_set_bgr(png);
    for (int y = 0; y < area.height; ++y)
        png_write_row(png, page.row(area.top + y) + qint64(area.left) * 3);
    png_write_end(png, info);
    png_destroy_write_struct(&png, &info);
    return true;
}

// The writer goes through a stream that we open and close, so that an error from closing it is seen too:
// closing is where the last buffered bytes meet a full disk (for a small PNG, all of them). The file systems
// we run on reserve the space of every write as it is made, so a full disk shows here. The PNG is not forced
// to the disk: it is a working file, read back for the upload a moment later and made anew at every save,
// and waiting for the disk (some 20 ms, behind whatever else the file system was committing) kept nothing
// safe that the save needs.
QString writePngFile(const PageRaster& page, const Area& area, const QString& path, const PngSettings& settings)
{
    std::FILE* file = std::fopen(QFile::encodeName(path).constData(), "wbe");
    if (!file)
        return QStringLiteral("Cannot create the page image %1: %2").arg(path, systemError());
    PngFailure failure;
    if (!encodePng(page, area, file, settings, failure)) {
        std::fclose(file);
        return QStringLiteral("Cannot write the page image %1: %2").arg(path, QString::fromLocal8Bit(failure.message));
    }
    QString error;
    if (std::fflush(file) != 0 || std::ferror(file))
        error = QStringLiteral("Cannot write the page image %1: %2").arg(path, systemError());
    if (std::fclose(file) != 0 && error.isEmpty())
        error = QStringLiteral("Cannot write the page image %1: %2").arg(path, systemError());
    return error;
}

// The PNG written at `partial` (when `error` is empty) is moved to its place beside the bitmap, and the bitmap
// goes. Otherwise the PNG goes, the bitmap stays, and *pstrError says why.
bool placePng(const QString& partial, const QString& bitmap, QString error, QString& strPngPath, QString* pstrError)
{
    const QString pngPath = PngPathFor(bitmap);
    if (error.isEmpty() && !renameFile(partial, pngPath))
        error = QStringLiteral("Cannot move the page image to %1: %2").arg(pngPath, systemError());
    if (!error.isEmpty()) {
        QFile::remove(partial);
        if (pstrError)
            *pstrError = error;
        return false;
    }
    strPngPath = pngPath;
    removePage(bitmap);
    return true;
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
    const std::optional<Area> content = findContent(*page, starter);
    if (!content)
        return false;
    // Written beside and renamed over, so that a failed write never leaves half a page behind.
    const QString temporary = strBitmapPath + QStringLiteral(".trim");
    const bool written = writeTrimmed(*page, *content, temporary);
    page.reset();
    if (!written)
        return false;
    if (!renameFile(temporary, strBitmapPath)) {
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

PngSettings DefaultPngSettings()
{
    return {kPngLevel, kPngFilters};
}

bool WritePageImagePng(const QString& bitmapPath, const QString& pngPath, const PngSettings& settings, QString* error)
{
    const std::unique_ptr<PageRaster> page = PageRaster::Load(bitmapPath);
    if (!page) {
        *error = QString::fromLatin1(kCannotRead).arg(bitmapPath);
        return false;
    }
    *error = writePngFile(*page, wholePage(*page), pngPath, settings);
    return error->isEmpty();
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
    return placePng(partial, strBitmapPath, writePngFile(*page, wholePage(*page), partial, DefaultPngSettings()),
                    strPngPath, pstrError);
}

PreparedPageImage::PreparedPageImage(QString strBitmapPath)
    : m_bitmap(std::move(strBitmapPath)), m_trimmed(m_bitmap + QStringLiteral(".trim")),
      m_partialPng(PngPathFor(m_bitmap) + QStringLiteral(".part"))
{
}

PreparedPageImage::~PreparedPageImage()
{
    discard();
}

void PreparedPageImage::discard()
{
    if (m_trimReady)
        QFile::remove(m_trimmed);
    if (m_pngReady)
        QFile::remove(m_partialPng);
    m_trimReady = false;
    m_pngReady = false;
}

void PreparedPageImage::Prepare(const ThreadStarter& starter)
{
    const std::unique_ptr<PageRaster> page = PageRaster::Load(m_bitmap);
    // An unreadable page is left to the commits, which then fail as the plain calls do.
    if (!page)
        return;
    Area area = wholePage(*page);
    if (const std::optional<Area> content = findContent(*page, starter)) {
        if (writeTrimmed(*page, *content, m_trimmed)) {
            m_trimReady = true;
            m_pngOfTrim = true;
            area = *content;
        } else {
            QFile::remove(m_trimmed);
        }
    }
    m_pngReady = writePngFile(*page, area, m_partialPng, DefaultPngSettings()).isEmpty();
    if (!m_pngReady)
        QFile::remove(m_partialPng);
}

bool PreparedPageImage::CommitTrim()
{
    if (!m_trimReady)
        return false;
    m_trimReady = false;
    if (!renameFile(m_trimmed, m_bitmap)) {
        QFile::remove(m_trimmed);
        return false;
    }
    m_trimCommitted = true;
    return true;
}

bool PreparedPageImage::CommitPng(QString& strPngPath, QString* pstrError)
{
    // The PNG made ahead shows the page as it would now be read only when the trim went as expected; in any
    // other case, a failure included, the plain conversion does the work again and says what went wrong.
    if (!m_pngReady || m_pngOfTrim != m_trimCommitted) {
        discard();
        return ConvertPageImageToPng(m_bitmap, strPngPath, pstrError);
    }
    m_pngReady = false;
    const QString pngPath = PngPathFor(m_bitmap);
    QString error;
    if (QFileInfo::exists(pngPath) && !QFile::remove(pngPath))
        error = QStringLiteral("Cannot replace the old page image %1.").arg(pngPath);
    return placePng(m_partialPng, m_bitmap, error, strPngPath, pstrError);
}
