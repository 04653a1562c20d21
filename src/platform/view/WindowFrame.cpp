#include "platform/view/WindowFrame.h"

#include <QSettings>
#include <QWidget>

#include <memory>

namespace velkin::WindowFrame {

namespace {

// Velkin/Velkin.ini in the user's configuration folder ($XDG_CONFIG_HOME).
std::unique_ptr<QSettings> settings()
{
    return std::make_unique<QSettings>(QSettings::IniFormat, QSettings::UserScope, QStringLiteral("Velkin"),
                                       QStringLiteral("Velkin"));
}

QString key(const char* name)
{
    return QStringLiteral("WindowFrames/") + QString::fromLatin1(name);
}

} // namespace

bool restore(QWidget* window, const char* name)
{
    const QByteArray frame = saved(name);
    return !frame.isEmpty() && window->restoreGeometry(frame);
}

void save(const QWidget* window, const char* name)
{
    settings()->setValue(key(name), window->saveGeometry());
}

QByteArray saved(const char* name)
{
    return settings()->value(key(name)).toByteArray();
}

void forget(const char* name)
{
    settings()->remove(key(name));
}

} // namespace velkin::WindowFrame
