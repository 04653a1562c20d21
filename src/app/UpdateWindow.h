#pragma once
// The updater's own window: a check in progress, its outcome (up to date, a
// newer version with its date and release notes, or the error in plain words),
// and the download of a newer version into the download folder.
#include "app/Updater.h"

#include <QDialog>
#include <QPointer>

#include <functional>

class QLabel;
class QProgressBar;
class QPushButton;
class QTextBrowser;

namespace velkin {

class UpdateDownload;

class UpdateWindow : public QDialog {
    Q_OBJECT
public:
    explicit UpdateWindow(QWidget* parent = nullptr);

    void showChecking();
    void showOutcome(const SoftwareUpdater::Outcome& outcome);
    // True while it shows a check in progress.
    bool isChecking() const { return checking_; }

    // What the window says now (for tests).
    QString headline() const;
    QString details() const;
    QString technicalDetail() const;
    QString releaseNotesHTML() const;
    QPushButton* downloadButton() const { return download_; }
    QPushButton* tryAgainButton() const { return tryAgain_; }

    // Where downloads go (the user's download folder unless a test says otherwise),
    // the key they are verified with, and what shows a finished download.
    QString downloadFolder;
    QByteArray publicKey;
    std::function<void(const QString&)> reveal;

signals:
    // The user asked for the failed check to run again.
    void tryAgain();

private:
    void startDownload();
    void say(const QString& headline, const QString& details, const QString& detail = {});

    QLabel* headline_;
    QLabel* details_;
    QLabel* detail_;
    QTextBrowser* notes_;
    QProgressBar* progress_;
    QPushButton* download_;
    QPushButton* tryAgain_;
    QPushButton* close_;
    bool checking_ = false;
    SoftwareUpdater::Outcome outcome_;
    QPointer<UpdateDownload> running_;
};

} // namespace velkin
