#pragma once
// How the desktop knows the running editor: the launcher it belongs to (so the
// dock and task switcher group its windows under the installed icon) and the
// icon its windows carry.
#include <QIcon>

namespace velkin::DesktopIdentity {

// The application id, also the name of the launcher file and of the icon.
inline constexpr const char* applicationId = "app.velkin.Velkin";

// The application icon: from the icon theme when installed, else from the
// icons of the source tree a build runs from.
QIcon icon();

// Names the launcher and sets the icon on the application.
void apply();

} // namespace velkin::DesktopIdentity
