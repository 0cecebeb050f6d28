#pragma once

// Post-processing of the page images that the editors render: cut the white margins down to a one-pixel
// white frame around the content, tell whether there is any content at all, and convert to PNG.

#include "workflow/WorkerThreads.h"

#include <QString>

class PageRaster;

enum MarginSide
{
    MarginLeft = 0,
    MarginTop = 1,
    MarginRight = 2,
    MarginBottom = 3,
};

// One margin scan: the page (shared, read only), where the result goes, and which side to scan.
struct ScanRecord
{
    const PageRaster* pImage = nullptr;
    int* pResult = nullptr;
    int nSide = MarginLeft;
};

// Computes one side's result. A pixel is white only when all three samples are 255.
//   left:   the largest x such that columns 0..x are all white
//   top:    the largest y such that rows 0..y are all white
//   right:  the smallest x such that columns x..W-1 are all white
//   bottom: the smallest y such that rows y..H-1 are all white
// A side whose outermost line is not white keeps 0.
void ScanWhiteMargin(ScanRecord* pRecord);

// Trims the bitmap in place to its content plus a one-pixel white frame. The four sides are scanned on four
// threads. True: content found and the file now holds the trimmed image. False: the file cannot be read, it
// has no content (or content on an outermost line), or the trimmed image cannot be written; the file is
// then left as it was.
bool TrimPageImage(const QString& strBitmapPath, const ThreadStarter& starter = DefaultThreadStarter());

// The PNG beside a bitmap: same folder and base name, extension ".png".
QString PngPathFor(const QString& strBitmapPath);

// How the PNG writer compresses: zlib's level (0 to 9) and the row filters libpng may choose among (a mask of
// its PNG_FILTER_ bits). The pixels are the same whatever is chosen; only the time and the size differ.
struct PngSettings
{
    int zlibLevel = 0;
    int rowFilters = 0;
};

// What ConvertPageImageToPng uses.
PngSettings DefaultPngSettings();

// Writes the bitmap as PNG to pngPath with the given settings and leaves the bitmap alone; the plain write,
// for measuring settings against one another. False with *error set when the bitmap cannot be read or the
// PNG cannot be written.
bool WritePageImagePng(const QString& bitmapPath, const QString& pngPath, const PngSettings& settings, QString* error);

// Writes the bitmap as PNG beside it and deletes the bitmap. True: strPngPath holds the PNG's path. False:
// strPngPath is unchanged, the bitmap stays, no PNG is left at the target, and *pstrError (when given)
// says why.
bool ConvertPageImageToPng(const QString& strBitmapPath, QString& strPngPath, QString* pstrError = nullptr);

// A page's trim and PNG conversion worked out ahead, into working files beside the page: the bitmap and its
// PNG change only when the results are committed. The save prepares its three pages at once, on threads of
// their own, and commits them in the order of its steps, so that every file ends as trimming and converting
// one page after the other would leave it, whichever step fails.
class PreparedPageImage
{
public:
    explicit PreparedPageImage(QString strBitmapPath);
    // Removes what was prepared and not committed.
    ~PreparedPageImage();
    PreparedPageImage(const PreparedPageImage&) = delete;
    PreparedPageImage& operator=(const PreparedPageImage&) = delete;

    // Does the work; on any one thread, once, before the commits.
    void Prepare(const ThreadStarter& starter = DefaultThreadStarter());
    // TrimPageImage on the bitmap: the same result and the same file.
    bool CommitTrim();
    // ConvertPageImageToPng on the bitmap as it now is: the same result, files and message.
    bool CommitPng(QString& strPngPath, QString* pstrError = nullptr);

private:
    void discard();

    const QString m_bitmap;
    const QString m_trimmed;
    const QString m_partialPng;
    bool m_trimReady = false;
    bool m_trimCommitted = false;
    bool m_pngReady = false;
    bool m_pngOfTrim = false;
};
