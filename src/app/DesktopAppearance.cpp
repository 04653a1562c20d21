#include "app/DesktopAppearance.h"

#include <QApplication>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QDBusServiceWatcher>
#include <QDBusVariant>
#include <QStyle>
#include <QTimer>

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

// Follows the portal: subscribes to its change signal, checking that the bus took
// the subscription and trying again until it does, and reads the scheme now and
// whenever the portal (re)appears on the bus, as one started after us does.
class PortalFollower : public QObject {
    Q_OBJECT
public:
    explicit PortalFollower(QObject* parent)
        : QObject(parent)
        , appearance_(portalService, QDBusConnection::sessionBus(), QDBusServiceWatcher::WatchForRegistration, this)
    {
        connect(&appearance_, &QDBusServiceWatcher::serviceRegistered, this, [this] {
            subscribe();
            read();
        });
        retry_.setInterval(1000);
        connect(&retry_, &QTimer::timeout, this, [this] {
            if (subscribe())
                read();
        });
        subscribe();
        read();
    }

public slots:
    void settingChanged(const QString& group, const QString& key, const QDBusVariant& value)
    {
        if (group == appearanceNamespace && key == schemeKey)
            apply(schemeOf(value.variant()));
    }

private:
    bool subscribe()
    {
        if (!subscribed_) {
            subscribed_ = QDBusConnection::sessionBus().connect(
                portalService, portalPath, settingsInterface, QStringLiteral("SettingChanged"), this,
                SLOT(settingChanged(QString, QString, QDBusVariant)));
            if (subscribed_)
                retry_.stop();
            else if (!retry_.isActive())
                retry_.start();
        }
        return subscribed_;
    }

    void read()
    {
        QDBusMessage message = QDBusMessage::createMethodCall(portalService, portalPath, settingsInterface,
                                                              QStringLiteral("Read"));
        message << appearanceNamespace << schemeKey;
        // Asked without waiting: a slow or absent portal must not hold up the first window.
        auto* watcher = new QDBusPendingCallWatcher(QDBusConnection::sessionBus().asyncCall(message, 2000), this);
        connect(watcher, &QDBusPendingCallWatcher::finished, watcher, [watcher] {
            QDBusPendingReply<QVariant> reply = *watcher;
            if (!reply.isError())
                apply(schemeOf(reply.value()));
            watcher->deleteLater();
        });
    }

    QDBusServiceWatcher appearance_;
    QTimer retry_;
    bool subscribed_ = false;
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
    if (QDBusConnection::sessionBus().isConnected())
        new PortalFollower(QCoreApplication::instance());
}

} // namespace velkin::DesktopAppearance

#include "DesktopAppearance.moc"
