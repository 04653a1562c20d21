#include "platform/Settings.h"

namespace velkin::Settings {

std::unique_ptr<QSettings> open()
{
    return std::make_unique<QSettings>(QSettings::IniFormat, QSettings::UserScope, QStringLiteral("Velkin"),
                                       QStringLiteral("Velkin"));
}

} // namespace velkin::Settings
