// Formula scripts from any bytes: the parser and the layout take everything, keep their depth bounded, and lay
// out in proportion to the size.

#include "formula/Formula.h"
#include "formula/Script.h"

#include "tests/fuzz/FuzzSupport.h"

#include <cmath>

namespace {

bool finite(const QRectF& r)
{
    return std::isfinite(r.x()) && std::isfinite(r.y()) && std::isfinite(r.width()) && std::isfinite(r.height());
}

bool near(double a, double b)
{
    return std::abs(a - b) <= 1e-6 * std::max(1.0, std::abs(a) + std::abs(b));
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    EnsureGuiApplication();
    const QString script = QString::fromUtf8(FuzzBytes(data, size));
    const auto tree = formula::Parse(script);
    FUZZ_CHECK(tree->depth <= formula::kMaxDepth + 4);
    (void)formula::Describe(*tree);

    const auto small = formula::Lay(script, 10);
    FUZZ_CHECK(std::isfinite(small->width) && std::isfinite(small->ascent) && std::isfinite(small->descent));
    FUZZ_CHECK(small->width >= 0 && small->ascent >= 0 && small->descent >= 0);
    for (const formula::Part& part : small->parts)
        FUZZ_CHECK(finite(part.rect) && std::isfinite(part.baseline));
    FUZZ_CHECK(finite(small->outline.boundingRect()));

    // Everything a formula measures comes from its size: twice the size, twice every measure.
    const auto large = formula::Lay(script, 20);
    FUZZ_CHECK(near(large->width, 2 * small->width) && near(large->ascent, 2 * small->ascent)
               && near(large->descent, 2 * small->descent) && large->parts.size() == small->parts.size());
    FUZZ_CHECK(formula::Lay(script, 10) == small);
    return 0;
}
