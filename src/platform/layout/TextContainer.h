#pragma once
// The area text is laid out in: a width (and an optional height limit) with
// padding at both ends of every line fragment.
#include <limits>

namespace velkin {

struct TextContainer {
    double width = 400;
    double height = std::numeric_limits<double>::max();
    double lineFragmentPadding = 5;
};

} // namespace velkin
