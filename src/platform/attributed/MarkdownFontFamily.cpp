#include "platform/attributed/MarkdownFontFamily.h"

namespace velkin::FontFamily {

const char* rawValue(MarkdownFontFamily family)
{
    switch (family) {
    case MarkdownFontFamily::sansSerif: return "sansSerif";
    case MarkdownFontFamily::serif: return "serif";
    case MarkdownFontFamily::monospace: return "monospace";
    }
    return "sansSerif";
}

std::optional<MarkdownFontFamily> fromRawValue(std::string_view raw)
{
    for (MarkdownFontFamily f : allCases)
        if (raw == rawValue(f))
            return f;
    return std::nullopt;
}

const char* title(MarkdownFontFamily family)
{
    switch (family) {
    case MarkdownFontFamily::sansSerif: return "Sans-Serif";
    case MarkdownFontFamily::serif: return "Serif";
    case MarkdownFontFamily::monospace: return "Monospace";
    }
    return "Sans-Serif";
}

Font font(MarkdownFontFamily family, double size, bool bold, bool italic)
{
    FontFamilyRole role = FontFamilyRole::SansSerif;
    if (family == MarkdownFontFamily::serif)
        role = FontFamilyRole::Serif;
    else if (family == MarkdownFontFamily::monospace)
        role = FontFamilyRole::Monospace;
    // Traits are replaced, not merged: neither flag gives an upright regular font.
    return Font{role, size, bold, italic};
}

} // namespace velkin::FontFamily
