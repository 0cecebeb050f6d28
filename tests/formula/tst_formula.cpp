#include "formula/Formula.h"
#include "formula/Script.h"
#include "tests/support/TestFiles.h"

#include <QFile>
#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <QTest>

#include <cmath>

using formula::Part;

namespace {

Part only(const formula::Layout& layout, Part::Kind kind)
{
    const QList<Part> found = layout.partsOf(kind);
    if (found.size() != 1)
        qWarning() << "expected one part of kind" << kind << "found" << found.size();
    return found.value(0);
}

QList<Part> cells(const formula::Layout& layout, int column)
{
    QList<Part> found;
    for (const Part& p : layout.partsOf(Part::Cell))
        if (p.column == column)
            found << p;
    return found;
}

// Twenty formulas of the kind a textbook prints, each kept as a reference rendering.
const char* const kTextbook[] = {
    "x = {-b +- sqrt {b^2 - 4ac}} over {2a}",
    "(a+b) ^{2} = a ^{2} +2ab+b ^{2}",
    "sum _{k=1} ^{n} k = {n(n+1)} over {2}",
    "int _{0} ^{1} x ^{2} dx = {1} over {3}",
    "lim _{x -> 0} {sin x} over {x} =1",
    "f prime (x) = lim _{h -> 0} {f(x+h)-f(x)} over {h}",
    "A = pmatrix{1 & 2 # 3 & 4}",
    "det bmatrix{a&b#c&d} =ad-bc",
    "LEFT | x RIGHT | = cases{x & (x GEQ 0) # -x & (x<0)}",
    "log _{a} xy = log _{a} x + log _{a} y",
    "sin ^{2} theta + cos ^{2} theta =1",
    "vec{AB} + vec{BC} = vec{AC}",
    "a _{n} =a _{1} +(n-1)d",
    "root 3 of {8} =2",
    "{}_{n} C _{r} = {n!} over {r!(n-r)!}",
    "A cup B = LEFT { x | x in A ~or~ x in B RIGHT }",
    "P(A cap B) = P(A) P(B)",
    "bar{AB} = sqrt {(x _{2} -x _{1} ) ^{2} + (y _{2} -y _{1} ) ^{2}}",
    "z = a+bi, ~ LEFT | z RIGHT | = sqrt {a ^{2} +b ^{2}}",
    "이차방정식의 근 ~ x = {-b +- sqrt {b^2 - 4ac}} over {2a}",
};

// 500 dots per inch: what the page images of a save use.
// `squash` below 1 makes the vertical scale differ from the horizontal, so that glyphs are filled as outlines
// rather than taken from the cache of rendered glyphs.
QImage render(const QString& script, double pointSize = 10, int dpi = 500, double squash = 1)
{
    const auto layout = formula::Lay(script, pointSize);
    const double scale = dpi / 72.0;
    const int margin = 8;
    QImage image(int(std::ceil(layout->width * scale)) + 2 * margin,
                 int(std::ceil((layout->ascent + layout->descent) * scale)) + 2 * margin, QImage::Format_Grayscale8);
    image.fill(Qt::white);
    QPainter painter(&image);
    painter.translate(margin, margin);
    painter.scale(scale, scale * squash);
    layout->paint(&painter, QPointF(0, layout->ascent), Qt::black);
    return image;
}

// The share of pixels that differ by more than 64 levels; 1 when the sizes differ by more than 2 pixels.
double difference(const QImage& a, const QImage& b)
{
    if (std::abs(a.width() - b.width()) > 2 || std::abs(a.height() - b.height()) > 2)
        return 1;
    qint64 differing = 0;
    const int width = std::min(a.width(), b.width()), height = std::min(a.height(), b.height());
    for (int y = 0; y < height; ++y) {
        const uchar* p = a.constScanLine(y);
        const uchar* q = b.constScanLine(y);
        for (int x = 0; x < width; ++x)
            differing += std::abs(int(p[x]) - int(q[x])) > 64;
    }
    return double(differing) / (double(width) * height);
}

double ink(const QImage& image)
{
    qint64 dark = 0;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            dark += image.constScanLine(y)[x] < 128;
    return double(dark) / (double(image.width()) * image.height());
}

} // namespace

