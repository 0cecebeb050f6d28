#pragma once

#include "formula/Formula.h"
#include "formula/Script.h"

namespace formula {

// Lays a parsed script out at `pointSize`.
Layout Typeset(const Node& root, double pointSize);

} // namespace formula
