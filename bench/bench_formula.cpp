// Formulas: parses and lays out 1,000 textbook formulas, each once (mean and 99th percentile per formula), then
// renders a page with 40 formulas at 500 dpi against the same page without them.

#include "bench/Median.h"
#include "editor/CDHwpCtrl.h"
#include "editor/EditorPreparation.h"
#include "editor/PageView.h"
#include "formula/Formula.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QTemporaryDir>
#include <QTextCursor>

#include <algorithm>
#include <cstdio>
#include <numeric>
#include <vector>

namespace {

// Templates of what a question bank writes; %1 … %3 vary so that no two formulas are the same.
const char* const kTemplates[] = {
    "x = {-%1 +- sqrt {%1^2 - 4 %2 %3}} over {2 %2}",
    "sum _{k=1} ^{%1} k ^{2} = {%1(%1+1)(2 times %1+1)} over {6}",
    "int _{0} ^{%1} (x ^{2} + %2 x) dx = {%1 ^{3}} over {3} + {%2 %1 ^{2}} over {2}",
    "lim _{x -> %1} {x ^{2} - %2} over {x - %3} = %1",
    "f(x) = LEFT | x - %1 RIGHT | + %2",
    "A = pmatrix{%1 & %2 # %3 & %1}",
    "cases{x + %1 & (x GEQ %2) # -x + %3 & (x < %2)}",
    "a _{n} = %1 + (n - 1) times %2",
    "root 3 of {%1} + sqrt {%2} = %3",
    "vec{AB} = (%1, %2), ~ LEFT | vec{AB} RIGHT | = sqrt {%1 ^{2} + %2 ^{2}}",
    "log _{%1} %2 + log _{%1} %3 = log _{%1} %2 %3",
    "sin ^{2} theta + cos ^{2} theta = %1 over %1",
    "{}_{%1} C _{%2} = {%1 !} over {%2 ! (%1 - %2) !}",
    "P(A cap B) = {%1} over {%2} times {%3} over {%2}",
    "bar{AB} = sqrt {(%1 - %2) ^{2} + (%3 - %1) ^{2}}",
    "y = %1 x ^{2} + %2 x + %3, ~ x = - {%2} over {2 times %1}",
    "therefore ~ %1 < x LEQ %2",
    "prod _{k=1} ^{%1} {k+%2} over {k} = {%1+%2} over {%2}",
    "left ( {%1} over {%2} right ) ^{%3} = {%1 ^{%3}} over {%2 ^{%3}}",
    "이차방정식 ~ x ^{2} - %1 x + %2 = 0 의 ~ 두 ~ 근의 ~ 합은 ~ %1",
};

} // namespace

int main(int argc, char* argv[])
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    std::printf("Math font: %s\n", qPrintable(formula::MathFontPath()));
    formula::Lay(QStringLiteral("x"), 10); // opens the fonts, once per process

    std::vector<QString> scripts;
    for (int i = 0; scripts.size() < 1000; ++i) {
        const QString t = QString::fromUtf8(kTemplates[i % std::size(kTemplates)]);
        scripts.push_back(QString(t)
                              .replace(QLatin1String("%1"), QString::number(i / 20 + 2))
                              .replace(QLatin1String("%2"), QString::number(i % 7 + 3))
                              .replace(QLatin1String("%3"), QString::number(i % 11 + 1)));
    }
    std::vector<double> times;
    for (const QString& script : scripts) {
        QElapsedTimer timer;
        timer.start();
        const auto layout = formula::Lay(script, 10);
        times.push_back(double(timer.nsecsElapsed()) / 1e6);
        if (!(layout->width > 0))
            return 1;
    }
    std::sort(times.begin(), times.end());
    const double mean = std::accumulate(times.begin(), times.end(), 0.0) / double(times.size());
    std::printf("Parse and lay out 1,000 formulas, each once: mean %.3f ms (target 0.2 ms), p99 %.3f ms, max %.3f ms\n",
                mean, times[times.size() * 99 / 100], times.back());

    QWidget window;
    auto* editor = new CDHwpCtrl;
    if (!editor->Create(QRect(0, 0, 1000, 800), &window, 900))
        return 1;
    QTemporaryDir dir;
    const QString base = dir.filePath(QStringLiteral("_q"));
    double first = 0;
    // A page of 40 short lines, each with (or without) a formula at its end.
    const auto page = [&](bool withFormulas) {
        editor->ClearDocument(1);
        PrepareEditors({editor, nullptr, nullptr});
        for (int i = 0; i < 40; ++i) {
            QTextCursor end(editor->Document());
            end.movePosition(QTextCursor::End);
            end.insertText(QStringLiteral("%1) 값은? ").arg(i + 1));
            editor->View()->setTextCursor(end);
            if (withFormulas)
                editor->InsertFormula(scripts[size_t(i)]);
            end.movePosition(QTextCursor::End);
            end.insertText(QStringLiteral("\n"));
        }
        // Both pages must hold all 40 lines, or the one with formulas would paint less text.
        if (editor->View()->physicalPageCount() != 1)
            return -1.0;
        std::vector<double> rounds;
        for (int round = 0; round < 5; ++round) {
            QElapsedTimer timer;
            timer.start();
            if (!editor->RenderPageImage(base, 0, 500, 24, QStringLiteral("BMP")))
                return -1.0;
            rounds.push_back(double(timer.nsecsElapsed()) / 1e6);
        }
        first = rounds.front();
        return Median(rounds);
    };
    const double plain = page(false);
    const double plainFirst = first;
    const double withFormulas = page(true);
    if (plain < 0 || withFormulas < 0)
        return 1;
    std::printf("RenderPageImage at 500 dpi, median of 5: 40 lines without formulas %.0f ms, with 40 formulas %.0f ms "
                "(%+.0f %%, target within 20 %%)\n",
                plain, withFormulas, (withFormulas / plain - 1) * 100);
    // The first round renders every glyph of the formulas; later ones find them in the glyph cache.
    std::printf("  first round: without formulas %.0f ms, with formulas %.0f ms (%+.0f %%)\n", plainFirst, first,
                (first / plainFirst - 1) * 100);
    return 0;
}
