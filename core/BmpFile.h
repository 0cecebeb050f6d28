#pragma once

// Uncompressed BMP files: the page images that the editors render and the trim reads back.

#include <QString>

#include <cstddef>
#include <functional>
#include <optional>

struct BmpLayout
{
    int width = 0;
    int height = 0;
    int bitsPerPixel = 24;
    bool topDown = false;
    qint64 pixelOffset = 54;
    // Bytes from one stored row to the next: the pixels padded to four bytes.
    qint64 stride = 0;
    // The horizontal resolution; 0 when the file gives none.
    int dotsPerMeter = 0;
};

// The layout of an uncompressed 24-bit bitmap from its file's bytes (the header, or the whole mapped file) and
// the file's size; nothing when it is anything else, has a side beyond maxSide, or its rows are not all in
// the file.
std::optional<BmpLayout> ReadBmp24Layout(const unsigned char* head, std::size_t headSize, qint64 fileSize,
                                         qint64 maxSide);

// Whether the header describes uncompressed rows (or rows with colour masks) of 1 to 32 bits a pixel under one
// of the Windows headers, with sides up to maxSide, a palette that fits the depth and every row in the file.
bool IsUncompressedBmp(const unsigned char* head, std::size_t headSize, qint64 fileSize, qint64 maxSide);

// Fills one row, counted from the top, with width pixels of three bytes each: blue, green, red.
using BmpRowSource = std::function<void(int y, unsigned char* bgr)>;

// Writes an uncompressed bitmap of layout.width × layout.height with 24 or 32 bits a pixel, bottom-up unless
// layout.topDown, rows in batches of about a megabyte. On failure the file is removed and *error (when given)
// says why.
bool WriteBmp(const QString& path, const BmpLayout& layout, const BmpRowSource& row, QString* error = nullptr);
