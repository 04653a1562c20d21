#include "platform/attributed/Font.h"

#include <array>

namespace velkin {

namespace {

struct FamilyNames {
    std::array<std::string, 3> names{"DejaVu Sans", "DejaVu Serif", "DejaVu Sans Mono"};
};

const FamilyNames& familyNames()
{
    static const FamilyNames names;
    return names;
}

} // namespace

const std::string& Font::familyName() const
{
    return familyNames().names[size_t(family)];
}

} // namespace velkin
