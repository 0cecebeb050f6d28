#include "document/PageGeometry.h"

bool PageGeometry::isUsable() const
{
    // In 64 bits: the fields come from files, and their differences need not fit an int.
    const qint64 bodyWidth = qint64(paperWidth) - leftMargin - rightMargin - gutter;
    const qint64 bodyHeight = qint64(paperHeight) - topMargin - headerLength - bottomMargin - footerLength;
    return paperWidth > 0 && paperHeight > 0 && leftMargin >= 0 && rightMargin >= 0 && topMargin >= 0 &&
           bottomMargin >= 0 && headerLength >= 0 && footerLength >= 0 && gutter >= 0 && columnCount >= 1 &&
           columnCount <= 16 && columnGap >= 0 && bodyHeight >= 720 &&
           bodyWidth - qint64(columnGap) * (columnCount - 1) >= 720 * columnCount;
}

QSizeF PageGeometry::paperSize() const
{
    return QSizeF(paperWidth / kUnitsPerPoint, paperHeight / kUnitsPerPoint);
}

QRectF PageGeometry::bodyRect() const
{
    const double left = (leftMargin + gutter) / kUnitsPerPoint;
    const double top = (topMargin + headerLength) / kUnitsPerPoint;
    const double width = (paperWidth - leftMargin - rightMargin - gutter) / kUnitsPerPoint;
    const double height = (paperHeight - topMargin - headerLength - bottomMargin - footerLength) / kUnitsPerPoint;
    return QRectF(left, top, width, height);
}

double PageGeometry::columnWidth() const
{
    return (bodyRect().width() - (columnCount - 1) * columnGap / kUnitsPerPoint) / columnCount;
}

double PageGeometry::columnLeft(int index) const
{
    return bodyRect().left() + index * (columnWidth() + columnGap / kUnitsPerPoint);
}
