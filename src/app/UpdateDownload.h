#pragma once
// Fetches a release's file into a folder, but only keeps it when its length and
// its Ed25519 signature match the feed: nothing reaches the disk before both are
// verified. The file gets a safe name of its own (no path, no hidden name, never
// one that replaces a file already there).
#include "app/UpdateFeed.h"

#include <QObject>
#include <QPointer>
#include <QString>

namespace velkin {

class UpdateFetch;

class UpdateDownload : public QObject {
    Q_OBJECT
public:
    // The largest file the updater takes.
    static constexpr qint64 maximumBytes = qint64(1) << 30;

    UpdateDownload(UpdateFeed::Enclosure enclosure, QString folder, QByteArray publicKey, QObject* parent = nullptr);

    void start();
    void cancel();
    int stallTimeoutMs = 30'000;

    // A name for the file behind `url` inside `folder` that is safe to create.
    static QString safeFileName(const QUrl& url, const QString& folder);
    // Shows the file selected in the desktop's file manager (its folder when
    // the file manager cannot select it).
    static void showInFileManager(const QString& file);

signals:
    void progress(qint64 received, qint64 total);
    // The saved file's path, or an error in words (and no file) with the
    // network library's account of it as the detail.
    void finished(const QString& file, const QString& error, const QString& detail = {});

private:
    void fetched(const QByteArray& body, const QString& error, const QString& detail);

    UpdateFeed::Enclosure enclosure_;
    QString folder_;
    QByteArray publicKey_;
    QPointer<UpdateFetch> fetch_;
};

} // namespace velkin
