#include "app/Updater.h"

#include "app/UpdateFetch.h"
#include "app/UpdateText.h"
#include "app/UpdateWindow.h"
#include "platform/Settings.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QMessageBox>
#include <QPushButton>
#include <QSysInfo>
#include <QTimer>

#include <memory>

namespace velkin {

namespace {

const QString feedKey = QStringLiteral("Updates/FeedURL");
const QString launchesKey = QStringLiteral("Updates/Launches");
const QString automaticKey = QStringLiteral("Updates/CheckAutomatically");
const QString lastCheckKey = QStringLiteral("Updates/LastCheck");
constexpr qint64 secondsBetweenChecks = 24 * 60 * 60;

SoftwareUpdater::Outcome outcomeOf(const QByteArray& feed, const QString& error, const QString& detail)
{
    using Kind = SoftwareUpdater::Outcome::Kind;
    SoftwareUpdater::Outcome outcome;
    if (!error.isEmpty()) {
        outcome.error = error;
        outcome.detail = detail;
        return outcome;
    }
    QString why;
    const std::optional<std::vector<UpdateFeed::Item>> items = UpdateFeed::parse(feed, &why);
    if (!items) {
        outcome.error = UpdateText::text(u"The update feed could not be read.");
        outcome.detail = why;
        return outcome;
    }
    const std::optional<UpdateFeed::Item> newest = UpdateFeed::newest(*items, QSysInfo::productVersion());
    if (!newest) {
        outcome.error = UpdateText::text(u"The update feed lists no version that Velkin can download.");
        return outcome;
    }
    outcome.item = *newest;
    outcome.kind = UpdateFeed::compareVersions(newest->version, SoftwareUpdater::currentVersion()) > 0
                       ? Kind::NewerVersion
                       : Kind::UpToDate;
    return outcome;
}

} // namespace

SoftwareUpdater::SoftwareUpdater(QObject* parent) : QObject(parent) {}

QString SoftwareUpdater::currentVersion()
{
    return QStringLiteral(VELKIN_VERSION);
}

QUrl SoftwareUpdater::feedURL() const
{
    const QString configured = Settings::open()->value(feedKey).toString().trimmed();
    return QUrl(configured.isEmpty() ? QStringLiteral(VELKIN_UPDATE_FEED_URL) : configured, QUrl::StrictMode);
}

bool SoftwareUpdater::canCheckForUpdates() const
{
    const QUrl feed = feedURL();
    return !fetch_ && feed.isValid() && !feed.isEmpty();
}

void SoftwareUpdater::check(std::function<void(const Outcome&)> done)
{
    if (!canCheckForUpdates())
        return;
    fetch_ = new UpdateFetch(feedURL(), {1024 * 1024, stallTimeoutMs}, this);
    connect(fetch_, &UpdateFetch::finished, this,
            [this, done](const QByteArray& feed, const QString& error, const QString& detail) {
        fetch_->deleteLater();
        fetch_ = nullptr;
        Settings::open()->setValue(lastCheckKey, QDateTime::currentDateTimeUtc().toString(Qt::ISODate));
        const Outcome outcome = outcomeOf(feed, error, detail);
        emit canCheckChanged(canCheckForUpdates());
        done(outcome);
    });
    fetch_->start();
    emit canCheckChanged(false);
}

void SoftwareUpdater::cancel()
{
    if (!fetch_)
        return;
    fetch_->disconnect(this);
    fetch_->cancel();
    fetch_->deleteLater();
    fetch_ = nullptr;
    emit canCheckChanged(canCheckForUpdates());
}

bool SoftwareUpdater::automaticCheckIsDue() const
{
    auto s = Settings::open();
    if (!s->value(automaticKey, false).toBool())
        return false;
    const QDateTime last = QDateTime::fromString(s->value(lastCheckKey).toString(), Qt::ISODate);
    const QDateTime now = QDateTime::currentDateTimeUtc();
    // A last check "in the future" (a clock set back) does not block checks for ever.
    return !last.isValid() || last.secsTo(now) >= secondsBetweenChecks || last > now;
}

void SoftwareUpdater::startScheduledChecks()
{
    // Without a feed there is nothing to check, and nothing to ask about.
    if (!feedURL().isValid() || feedURL().isEmpty())
        return;
    auto s = Settings::open();
    const int launches = s->value(launchesKey, 0).toInt() + 1;
    s->setValue(launchesKey, launches);
    if (launches >= 2 && !s->contains(automaticKey))
        QTimer::singleShot(1500, this, &SoftwareUpdater::askAboutAutomaticChecks);
    else
        QTimer::singleShot(5000, this, &SoftwareUpdater::runScheduledCheck);
    // A session left running for days still checks once a day.
    auto* daily = new QTimer(this);
    daily->setInterval(60 * 60 * 1000);
    connect(daily, &QTimer::timeout, this, &SoftwareUpdater::runScheduledCheck);
    daily->start();
}

void SoftwareUpdater::askAboutAutomaticChecks()
{
    QMessageBox question(QMessageBox::Question, QStringLiteral("Velkin"),
                         UpdateText::text(u"Check for updates automatically?"));
    question.setInformativeText(UpdateText::text(
        u"Velkin can look for a newer version once a day. It only tells you when there is one."));
    QPushButton* yes = question.addButton(UpdateText::text(u"Check Automatically"), QMessageBox::AcceptRole);
    question.addButton(UpdateText::text(u"Don\u2019t Check"), QMessageBox::RejectRole);
    question.setDefaultButton(yes);
    question.exec();
    Settings::open()->setValue(automaticKey, question.clickedButton() == yes);
    runScheduledCheck();
}

void SoftwareUpdater::runScheduledCheck()
{
    if (!automaticCheckIsDue() || !canCheckForUpdates())
        return;
    check([this](const Outcome& outcome) {
        // A scheduled check speaks only when there is something new.
        if (outcome.kind == Outcome::Kind::NewerVersion)
            emit newerVersionFound(outcome);
    });
}

UpdateController::UpdateController(bool startingUpdater, QObject* parent)
    : QObject(parent), updater_(new SoftwareUpdater(this))
{
    connect(updater_, &SoftwareUpdater::newerVersionFound, this, &UpdateController::show);
    if (startingUpdater)
        updater_->startScheduledChecks();
}

UpdateWindow* UpdateController::window() const
{
    return window_;
}

UpdateWindow* UpdateController::openWindow()
{
    if (!window_) {
        window_ = new UpdateWindow;
        // Closing the window while it says "Checking…" gives the check up: no
        // outcome comes back later in a window of its own.
        connect(window_, &QDialog::finished, this, [this] {
            if (window_ && window_->isChecking())
                updater_->cancel();
        });
        connect(window_, &UpdateWindow::tryAgain, this, &UpdateController::checkForUpdates);
    }
    return window_;
}

void UpdateController::checkForUpdates()
{
    if (!updater_->canCheckForUpdates())
        return;
    openWindow()->showChecking();
    updater_->check([this](const SoftwareUpdater::Outcome& outcome) { show(outcome); });
}

void UpdateController::show(const SoftwareUpdater::Outcome& outcome)
{
    openWindow()->showOutcome(outcome);
}

UpdateController& Updater::controller()
{
    static QPointer<UpdateController> controller;
    if (!controller)
        controller = new UpdateController(true, QCoreApplication::instance());
    return *controller;
}

} // namespace velkin
