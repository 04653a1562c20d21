#pragma once
// Velkin's one settings file: Velkin/Velkin.ini in the user's configuration
// folder ($XDG_CONFIG_HOME), shared by every feature that remembers something.
#include <QSettings>

#include <memory>

namespace velkin::Settings {

// The settings file, opened for one use (QSettings writes back when it goes).
std::unique_ptr<QSettings> open();

} // namespace velkin::Settings
