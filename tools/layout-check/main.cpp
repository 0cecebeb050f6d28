// layout-check FILE.hwp…: how the editor lays out each document against the word processor's own line records.
// Exit status 1 when a file falls short of a target.

#include "tools/layout-check/LayoutCheck.h"

#include <QApplication>
#include <QTextStream>

int main(int argc, char* argv[])
{
    // Only the layout is needed, never a window.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication application(argc, argv);
    QTextStream out(stdout);
    const QStringList files = application.arguments().mid(1);
    if (files.isEmpty() || files.first() == QLatin1String("--help")) {
        out << "usage: layout-check FILE.hwp...\n"
               "Lays each HWP 5.0 document out as the editor does and compares it with the line records the word\n"
               "processor stored in it: pages, lines per paragraph, line pitch, distance between paragraphs, table\n"
               "widths, row heights, lines outside their column and vertical positions.\n";
        return files.isEmpty() ? 2 : 0;
    }
    bool allMet = true;
    for (const QString& file : files) {
        const LayoutCheck::Figures figures = LayoutCheck::Measure(file);
        out << LayoutCheck::Report(figures) << '\n';
        for (const QString& shortfall : LayoutCheck::Shortfalls(figures))
            out << "  short of target: " << shortfall << '\n';
        allMet = allMet && LayoutCheck::Shortfalls(figures).isEmpty();
    }
    return allMet ? 0 : 1;
}
