// Renders the program's SVG icon into the bitmap sizes that menus and panels without an SVG loader ask for.
//
//   vellorin-render-icon ICON.svg OUTPUT_FOLDER SIZE...
// writes OUTPUT_FOLDER/SIZExSIZE/apps/<name of ICON>.png for each size, as the hicolor theme lays them out.

#include <QDir>
#include <QFileInfo>
#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <QSvgRenderer>

#include <cstdio>

int main(int argc, char* argv[])
{
    QGuiApplication app(argc, argv);
    const QStringList arguments = QCoreApplication::arguments();
    if (arguments.size() < 4) {
        std::fprintf(stderr, "usage: vellorin-render-icon ICON.svg OUTPUT_FOLDER SIZE...\n");
        return 2;
    }
    QSvgRenderer svg(arguments.at(1));
    if (!svg.isValid()) {
        std::fprintf(stderr, "vellorin-render-icon: cannot read %s\n", qPrintable(arguments.at(1)));
        return 1;
    }
    const QString name = QFileInfo(arguments.at(1)).completeBaseName() + QStringLiteral(".png");
    for (const QString& sizeText : arguments.mid(3)) {
        const int size = sizeText.toInt();
        if (size <= 0 || size > 1024) {
            std::fprintf(stderr, "vellorin-render-icon: bad size %s\n", qPrintable(sizeText));
            return 2;
        }
        QImage image(size, size, QImage::Format_ARGB32_Premultiplied);
        image.fill(Qt::transparent);
        QPainter painter(&image);
        painter.setRenderHint(QPainter::Antialiasing);
        svg.render(&painter);
        painter.end();
        const QString folder = QStringLiteral("%1/%2x%2/apps").arg(arguments.at(2)).arg(size);
        if (!QDir().mkpath(folder) || !image.save(folder + u'/' + name)) {
            std::fprintf(stderr, "vellorin-render-icon: cannot write into %s\n", qPrintable(folder));
            return 1;
        }
    }
    return 0;
}
