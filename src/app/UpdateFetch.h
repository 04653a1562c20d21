#pragma once
// One download for the updater, under its rules: https only (redirects too),
// given up after a stretch without progress, and never more than a set number
// of bytes. Plain http is accepted only from an origin a test names.
#include <QByteArray>
#include <QObject>
#include <QPointer>
#include <QUrl>

class QNetworkAccessManager;
class QNetworkReply;

namespace velkin {

class UpdateFetch : public QObject {
    Q_OBJECT
public:
    struct Rules {
        qint64 maximumBytes = 1024 * 1024;
        int stallTimeoutMs = 30'000;
    };

    UpdateFetch(QUrl url, Rules rules, QObject* parent = nullptr);
    ~UpdateFetch() override;

    // Starts the download; `finished` follows exactly once.
    void start();
    // Stops a running download; `finished` reports it as cancelled.
    void cancel();

    // Whether an address may be fetched: https, or the origin allowed for tests.
    static bool isAllowed(const QUrl& url);
    // Lets tests serve feeds over plain http from one local origin (scheme, host
    // and port); an empty URL takes the permission back.
    static void allowPlainHTTPForTesting(const QUrl& origin);

signals:
    // The body, or an error in the user's words (empty on success) with the
    // network library's own account of it as the detail (often empty).
    void finished(const QByteArray& body, const QString& error, const QString& detail);
    void progress(qint64 received, qint64 total);

private:
    void fail(const QString& error, const QString& detail = {});
    void finish();

    QUrl url_;
    Rules rules_;
    QNetworkAccessManager* network_ = nullptr;
    QPointer<QNetworkReply> reply_;
    QByteArray body_;
    QString error_;
    bool done_ = false;
};

} // namespace velkin
