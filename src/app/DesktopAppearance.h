#pragma once
// Light or dark, as the desktop prefers. The freedesktop settings portal tells
// the preference and its changes; the application palette follows it, and every
// window restyles from its palette-change event without being reopened.
#include <QPalette>

namespace velkin::DesktopAppearance {

// The desktop's colour-scheme preference, as the portal numbers it.
enum class Scheme { NoPreference = 0, Dark = 1, Light = 2 };

// The palette for a scheme: the desktop's own palette when it already matches
// (or when there is no preference), else a dark or a light one of ours.
QPalette palette(Scheme scheme);

// Sets the application palette for the scheme.
void apply(Scheme scheme);

// Reads the preference from the session's settings portal, applies it and
// follows its changes, also of a portal that starts after the program. Does
// nothing without a session bus.
void follow();

} // namespace velkin::DesktopAppearance
