// layout-check [--pictures DIR] FILE.hwp…: how the editor lays out each document against the word processor's
// own line records. Exit status 1 when a file falls short of a target. With --pictures, each file's first page as
// the editor draws it and as the word processor pictured it go to DIR as NAME-ours.png and NAME-theirs.png.

#include "tools/layout-check/LayoutCheck.h"

#include <QGuiApplication>
#include <QDir>
#include <QFileInfo>
#include <QTextStream>

int main(int argc, char* argv[])
{
    // Only the layout is needed, never a window.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication application(argc, argv);
    QTextStream out(stdout);
    QStringList files = application.arguments().mid(1);
    QString pictures;
    if (files.size() >= 2 && files.first() == QLatin1String("--pictures")) {
        pictures = files.at(1);
        files = files.mid(2);
    }
    if (files.isEmpty() || files.first() == QLatin1String("--help")) {
        out << "usage: layout-check [--pictures DIR] FILE.hwp...\n"
               "Lays each HWP 5.0 document out as the editor does and compares it with the line records the word\n"
               "processor stored in it: pages, lines per paragraph, line pitch, distance between paragraphs, table\n"
               "widths, row heights, lines outside their column and vertical positions. With --pictures, writes\n"
               "each file's first page as the editor draws it and as the word processor pictured it (its preview)\n"
               "to DIR as NAME-ours.png and NAME-theirs.png.\n";
        return files.isEmpty() ? 2 : 0;
    }
    bool allMet = true;
    for (const QString& file : files) {
        const LayoutCheck::Figures figures = LayoutCheck::Measure(file);
        out << LayoutCheck::Report(figures) << '\n';
        for (const QString& shortfall : LayoutCheck::Shortfalls(figures))
            out << "  short of target: " << shortfall << '\n';
        allMet = allMet && LayoutCheck::Shortfalls(figures).isEmpty();
        if (!pictures.isEmpty()) {
            const QImage theirs = LayoutCheck::TheirFirstPage(file);
            const QString base = QDir(pictures).filePath(QFileInfo(file).completeBaseName());
            if (!theirs.isNull())
                theirs.save(base + QStringLiteral("-theirs.png"));
            LayoutCheck::OurFirstPage(file, theirs.isNull() ? 724 : theirs.width())
                .save(base + QStringLiteral("-ours.png"));
        }
    }
    return allMet ? 0 : 1;
}