class TestFormula : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase()
    {
        // Every layout below depends on the font: say which when one differs.
        QVERIFY2(formula::MathFontError().isEmpty(), qPrintable(formula::MathFontError()));
        QVERIFY(formula::MathFontPath().endsWith(QLatin1String("DejaVuMathTeXGyre.ttf")));
    }

    // The twenty scripts of a document the word processor made, read as their authors meant them, with the words
    // real files use (TIMES, GEQ, image, TRIANGLE, LEFT | … RIGHT |, cases, pmatrix, leading blanks and `).
    void realScripts()
    {
        const QStringList scripts =
            QString::fromUtf8(ReadSample(QStringLiteral("latex-equations.txt"))).split(u'\n', Qt::SkipEmptyParts);
        const QStringList meant = {
            "E = mr^(2) = (nc^(2))/(sqrt(1 − (r^(2))/(d^(2))))",
            "Q = lim__(△ t → 0) (△ s)/(△ t) = (d^(2) s)/(dt^(2)) + 1",
            "Y = sqrt((gL)/(2 π)) = (gT)/(2 π)",
            "(a^(4))/(T^(2)) − 1 = (G)/(4 π^(2)) ( M + m )",
            "E = sqrt((GM)/(R)) , ~ (R^(3))/(T^(2)) = (GM)/(4 π^(2))",
            "∑^^(n)__(k = 1) k^(3) = (n ( n + 1 ))/(2) = ∑^^(n)__(k = 1) k",
            "vec(F) = − (4 π^(2) m)/(T^(2)) + (m)/(T^(3))",
            "bar(AB) = sqrt(( x_(2) − x_(1) )^(2) + ( y_(2) − y_(1) )^(2))",
            "(V_(2))/(V_(1)) = (0.9 × 10^(3))/(1.0 × 10^(2)) = 0.8",
            "sqrt(a + b + 2 sqrt(ab)) = sqrt(a) + sqrt(b) ( a > 0 , ~ b > 0 )",
            "(h_(1))/(h_(2)) = ( sqrt(a) )^(M_(2) − M_(1)) ≒ 2.5^(M_(2) − M_(1))",
            "h = sqrt(k^(2) − r^(2)) , M = (1)/(3) π r^(2) h",
            "∫^(b)_(a) xf ( x ) dx = (1)/(b − a) ∫^(b)_(a) xdx = (a + b)/(2)",
            "∑^^(n)__(k = 1) ( k^(4) + 1 ) − ∑^^(n)__(k = 3) ( k^(4) + 1 ) = 19",
            "∫^(1)_(0) ( sin x + (x)/(2) ) dx = ∫^(1)_(0) (1 + sin x)/(2) dx",
            "λ = (h)/(mh) = (h)/(sqrt(2 meV))",
            "U_(a) − U_(b) = (GmM)/(a) − (GmM)/(b) = (GmM)/(2 R)",
            "V = (1)/(R) ∫^(q)_(0) qdq = (1)/(2) (q^(2))/(R)",
            "( abc ) pmatrix[p; q; r] = ( ab + bq + cr )",
            "sqrt(a^(2)) = left| a right| = cases[a, ( a ≥ 0 ); − a, ( a < 0 )]",
        };
        QCOMPARE(scripts.size(), meant.size());
        for (int i = 0; i < scripts.size(); ++i) {
            QCOMPARE(formula::Describe(*formula::Parse(scripts[i])), meant[i]);
            const auto layout = formula::Lay(scripts[i], 10);
            QVERIFY(layout->width > 50 && layout->ascent > 5 && layout->descent > 0);
            // Nothing of it fell out: the ink spans the whole box.
            const QRectF ink = layout->outline.boundingRect();
            QVERIFY2(ink.width() > layout->width * 0.9, qPrintable(scripts[i]));
        }
    }

    void geometry_data()
    {
        QTest::addColumn<QString>("script");
        QTest::newRow("fraction") << "{a} over {b+c}";
        QTest::newRow("power") << "x^2";
        QTest::newRow("index and power") << "x_1^2";
        QTest::newRow("brackets") << "left ( {a} over {b} right )";
        QTest::newRow("matrix") << "matrix{1 & 22 # 333 & 4}";
        QTest::newRow("cases") << "cases{a & (a GEQ 0) # -a & (a<0)}";
        QTest::newRow("root") << "sqrt {{x^2 + 1} over {2}}";
        QTest::newRow("nth root") << "root 3 of {x+1}";
        QTest::newRow("sum") << "sum from {k=1} to n k";
        QTest::newRow("integral") << "int _0 ^1 x dx";
        QTest::newRow("vector") << "vec {AB}";
        QTest::newRow("bar") << "bar {AB}";
        QTest::newRow("korean") << "수열 ~ a _{n}";
    }

    // What a layout must show, as geometry rather than pixels.
    void geometry()
    {
        QFETCH(QString, script);
        const auto layout = formula::Lay(script, 10);
        const formula::Layout& l = *layout;
        const QString row = QString::fromLatin1(QTest::currentDataTag());
        QVERIFY(l.width > 0);
        if (row == "fraction") {
            const Part fraction = only(l, Part::Fraction), num = only(l, Part::Numerator),
                       den = only(l, Part::Denominator), bar = only(l, Part::FractionBar);
            QVERIFY(fraction.rect.height() > num.rect.height() + den.rect.height());
            QVERIFY(std::abs(bar.rect.center().y() + l.axis) < 0.01); // the bar sits on the math axis
            QVERIFY(l.axis > 1.5 && l.axis < 3.5);
            QVERIFY(num.rect.bottom() <= bar.rect.top() && den.rect.top() >= bar.rect.bottom());
            QVERIFY(bar.rect.width() >= den.rect.width());
            QVERIFY(std::abs(num.rect.center().x() - den.rect.center().x()) < 0.01);
        } else if (row == "power") {
            const Part base = only(l, Part::Base), sup = only(l, Part::Superscript);
            QVERIFY(sup.baseline < -2);                                       // above the baseline
            QVERIFY(sup.rect.height() < formula::Lay("2", 10)->ascent * 0.9); // and smaller
            QVERIFY(sup.rect.left() >= base.rect.right() - 0.01);
        } else if (row == "index and power") {
            const Part sup = only(l, Part::Superscript), sub = only(l, Part::Subscript);
            QVERIFY(sub.baseline > 0);
            QVERIFY(sup.rect.bottom() < sub.rect.top());
        } else if (row == "brackets") {
            const Part fraction = only(l, Part::Fraction);
            const QList<Part> brackets = l.partsOf(Part::Delimiter);
            QCOMPARE(brackets.size(), 2);
            for (const Part& b : brackets)
                QVERIFY(b.rect.top() <= fraction.rect.top() && b.rect.bottom() >= fraction.rect.bottom());
            QVERIFY(brackets[0].rect.right() <= fraction.rect.left() &&
                    brackets[1].rect.left() >= fraction.rect.right());
        } else if (row == "matrix") {
            for (int column : {0, 1}) {
                const QList<Part> c = cells(l, column);
                QCOMPARE(c.size(), 2);
                QVERIFY(std::abs(c[0].rect.center().x() - c[1].rect.center().x()) < 0.01); // columns are centred
            }
            QVERIFY(cells(l, 1)[0].rect.left() > cells(l, 0)[1].rect.right()); // and do not run into each other
            QCOMPARE(cells(l, 0)[0].baseline, cells(l, 1)[0].baseline);        // rows share a baseline
            QVERIFY(cells(l, 0)[1].baseline > cells(l, 0)[0].baseline);
            // The whole is centred on the axis.
            QVERIFY(std::abs((-l.ascent + l.descent) / 2 + l.axis) < 0.01);
        } else if (row == "cases") {
            const Part brace = only(l, Part::Delimiter);
            const QList<Part> values = cells(l, 0), conditions = cells(l, 1);
            QCOMPARE(values[0].rect.left(), values[1].rect.left()); // set flush left
            QCOMPARE(conditions[0].rect.left(), conditions[1].rect.left());
            QVERIFY(brace.rect.top() <= values[0].rect.top() && brace.rect.bottom() >= values[1].rect.bottom());
        } else if (row == "root") {
            const Part sign = only(l, Part::Radical), radicand = only(l, Part::Radicand);
            QVERIFY(sign.rect.height() >= radicand.rect.height());
            QVERIFY(sign.rect.top() < radicand.rect.top());
            QVERIFY(radicand.rect.left() >= sign.rect.right() - 0.01);
            QVERIFY(l.ascent > radicand.rect.height() / 2);
        } else if (row == "nth root") {
            const Part index = only(l, Part::RootIndex), radicand = only(l, Part::Radicand),
                       sign = only(l, Part::Radical);
            QVERIFY(index.rect.right() < radicand.rect.left());
            QVERIFY(index.rect.bottom() < 0 && index.rect.height() < radicand.rect.height());
            QVERIFY(index.rect.bottom() <= sign.rect.center().y());
        } else if (row == "sum") {
            const Part sign = only(l, Part::Base), upper = only(l, Part::UpperLimit), lower = only(l, Part::LowerLimit);
            QVERIFY(upper.rect.bottom() < sign.rect.top() && lower.rect.top() > sign.rect.bottom());
            QVERIFY(std::abs(lower.rect.center().x() - sign.rect.center().x()) < 0.01);
            QVERIFY(sign.rect.height() > 12); // the display size of the sign
        } else if (row == "integral") {
            const Part sign = only(l, Part::Base), sup = only(l, Part::Superscript), sub = only(l, Part::Subscript);
            QVERIFY(sup.rect.left() > sign.rect.center().x() && sub.rect.left() > sign.rect.left());
            QVERIFY(sup.baseline < sub.baseline);
        } else if (row == "vector" || row == "bar") {
            const Part base = only(l, Part::Base), mark = only(l, Part::Accent);
            QVERIFY(mark.rect.bottom() <= base.rect.top() + 0.5);
            QVERIFY(mark.rect.width() >= base.rect.width() * 0.85);
            QVERIFY(mark.rect.width() <= base.rect.width() * 1.2);
        } else if (row == "korean") {
            // Korean comes from the text face: it has ink, and takes room before the variable.
            const Part base = only(l, Part::Base);
            QVERIFY(base.rect.left() > 15);
            QVERIFY(l.outline.boundingRect().left() < 2);
        } else {
            QFAIL("no check for this row");
        }
    }

    void sizeScales()
    {
        const QString script = QStringLiteral("x = {-b +- sqrt {b^2 - 4ac}} over {2a}");
        const auto small = formula::Lay(script, 10);
        const auto large = formula::Lay(script, 20);
        QVERIFY(std::abs(large->width - 2 * small->width) < 1e-6);
        QVERIFY(std::abs(large->ascent - 2 * small->ascent) < 1e-6);
        QCOMPARE(formula::Lay(script, 10).get(), small.get()); // laid out once
    }

    // Renderings at 500 dpi against stored images: a change of layout shows, anti-aliasing does not (at most
    // 0.5 % of the pixels may differ by more than 64 levels). VELLORIN_UPDATE_REFERENCES=1 writes them anew.
    void referenceRenderings()
    {
        const bool update = qEnvironmentVariableIntValue("VELLORIN_UPDATE_REFERENCES") == 1;
        int index = 0;
        for (const char* script : kTextbook) {
            ++index;
            const QString path =
                QStringLiteral(VELLORIN_FORMULA_REFERENCES "/textbook-%1.png").arg(index, 2, 10, QLatin1Char('0'));
            const QImage image = render(QString::fromUtf8(script));
            if (update) {
                QVERIFY(image.save(path));
                continue;
            }
            const QImage reference = QImage(path).convertToFormat(QImage::Format_Grayscale8);
            QVERIFY2(!reference.isNull(), qPrintable(path));
            const double share = difference(image, reference);
            QVERIFY2(share <= 0.005, qPrintable(QString::asprintf("%s: %.2f %% of pixels differ from %dx%d", script,
                                                                  share * 100, reference.width(), reference.height())));
        }
    }

    // Glyphs from the cache of rendered glyphs land where the filled outlines do, at the page images' 500 dpi and
    // for glyphs too large to cache (a 600 pt formula at 72 dpi).
    void cachedGlyphsMatchOutlines()
    {
        for (const auto& [size, dpi] : {std::pair{10.0, 500}, std::pair{600.0, 72}}) {
            for (const char* script : {kTextbook[0], kTextbook[8], kTextbook[19]}) {
                const QImage cached = render(QString::fromUtf8(script), size, dpi);
                const QImage filled = render(QString::fromUtf8(script), size, dpi, 1 - 1e-7);
                QVERIFY(ink(cached) > 0.02);
                QVERIFY2(difference(cached, filled) <= 0.005, script);
            }
        }
    }

    void malformedScripts_data()
    {
        QTest::addColumn<QString>("script");
        QTest::newRow("10000 open braces") << QString(10000, QLatin1Char('{')) + "x";
        QTest::newRow("10000 nested groups")
            << QString(10000, QLatin1Char('{')) + "x" + QString(10000, QLatin1Char('}'));
        QTest::newRow("10000 roots") << QStringLiteral("sqrt ").repeated(10000) + "x";
        QTest::newRow("10000 lefts") << QStringLiteral("left ( ").repeated(10000) + "x";
        QTest::newRow("chained powers") << QStringLiteral("x^").repeated(100000) + "x";
        QTest::newRow("chained fractions") << QStringLiteral("a over ").repeated(100000) + "b";
        QTest::newRow("unbalanced") << "}}} {a over {b ^{c _{d";
        QTest::newRow("empty groups") << "{}{} ^{} _{} {} over {} sqrt{} root{} of{} left right matrix{} cases{&#&}";
        QTest::newRow("keywords alone") << "over sqrt root of left right from to sup sub pmatrix vec rm";
        QTest::newRow("1 MB of text") << QStringLiteral("x+1 over y ").repeated(100000);
        QTest::newRow("1 MB of signs") << QStringLiteral("<=-+#&~`\\\"'").repeated(90000);
        QTest::newRow("wide matrix") << "matrix{" + QStringLiteral("a&").repeated(20000) + "}";
    }

    // No script exhausts the stack or takes unbounded time, and what cannot be built comes out as text.
    void malformedScripts()
    {
        QFETCH(QString, script);
        const auto tree = formula::Parse(script);
        QVERIFY(tree->depth <= formula::kMaxDepth + 4);
        const auto layout = formula::Lay(script, 10);
        QVERIFY(std::isfinite(layout->width) && std::isfinite(layout->ascent) && std::isfinite(layout->descent));
        QVERIFY(layout->width >= 0 && layout->ascent >= 0 && layout->descent >= 0);
        QVERIFY(layout->outline.elementCount() < 4'000'000); // what is shown of a megabyte is bounded
        if (QByteArray(QTest::currentDataTag()) == "10000 nested groups")
            QVERIFY(formula::Describe(*tree).contains(QLatin1String("{{{{x}}}}"))); // the too-deep rest, as text
    }
};

QTEST_MAIN(TestFormula)
#include "tst_formula.moc"
