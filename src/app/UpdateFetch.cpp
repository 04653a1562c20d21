#include "app/UpdateFetch.h"

#include "app/UpdateText.h"

#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>

namespace velkin {

namespace {

QUrl& testOrigin()
{
    static QUrl origin;
    return origin;
}

bool sameOrigin(const QUrl& a, const QUrl& b)
{
    return a.scheme() == b.scheme() && a.host() == b.host() && a.port() == b.port();
}

} // namespace

UpdateFetch::UpdateFetch(QUrl url, Rules rules, QObject* parent)
    : QObject(parent), url_(std::move(url)), rules_(rules), network_(new QNetworkAccessManager(this))
{
}

UpdateFetch::~UpdateFetch()
{
    if (reply_)
        reply_->abort();
}

bool UpdateFetch::isAllowed(const QUrl& url)
{
    if (!url.isValid() || url.host().isEmpty())
        return false;
    if (url.scheme() == u"https")
        return true;
    return url.scheme() == u"http" && !testOrigin().isEmpty() && sameOrigin(url, testOrigin());
}

void UpdateFetch::allowPlainHTTPForTesting(const QUrl& origin)
{
    testOrigin() = origin;
}

void UpdateFetch::start()
{
    if (!isAllowed(url_)) {
        // Reported from the event loop, as every other outcome is.
        QMetaObject::invokeMethod(this, [this] { fail(UpdateText::text(u"The update address must use https.")); },
                                  Qt::QueuedConnection);
        return;
    }
    QNetworkRequest request(url_);
    request.setAttribute(QNetworkRequest::RedirectPolicyAttribute, QNetworkRequest::UserVerifiedRedirectPolicy);
    request.setMaximumRedirectsAllowed(10);
    // Qt gives up when no byte arrives for this long: a stall, not a slow download.
    request.setTransferTimeout(rules_.stallTimeoutMs);
    request.setHeader(QNetworkRequest::UserAgentHeader, QStringLiteral("Velkin/" VELKIN_VERSION));
    reply_ = network_->get(request);
    QNetworkReply* reply = reply_;
    connect(reply, &QNetworkReply::redirected, this, [this, reply](const QUrl& target) {
        if (isAllowed(target))
            emit reply->redirectAllowed();
        else
            fail(UpdateText::text(u"The update server sent Velkin to an address that is not secure."));
    });
    connect(reply, &QNetworkReply::metaDataChanged, this, [this, reply] {
        const QVariant length = reply->header(QNetworkRequest::ContentLengthHeader);
        if (length.isValid() && length.toLongLong() > rules_.maximumBytes)
            fail(UpdateText::text(u"The update server sent more than Velkin expected."));
    });
    connect(reply, &QNetworkReply::readyRead, this, [this, reply] {
        if (done_)
            return;
        body_ += reply->readAll();
        if (body_.size() > rules_.maximumBytes) {
            fail(UpdateText::text(u"The update server sent more than Velkin expected."));
            return;
        }
        emit progress(body_.size(), reply->header(QNetworkRequest::ContentLengthHeader).toLongLong());
    });
    connect(reply, &QNetworkReply::finished, this, &UpdateFetch::finish);
}

void UpdateFetch::cancel()
{
    fail(UpdateText::text(u"Cancelled."));
}

void UpdateFetch::fail(const QString& error, const QString& detail)
{
    if (done_)
        return;
    error_ = error;
    done_ = true;
    body_.clear();
    if (reply_) {
        reply_->disconnect(this);
        reply_->abort();
        reply_->deleteLater();
    }
    emit finished({}, error_, detail);
}

void UpdateFetch::finish()
{
    if (done_ || !reply_)
        return;
    QNetworkReply* reply = reply_;
    done_ = true;
    reply->deleteLater();
    body_ += reply->readAll();
    QString error, detail;
    const int status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
    const QNetworkReply::NetworkError code = reply->error();
    if (code == QNetworkReply::OperationCanceledError || code == QNetworkReply::TimeoutError) {
        error = UpdateText::text(u"The update server stopped answering.");
    } else if (code == QNetworkReply::SslHandshakeFailedError) {
        // Qt reports an untrusted, expired or mismatched certificate this way.
        error = UpdateText::text(u"The update server\u2019s certificate is not trusted.");
        detail = reply->errorString();
    } else if (code != QNetworkReply::NoError && status == 0) {
        error = UpdateText::text(u"The update server could not be reached.");
        detail = reply->errorString();
    } else if (status != 200)
        error = UpdateText::text(u"The update server answered with status %d.", {status});
    else if (body_.size() > rules_.maximumBytes)
        error = UpdateText::text(u"The update server sent more than Velkin expected.");
    if (!error.isEmpty())
        body_.clear();
    emit finished(body_, error, detail);
}

} // namespace velkin
