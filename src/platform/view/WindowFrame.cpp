#include "platform/view/WindowFrame.h"

#include "platform/Settings.h"

#include <QWidget>

#include <memory>

namespace velkin::WindowFrame {

namespace {

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
    Settings::open()->setValue(key(name), window->saveGeometry());
}

QByteArray saved(const char* name)
{
    return Settings::open()->value(key(name)).toByteArray();
}

void forget(const char* name)
{
    Settings::open()->remove(key(name));
}

} // namespace velkin::WindowFrame
