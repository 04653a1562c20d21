#include "app/DesktopAppearance.h"

#include <QApplication>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QDBusVariant>
#include <QStyle>

namespace velkin::DesktopAppearance {

namespace {

const QString portalService = QStringLiteral("org.freedesktop.portal.Desktop");
const QString portalPath = QStringLiteral("/org/freedesktop/portal/desktop");
const QString settingsInterface = QStringLiteral("org.freedesktop.portal.Settings");
const QString appearanceNamespace = QStringLiteral("org.freedesktop.appearance");
const QString schemeKey = QStringLiteral("color-scheme");

bool isDark(const QPalette& palette)
{
    return palette.color(QPalette::Window).lightnessF() < 0.5;
}

// The palette the desktop gave the application before we changed it.
const QPalette& desktopPalette()
{
    static const QPalette original = QApplication::palette();
    return original;
}

QPalette darkPalette()
{
    QPalette p;
    const QColor window(0x2b, 0x2b, 0x2e), base(0x1e, 0x1e, 0x20), text(0xec, 0xec, 0xee);
    const QColor disabled(0x80, 0x80, 0x86), accent(0x3d, 0x8b, 0xfd);
    p.setColor(QPalette::Window, window);
    p.setColor(QPalette::WindowText, text);
    p.setColor(QPalette::Base, base);
    p.setColor(QPalette::AlternateBase, window);
    p.setColor(QPalette::ToolTipBase, window);
    p.setColor(QPalette::ToolTipText, text);
    p.setColor(QPalette::PlaceholderText, disabled);
    p.setColor(QPalette::Text, text);
    p.setColor(QPalette::Button, QColor(0x3a, 0x3a, 0x3e));
    p.setColor(QPalette::ButtonText, text);
    p.setColor(QPalette::BrightText, Qt::white);
    p.setColor(QPalette::Light, QColor(0x4a, 0x4a, 0x4f));
    p.setColor(QPalette::Midlight, QColor(0x3f, 0x3f, 0x44));
    p.setColor(QPalette::Mid, QColor(0x33, 0x33, 0x37));
    p.setColor(QPalette::Dark, QColor(0x18, 0x18, 0x1a));
    p.setColor(QPalette::Shadow, Qt::black);
    p.setColor(QPalette::Highlight, accent);
    p.setColor(QPalette::HighlightedText, Qt::white);
    p.setColor(QPalette::Link, QColor(0x5a, 0xa8, 0xff));
    p.setColor(QPalette::LinkVisited, QColor(0xb3, 0x8c, 0xff));
    for (QPalette::ColorRole role : {QPalette::WindowText, QPalette::Text, QPalette::ButtonText})
        p.setColor(QPalette::Disabled, role, disabled);
    return p;
}

Scheme schemeOf(const QVariant& value)
{
    // The portal wraps the value in one or two variants.
    QVariant v = value;
    while (v.canConvert<QDBusVariant>() && v.userType() == qMetaTypeId<QDBusVariant>())
        v = v.value<QDBusVariant>().variant();
    switch (v.toUInt()) {
    case 1: return Scheme::Dark;
    case 2: return Scheme::Light;
    default: return Scheme::NoPreference;
    }
}

// Receives the portal's change signal.
class SchemeListener : public QObject {
    Q_OBJECT
public:
    using QObject::QObject;
public slots:
    void settingChanged(const QString& group, const QString& key, const QDBusVariant& value)
    {
        if (group == appearanceNamespace && key == schemeKey)
            apply(schemeOf(value.variant()));
    }
};

} // namespace

QPalette palette(Scheme scheme)
{
    const QPalette& desktop = desktopPalette();
    switch (scheme) {
    case Scheme::Dark:
        return isDark(desktop) ? desktop : darkPalette();
    case Scheme::Light:
        return isDark(desktop) ? QApplication::style()->standardPalette() : desktop;
    case Scheme::NoPreference:
        break;
    }
    return desktop;
}

void apply(Scheme scheme)
{
    const QPalette next = palette(scheme);
    if (next != QApplication::palette())
        QApplication::setPalette(next);
}

void follow()
{
    (void)desktopPalette();
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected())
        return;
    bus.connect(portalService, portalPath, settingsInterface, QStringLiteral("SettingChanged"),
                new SchemeListener(QCoreApplication::instance()),
                SLOT(settingChanged(QString, QString, QDBusVariant)));
    QDBusMessage read = QDBusMessage::createMethodCall(portalService, portalPath, settingsInterface,
                                                       QStringLiteral("Read"));
    read << appearanceNamespace << schemeKey;
    // Asked without waiting: a slow or absent portal must not hold up the first window.
    auto* watcher = new QDBusPendingCallWatcher(bus.asyncCall(read, 2000), QCoreApplication::instance());
    QObject::connect(watcher, &QDBusPendingCallWatcher::finished, watcher, [watcher] {
        QDBusPendingReply<QVariant> reply = *watcher;
        if (!reply.isError())
            apply(schemeOf(reply.value()));
        watcher->deleteLater();
    });
}

} // namespace velkin::DesktopAppearance

#include "DesktopAppearance.moc"
