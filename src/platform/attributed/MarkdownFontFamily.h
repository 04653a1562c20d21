#pragma once
// The typeface family a document window shows its text in.
#include "platform/attributed/Font.h"

#include <array>
#include <optional>
#include <string>
#include <string_view>

namespace velkin {

enum class MarkdownFontFamily { sansSerif, serif, monospace };

namespace FontFamily {

inline constexpr std::array<MarkdownFontFamily, 3> allCases{MarkdownFontFamily::sansSerif, MarkdownFontFamily::serif,
                                                            MarkdownFontFamily::monospace};
// "sansSerif", "serif", "monospace": what a window's settings keep.
const char* rawValue(MarkdownFontFamily family);
inline const char* id(MarkdownFontFamily family) { return rawValue(family); }
// The exact raw value (letter case included), else nothing.
std::optional<MarkdownFontFamily> fromRawValue(std::string_view raw);
// "Sans-Serif", "Serif", "Monospace": shown as it is in the View menu.
const char* title(MarkdownFontFamily family);
// The family's font at exactly `size` with exactly the traits asked for.
Font font(MarkdownFontFamily family, double size, bool bold, bool italic);

} // namespace FontFamily

} // namespace velkin
