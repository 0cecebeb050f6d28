#pragma once

#include "core/BmpFile.h"

#include <QByteArray>
#include <QColor>
#include <QFile>
#include <QString>
#include <QTemporaryFile>

#include <functional>

// A bitmap of pixels given by a function, written by the program's own writer: the renderer's layout (24-bit,
// bottom-up) by default, or the other layouts a reader must cope with.
struct BmpFile
{
    int width = 0;
    int height = 0;
    int bitsPerPixel = 24;
    bool topDown = false;
    std::function<QColor(int x, int y)> pixel = [](int, int) { return QColor(255, 255, 255); };

    bool write(const QString& path) const
    {
        BmpLayout layout;
        layout.width = width;
        layout.height = height;
        layout.bitsPerPixel = bitsPerPixel;
        layout.topDown = topDown;
        layout.dotsPerMeter = 19685;
        return WriteBmp(path, layout, [this](int y, unsigned char* bgr) {
            for (int x = 0; x < width; ++x) {
                const QColor c = pixel(x, y);
                bgr[3 * x] = uchar(c.blue());
                bgr[3 * x + 1] = uchar(c.green());
                bgr[3 * x + 2] = uchar(c.red());
            }
        });
    }

    QByteArray bytes() const
    {
        QTemporaryFile file;
        if (!file.open() || !write(file.fileName()))
            return {};
        return file.readAll();
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
