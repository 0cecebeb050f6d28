// Renders equation scripts, one per line of a text file, into one page image: the README's example and a quick
// way to look at what the engine makes of a set of scripts.
//
//   vellorin-formula-sheet SCRIPTS.txt OUT.png [DPI]

#include "formula/Formula.h"

#include <QFile>
#include <QFont>
#include <QGuiApplication>
#include <QImage>
#include <QPainter>

#include <cstdio>

int main(int argc, char* argv[])
{
    if (argc < 3) {
        std::fprintf(stderr, "usage: %s SCRIPTS.txt OUT.png [DPI]\n", argv[0]);
        return 2;
    }
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    QFile file(QString::fromLocal8Bit(argv[1]));
    if (!file.open(QIODevice::ReadOnly)) {
        std::fprintf(stderr, "%s: %s\n", argv[1], qPrintable(file.errorString()));
        return 1;
    }
    const QStringList scripts = QString::fromUtf8(file.readAll()).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    const double dpi = argc > 3 ? std::atof(argv[3]) : 150;
    const double scale = dpi / 72.0;
    const double size = 11, margin = 24, gap = 10, labelWidth = 28;

    std::vector<std::shared_ptr<const formula::Layout>> layouts;
    double width = 0, height = margin;
    for (const QString& script : scripts) {
        layouts.push_back(formula::Lay(script, size));
        width = std::max(width, layouts.back()->width);
        height += layouts.back()->ascent + layouts.back()->descent + gap;
    }
    height += margin - gap;
    QImage page(int((width + labelWidth + 2 * margin) * scale), int(height * scale), QImage::Format_RGB32);
    page.fill(Qt::white);
    QPainter painter(&page);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.scale(scale, scale);
    QFont label(QStringLiteral("NanumGothic"));
    label.setPointSizeF(8);
    painter.setFont(label);
    double y = margin;
    for (size_t i = 0; i < layouts.size(); ++i) {
        y += layouts[i]->ascent;
        painter.setPen(Qt::gray);
        painter.drawText(QPointF(margin, y), QStringLiteral("(%1)").arg(i + 1));
        layouts[i]->paint(&painter, QPointF(margin + labelWidth, y), Qt::black);
        y += layouts[i]->descent + gap;
    }
    painter.end();
    if (!page.save(QString::fromLocal8Bit(argv[2]))) {
        std::fprintf(stderr, "%s: cannot write\n", argv[2]);
        return 1;
    }
    std::printf("%lld formulas, math font %s\n", qlonglong(layouts.size()), qPrintable(formula::MathFontPath()));
    return 0;
}
