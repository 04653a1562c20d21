#pragma once
// A symbol image as an icon for buttons and menus: drawn afresh at every size
// and pixel ratio, in the palette's text colour (dimmed when disabled).
#include <QIcon>

#include <string_view>

namespace velkin::SymbolIcon {

// The icon of a symbol; an empty icon for an unknown name.
QIcon make(std::string_view name);

} // namespace velkin::SymbolIcon
