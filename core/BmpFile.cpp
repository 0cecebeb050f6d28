#include "core/BmpFile.h"

#include <QByteArray>
#include <QFile>

#include <algorithm>
#include <cstdlib>
#include <cstdint>
#include <vector>

namespace {

std::uint32_t le32(const unsigned char* p)
{
    return std::uint32_t(p[0]) | std::uint32_t(p[1]) << 8 | std::uint32_t(p[2]) << 16 | std::uint32_t(p[3]) << 24;
}

std::uint16_t le16(const unsigned char* p)
{
    return std::uint16_t(p[0] | p[1] << 8);
}

qint64 strideOf(qint64 width, int bitsPerPixel)
{
    return (width * bitsPerPixel / 8 + 3) & ~qint64(3);
}

} // namespace

std::optional<BmpLayout> ReadBmp24Layout(const unsigned char* head, std::size_t headSize, qint64 fileSize,
                                         qint64 maxSide)
{
    if (headSize < 54 || head[0] != 'B' || head[1] != 'M')
        return std::nullopt;
    const std::uint32_t offset = le32(head + 10);
    const std::uint32_t headerSize = le32(head + 14);
    const auto width = qint64(std::int32_t(le32(head + 18)));
    const auto height = qint64(std::int32_t(le32(head + 22)));
    if (headerSize < 40 || 14 + qint64(headerSize) > fileSize || le16(head + 28) != 24 || le32(head + 30) != 0)
        return std::nullopt;
    if (width <= 0 || height == 0 || width > maxSide || height > maxSide || height < -maxSide)
        return std::nullopt;
    BmpLayout layout;
    layout.width = int(width);
    layout.height = int(height < 0 ? -height : height);
    layout.topDown = height < 0;
    layout.pixelOffset = offset;
    layout.stride = strideOf(width, 24);
    layout.dotsPerMeter = std::max(0, int(std::int32_t(le32(head + 38))));
    // A truncated file is unreadable, not a page with a missing bottom.
    if (layout.pixelOffset + layout.stride * (layout.height - 1) + width * 3 > fileSize)
        return std::nullopt;
    return layout;
}

bool IsUncompressedBmp(const unsigned char* head, std::size_t headSize, qint64 fileSize, qint64 maxSide)
{
    if (headSize < 54 || head[0] != 'B' || head[1] != 'M')
        return false;
    const std::uint32_t headerSize = le32(head + 14);
    const qint64 width = std::int32_t(le32(head + 18));
    const qint64 height = std::abs(qint64(std::int32_t(le32(head + 22))));
    const int bitsPerPixel = le16(head + 28);
    const std::uint32_t compression = le32(head + 30);
    const std::uint32_t colours = le32(head + 46);
    // 40 to 124: the Windows headers from BITMAPINFOHEADER to BITMAPV5HEADER.
    if (headerSize < 40 || headerSize > 124 || width <= 0 || height <= 0 || width > maxSide || height > maxSide)
        return false;
    static constexpr int kDepths[] = {1, 4, 8, 16, 24, 32};
    if (std::find(std::begin(kDepths), std::end(kDepths), bitsPerPixel) == std::end(kDepths))
        return false;
    // 0: plain rows; 3: plain rows with colour masks.
    if (compression != 0 && compression != 3)
        return false;
    if (bitsPerPixel < 16 && colours > (1u << bitsPerPixel))
        return false;
    const qint64 stride = ((width * bitsPerPixel + 31) / 32) * 4;
    return qint64(le32(head + 10)) + stride * height <= fileSize;
}

bool WriteBmp(const QString& path, const BmpLayout& layout, const BmpRowSource& row, QString* error)
{
    const int width = layout.width;
    const int height = layout.height;
    const int bytesPerPixel = layout.bitsPerPixel / 8;
    const qint64 stride = strideOf(width, layout.bitsPerPixel);
    const qint64 pixelBytes = stride * height;
    QByteArray header(54, '\0');
    auto put = [&header](int at, quint32 value, int bytes) {
        for (int i = 0; i < bytes; ++i)
            header[at + i] = char((value >> (8 * i)) & 0xff);
    };
    header[0] = 'B';
    header[1] = 'M';
    put(2, quint32(54 + pixelBytes), 4);
    put(10, 54, 4);
    put(14, 40, 4);
    put(18, quint32(width), 4);
    put(22, quint32(layout.topDown ? -height : height), 4);
    put(26, 1, 2);
    put(28, quint32(layout.bitsPerPixel), 2);
    put(34, quint32(pixelBytes), 4);
    put(38, quint32(layout.dotsPerMeter), 4);
    put(42, quint32(layout.dotsPerMeter), 4);

    // A working file, read back at once: no need to force it to the disk as a save would.
    QFile file(path);
    auto fail = [&file, error] {
        if (error)
            *error = file.errorString();
        file.close();
        file.remove();
        return false;
    };
    // A full disk first shows as a short write without a reason; the write of the rest then fails with it.
    auto writeAll = [&file](const char* data, qint64 size) {
        while (size > 0) {
            const qint64 n = file.write(data, size);
            if (n <= 0)
                return false;
            data += n;
            size -= n;
        }
        return true;
    };
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) || !writeAll(header.constData(), header.size()))
        return fail();
    const int rowsPerBatch = int(std::max<qint64>(1, (1 << 20) / std::max<qint64>(stride, 1)));
    std::vector<unsigned char> batch(std::size_t(stride * rowsPerBatch));
    std::vector<unsigned char> bgr(std::size_t(width) * 3);
    for (int stored = 0; stored < height; stored += rowsPerBatch) {
        const int count = std::min(rowsPerBatch, height - stored);
        for (int i = 0; i < count; ++i) {
            const int y = layout.topDown ? stored + i : height - 1 - (stored + i);
            unsigned char* out = batch.data() + qint64(i) * stride;
            if (bytesPerPixel == 3) {
                row(y, out);
                continue;
            }
            row(y, bgr.data());
            for (int x = 0; x < width; ++x) {
                std::copy_n(bgr.data() + 3 * x, 3, out + bytesPerPixel * x);
                std::fill_n(out + bytesPerPixel * x + 3, bytesPerPixel - 3, 0);
            }
        }
        if (!writeAll(reinterpret_cast<const char*>(batch.data()), stride * count))
            return fail();
    }
    if (!file.flush())
        return fail();
    file.close();
    return true;
}
