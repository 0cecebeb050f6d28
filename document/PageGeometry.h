#pragma once

#include <QRectF>
#include <QSizeF>

// The page a document is written on, in the editor's unit of 1/7200 inch: paper, margins, header and footer
// space, and columns. The text body is the paper less the margins and the header and footer lengths; it is
// cut into columns of equal width with a gap between them.
struct PageGeometry
{
    // The page of a blank document before any page setup: A4 portrait, margins of 20 mm at the top, 15 mm
    // at the bottom and 30 mm at the sides, 15 mm each for header and footer, one column.
    int paperWidth = 59528;
    int paperHeight = 84188;
    int topMargin = 5669;
    int bottomMargin = 4251;
    int leftMargin = 8503;
    int rightMargin = 8503;
    int headerLength = 4251;
    int footerLength = 4251;
    int gutter = 0;
    int columnCount = 1;
    int columnGap = 0;

    static constexpr double kUnitsPerInch = 7200.0;
    // The document is laid out in points (1/72 inch): 100 units each.
    static constexpr double kUnitsPerPoint = 100.0;

    bool isUsable() const;
    // In points.
    QSizeF paperSize() const;
    QRectF bodyRect() const;
    double columnWidth() const;
    // Left edge of column `index` of a page, in points from the paper's left edge.
    double columnLeft(int index) const;

    bool operator==(const PageGeometry&) const = default;
};
