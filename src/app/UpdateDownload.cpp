#include "app/UpdateDownload.h"

#include "app/UpdateFetch.h"
#include "app/UpdateSignature.h"
#include "app/UpdateText.h"
#include "platform/OutputFile.h"
#include "platform/text/Utf.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDesktopServices>
#include <QDir>
#include <QFileInfo>

namespace velkin {

UpdateDownload::UpdateDownload(UpdateFeed::Enclosure enclosure, QString folder, QByteArray publicKey, QObject* parent)
    : QObject(parent), enclosure_(std::move(enclosure)), folder_(std::move(folder)), publicKey_(std::move(publicKey))
{
}

void UpdateDownload::start()
{
    auto report = [this](const QString& error) {
        QMetaObject::invokeMethod(this, [this, error] { emit finished({}, error); }, Qt::QueuedConnection);
    };
    if (publicKey_.isEmpty())
        return report(UpdateText::text(u"This copy of Velkin has no key to verify downloads with."));
    if (enclosure_.length <= 0 || enclosure_.length > maximumBytes)
        return report(UpdateText::text(u"The update feed gives the download an impossible size."));
    fetch_ = new UpdateFetch(enclosure_.url, {enclosure_.length, stallTimeoutMs}, this);
    connect(fetch_, &UpdateFetch::progress, this, &UpdateDownload::progress);
    connect(fetch_, &UpdateFetch::finished, this, &UpdateDownload::fetched);
    fetch_->start();
}

void UpdateDownload::cancel()
{
    if (fetch_)
        fetch_->cancel();
}

void UpdateDownload::fetched(const QByteArray& body, const QString& error, const QString& detail)
{
    if (fetch_)
        fetch_->deleteLater();
    if (!error.isEmpty()) {
        emit finished({}, error, detail);
        return;
    }
    if (body.size() != enclosure_.length) {
        emit finished({}, UpdateText::text(u"The download was discarded: its size does not match the update feed."));
        return;
    }
    if (!UpdateSignature::verify(body, enclosure_.edSignature, publicKey_)) {
        emit finished({}, UpdateText::text(u"The download was discarded: its signature is not valid."));
        return;
    }
    if (!QDir().mkpath(folder_)) {
        emit finished({}, UpdateText::text(u"The download could not be saved (%@).", {fromQString(folder_)}));
        return;
    }
    const QString path = QDir(folder_).filePath(safeFileName(enclosure_.url, folder_));
    if (const auto failure = OutputFile::writeWhole(path.toStdString(), std::string_view(body.constData(), size_t(body.size())))) {
        emit finished({}, UpdateText::text(u"The download could not be saved (%@).", {u16(*failure)}));
        return;
    }
    emit finished(path, {});
}

QString UpdateDownload::safeFileName(const QUrl& url, const QString& folder)
{
    QString name = url.fileName(QUrl::FullyDecoded);
    QString safe;
    for (QChar c : name)
        safe += (c.isLetterOrNumber() && c.unicode() < 128) || c == u'.' || c == u'-' || c == u'_' || c == u'+'
                    ? c
                    : QChar(u'-');
    while (safe.startsWith(u'.') || safe.startsWith(u'-'))
        safe.remove(0, 1);
    safe.truncate(120);
    if (safe.isEmpty())
        safe = QStringLiteral("velkin-update");
    // Never over a file that is there already: "name-2.ext", "name-3.ext", ...
    const QFileInfo info(safe);
    const QString base = info.completeBaseName().isEmpty() ? safe : info.completeBaseName();
    const QString suffix = info.suffix().isEmpty() ? QString() : u'.' + info.suffix();
    QString candidate = safe;
    for (int n = 2; QFileInfo::exists(QDir(folder).filePath(candidate)); ++n)
        candidate = base + u'-' + QString::number(n) + suffix;
    return candidate;
}

void UpdateDownload::showInFileManager(const QString& file)
{
    QDBusMessage show = QDBusMessage::createMethodCall(
        QStringLiteral("org.freedesktop.FileManager1"), QStringLiteral("/org/freedesktop/FileManager1"),
        QStringLiteral("org.freedesktop.FileManager1"), QStringLiteral("ShowItems"));
    show << QStringList{QUrl::fromLocalFile(file).toString()} << QString();
    const QDBusMessage reply = QDBusConnection::sessionBus().call(show, QDBus::Block, 3000);
    if (reply.type() != QDBusMessage::ReplyMessage)
        QDesktopServices::openUrl(QUrl::fromLocalFile(QFileInfo(file).absolutePath()));
}

} // namespace velkin
