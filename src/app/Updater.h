#pragma once
// Software updates. One controller for the process, made on first use with its
// updater started. The updater reads a release feed (its address is a build
// setting, overridable in the settings file), tells whether a newer version
// exists, and fetches and verifies a download into the user's download folder.
// It never replaces the program: installing stays with the package manager.
#include "app/UpdateFeed.h"

#include <QObject>
#include <QPointer>
#include <QUrl>

#include <functional>

namespace velkin {

class UpdateFetch;
class UpdateWindow;

class SoftwareUpdater : public QObject {
    Q_OBJECT
public:
    // What a check found.
    struct Outcome {
        enum class Kind { UpToDate, NewerVersion, Failed } kind = Kind::Failed;
        UpdateFeed::Item item;  // the newest release (for UpToDate and NewerVersion)
        QString error;          // for Failed, in the user's words
        QString detail;         // for Failed, the technical account below them (may be empty)
    };

    explicit SoftwareUpdater(QObject* parent = nullptr);

    // The program's version.
    static QString currentVersion();
    // The feed address: the settings file's "Updates/FeedURL", else the build's.
    QUrl feedURL() const;
    // True when a check can start now: a feed address is set and no check runs.
    bool canCheckForUpdates() const;
    // Starts a check; `done` receives the outcome. Does nothing when no check can start.
    void check(std::function<void(const Outcome&)> done);
    // Stops a running check; its `done` is never called.
    void cancel();

    // Starts the scheduled side: counts the launch, asks once (on the second
    // launch) whether to check automatically, and when allowed checks at most
    // once a day, speaking only when a newer version exists.
    void startScheduledChecks();
    // True when the scheduled check is due now (allowed, and none in the last day).
    bool automaticCheckIsDue() const;

    // How long a download may stall before it is given up (tests shorten it).
    int stallTimeoutMs = 30'000;

signals:
    // The value of canCheckForUpdates() changed.
    void canCheckChanged(bool canCheck);
    // A scheduled check found a newer version.
    void newerVersionFound(const Outcome& outcome);

private:
    void askAboutAutomaticChecks();
    void runScheduledCheck();

    QPointer<UpdateFetch> fetch_;
};

// The controller the menus use: its updater, and the user-initiated check that
// reports in a window of its own.
class UpdateController : public QObject {
    Q_OBJECT
public:
    explicit UpdateController(bool startingUpdater, QObject* parent = nullptr);

    SoftwareUpdater& updater() { return *updater_; }
    // Checks now and shows the outcome (up to date, a newer version, or the error).
    void checkForUpdates();
    // The window of the last check, while it is open (for tests).
    UpdateWindow* window() const;

private:
    void show(const SoftwareUpdater::Outcome& outcome);
    UpdateWindow* openWindow();

    SoftwareUpdater* updater_;
    QPointer<UpdateWindow> window_;
};

namespace Updater {
// The one controller of the process, made on first use with its updater started.
UpdateController& controller();
} // namespace Updater

} // namespace velkin
