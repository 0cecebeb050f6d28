#pragma once

#include <QByteArray>
#include <QColor>
#include <QFile>
#include <QString>

#include <functional>

// Writes BMP files the way the editors' renderer does (24-bit, bottom-up, rows padded to four bytes), or in
// the other layouts a reader must cope with.
struct BmpFile
{
    int width = 0;
    int height = 0;
    int bitsPerPixel = 24;
    bool topDown = false;
    std::function<QColor(int x, int y)> pixel = [](int, int) { return QColor(255, 255, 255); };

    QByteArray bytes() const
    {
        const int bytesPerPixel = bitsPerPixel / 8;
        const int stride = (width * bytesPerPixel + 3) & ~3;
        const int imageSize = stride * height;
        QByteArray out;
        auto put16 = [&](int v) { out.append(char(v & 0xff)).append(char((v >> 8) & 0xff)); };
        auto put32 = [&](qint64 v) {
            for (int i = 0; i < 4; ++i)
                out.append(char((v >> (8 * i)) & 0xff));
        };
        out.append("BM");
        put32(54 + imageSize);
        put32(0);
        put32(54);
        put32(40);
        put32(width);
        put32(topDown ? -height : height);
        put16(1);
        put16(bitsPerPixel);
        put32(0);
        put32(imageSize);
        put32(19685);
        put32(19685);
        put32(0);
        put32(0);
        for (int row = 0; row < height; ++row) {
            const int y = topDown ? row : height - 1 - row;
            QByteArray line;
            for (int x = 0; x < width; ++x) {
                const QColor c = pixel(x, y);
                line.append(char(c.blue())).append(char(c.green())).append(char(c.red()));
                if (bytesPerPixel == 4)
                    line.append(char(0));
            }
            line.append(QByteArray(stride - line.size(), '\0'));
            out.append(line);
        }
        return out;
    }

    bool write(const QString& path) const
    {
        QFile file(path);
        const QByteArray data = bytes();
        return file.open(QIODevice::WriteOnly) && file.write(data) == data.size();
    }
};

// White page with a filled rectangle [x0, x1] × [y0, y1] of one colour.
inline BmpFile PageWithBlock(int width, int height, int x0, int y0, int x1, int y1, QColor colour = QColor(0, 0, 0))
{
    BmpFile bmp;
    bmp.width = width;
    bmp.height = height;
    bmp.pixel = [=](int x, int y) { return x >= x0 && x <= x1 && y >= y0 && y <= y1 ? colour : QColor(255, 255, 255); };
    return bmp;
}
