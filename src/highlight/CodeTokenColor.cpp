#include "highlight/CodeTokenColor.h"

namespace velkin {

namespace {

constexpr Color::RGBA rgb(uint32_t hex)
{
    return {((hex >> 16) & 0xFF) / 255.0, ((hex >> 8) & 0xFF) / 255.0, (hex & 0xFF) / 255.0, 1};
}

} // namespace

Color codeTokenColor(CodeTokenKind kind)
{
    switch (kind) {
    case CodeTokenKind::keyword: return Color::pair(rgb(0xCF222E), rgb(0xFF7B72));
    case CodeTokenKind::type: return Color::pair(rgb(0x953800), rgb(0xFFA657));
    case CodeTokenKind::string: return Color::pair(rgb(0x0A3069), rgb(0xA5D6FF));
    case CodeTokenKind::number: return Color::pair(rgb(0x0550AE), rgb(0x79C0FF));
    case CodeTokenKind::comment: return Color::pair(rgb(0x6E7781), rgb(0x8B949E));
    case CodeTokenKind::inserted: return Color::pair(rgb(0x1A7F37), rgb(0x3FB950));
    case CodeTokenKind::deleted: return Color::pair(rgb(0xCF222E), rgb(0xFF7B72));
    }
    return Color::text();
}

} // namespace velkin
