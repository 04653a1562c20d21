#include "app/OpenFromURL.h"

#include "app/VelkinApp.h"
#include "platform/FilePath.h"
#include "platform/FileRead.h"
#include "platform/OutputFile.h"
#include "platform/strings/LocalizedStrings.h"
#include "platform/text/QtString.h"
#include "platform/text/Utf.h"

#include <QCoreApplication>
#include <QDialog>
#include <QDialogButtonBox>
#include <QDir>
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QPointer>
#include <QPushButton>
#include <QTimer>
#include <QUuid>
#include <QVBoxLayout>

#include <array>
#include <memory>

namespace velkin::OpenFromURL {

namespace fs = std::filesystem;

namespace {

QString localized(const char16_t* key)
{
    return toQString(LocalizedStrings::text(key));
}

bool acceptedScheme(const QString& scheme)
{
    const QString lower = scheme.toLower();
    return lower == QLatin1String("http") || lower == QLatin1String("https") || lower == QLatin1String("file");
}

QNetworkAccessManager& network()
{
    // One manager for the process, so downloads share connections; it goes with the application.
    static QPointer<QNetworkAccessManager> manager;
    if (!manager)
        manager = new QNetworkAccessManager(QCoreApplication::instance());
    return *manager;
}

QString tooLargeMessage()
{
    return toQString(LocalizedStrings::format(LocalizedStrings::text(u"downloadTooLarge"),
                                              {static_cast<long long>(maximumBytes >> 20)}));
}

// Runs `done` one event-loop turn later, as a download's answer comes.
void later(std::function<void(Download)> done, Download result)
{
    QTimer::singleShot(0, QCoreApplication::instance(),
                       [done = std::move(done), result = std::move(result)]() mutable { done(std::move(result)); });
}

void readFile(const QUrl& address, std::function<void(Download)> done)
{
    const QString path = address.toLocalFile();
    const QFileInfo info(path);
    const QString name = info.fileName().isEmpty() ? path : info.fileName();
    const auto failed = [&](const QString& reason) {
        later(std::move(done), {std::nullopt, toQString(LocalizedStrings::format(
                                                  LocalizedStrings::text(u"openErrorMessage"),
                                                  {fromQString(name), fromQString(reason)}))});
    };
    // Only regular files: a pipe or a device could block the interface forever.
    FileRead::Failure failure;
    const auto bytes = FileRead::bytes(FilePath::ofLocalURL(address), maximumBytes, &failure);
    if (bytes)
        return later(std::move(done), {u16(*bytes), QString()});
    switch (failure.kind) {
    case FileRead::Failure::Kind::missing: return failed(toQString(LocalizedStrings::text(u"openErrorNoSuchFile")));
    case FileRead::Failure::Kind::folder:
    case FileRead::Failure::Kind::notRegular: return failed(toQString(LocalizedStrings::text(u"openErrorNotRegular")));
    case FileRead::Failure::Kind::tooLarge: return later(std::move(done), {std::nullopt, tooLargeMessage()});
    case FileRead::Failure::Kind::unreadable: break;
    }
    failed(QString::fromStdString(FileRead::describe(failure)));
}

void fetch(const QUrl& address, std::function<void(Download)> done)
{
    QNetworkRequest request(address);
    // A redirect may not lead from https to http.
    request.setAttribute(QNetworkRequest::RedirectPolicyAttribute, QNetworkRequest::NoLessSafeRedirectPolicy);
    request.setTransferTimeout(transferTimeoutMilliseconds);
    request.setHeader(QNetworkRequest::UserAgentHeader, QStringLiteral("Velkin"));
    QNetworkReply* reply = network().get(request);
    auto tooLarge = std::make_shared<bool>(false);
    QObject::connect(reply, &QNetworkReply::downloadProgress, reply, [reply, tooLarge](qint64 received, qint64 total) {
        if (!*tooLarge && (received > maximumBytes || total > maximumBytes)) {
            *tooLarge = true;
            reply->abort();
        }
    });
    QObject::connect(reply, &QNetworkReply::finished, reply, [reply, tooLarge, done = std::move(done)]() {
        reply->deleteLater();
        if (*tooLarge)
            return done({std::nullopt, tooLargeMessage()});
        const QVariant status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute);
        if (status.isValid()) {
            const int code = status.toInt();
            if (code < 200 || code > 299)
                return done({std::nullopt, toQString(LocalizedStrings::format(LocalizedStrings::text(u"openURLHTTPError"),
                                                                             {static_cast<long long>(code)}))});
        }
        if (reply->error() == QNetworkReply::OperationCanceledError)
            return done({std::nullopt, toQString(LocalizedStrings::format(
                                           LocalizedStrings::text(u"downloadTimedOut"),
                                           {static_cast<long long>(transferTimeoutMilliseconds / 1000)}))});
        if (reply->error() != QNetworkReply::NoError)
            return done({std::nullopt, reply->errorString()});
        const QByteArray bytes = reply->readAll();
        if (bytes.size() > maximumBytes)
            return done({std::nullopt, tooLargeMessage()});
        done({u16(std::string_view(bytes.constData(), size_t(bytes.size()))), QString()});
    });
}

// The last path component the way a file system path names it: trailing
// slashes do not count, and a path of nothing but slashes has none.
QString lastPathComponent(const QString& path)
{
    QString trimmed = path;
    while (trimmed.endsWith(QLatin1Char('/')))
        trimmed.chop(1);
    return trimmed.mid(trimmed.lastIndexOf(QLatin1Char('/')) + 1);
}

} // namespace

std::optional<QUrl> acceptedAddress(const QString& typed)
{
    const QString trimmed = typed.trimmed();
    if (trimmed.isEmpty())
        return std::nullopt;
    const QUrl address(trimmed, QUrl::TolerantMode);
    if (!address.isValid() || address.scheme().isEmpty() || !acceptedScheme(address.scheme()))
        return std::nullopt;
    // A file address names a local file, never a share on another host.
    if (address.isLocalFile() && address.toLocalFile().isEmpty())
        return std::nullopt;
    return address;
}

std::string temporaryFileName(const QUrl& address)
{
    QString name = lastPathComponent(address.path(QUrl::FullyDecoded));
    // Escapes left in a name that was escaped twice are removed once more.
    name = QUrl::fromPercentEncoding(name.toUtf8());
    // The name stays inside its folder whatever the address spelled.
    name.replace(QLatin1Char('/'), QLatin1Char('-'));
    name.remove(QChar(0));
    if (name.isEmpty() || name == QLatin1String(".") || name == QLatin1String(".."))
        name = QStringLiteral("Downloaded");
    static const std::array<const char*, 7> kept = {"md", "markdown", "mdown", "markdn", "mdtext", "txt", "text"};
    const qsizetype dot = name.lastIndexOf(QLatin1Char('.'));
    const QString extension = dot > 0 ? name.mid(dot + 1).toLower() : QString();
    bool keeps = false;
    for (const char* e : kept)
        keeps = keeps || extension == QLatin1String(e);
    if (!keeps)
        name += QStringLiteral(".md");
    return name.toStdString();
}

std::optional<fs::path> writeTemporaryFile(U16View text, const QUrl& from, QString* error)
{
    const QString folder = QDir::temp().filePath(QUuid::createUuid().toString(QUuid::WithoutBraces));
    if (!QDir().mkpath(folder)) {
        if (error)
            *error = toQString(LocalizedStrings::format(LocalizedStrings::text(u"downloadFolderError"),
                                                        {fromQString(folder)}));
        return std::nullopt;
    }
    const QString path = QDir(folder).filePath(QString::fromStdString(temporaryFileName(from)));
    const fs::path file(path.toStdString());
    if (const auto failure = OutputFile::writeWhole(file, u8(text))) {
        QDir().rmdir(folder);  // made for this copy alone
        if (error)
            *error = toQString(LocalizedStrings::format(LocalizedStrings::text(u"saveErrorMessage"),
                                                        {fromQString(QFileInfo(path).fileName()), u16(*failure)}));
        return std::nullopt;
    }
    return file;
}

void download(const QUrl& address, std::function<void(Download)> done)
{
    if (address.isLocalFile())
        readFile(address, std::move(done));
    else
        fetch(address, std::move(done));
}

void open(const QUrl& address)
{
    download(address, [address](Download result) {
        if (!result.text)
            return showError(result.error);
        QString error;
        const std::optional<fs::path> file = writeTemporaryFile(*result.text, address, &error);
        if (!file)
            return showError(error);
        // A Cancel (of the question about a binary file) ends it without a word.
        if (!VelkinApp::shared().openDocument(*file, &error) && !error.isEmpty())
            showError(error);
    });
}

void present(QWidget* parent)
{
    QDialog dialog(parent);
    dialog.setWindowTitle(localized(u"openURLTitle"));
    auto* layout = new QVBoxLayout(&dialog);
    auto* title = new QLabel(localized(u"openURLTitle"));
    QFont bold = title->font();
    bold.setBold(true);
    title->setFont(bold);
    auto* prompt = new QLabel(localized(u"openURLPrompt"));
    prompt->setWordWrap(true);
    auto* field = new QLineEdit;
    field->setObjectName(QStringLiteral("address"));
    field->setPlaceholderText(QStringLiteral("https://\u2026"));
    field->setFixedSize(340, 24);
    auto* buttons = new QDialogButtonBox;
    QPushButton* openButton =
        buttons->addButton(toQString(LocalizedStrings::text(u"buttonOpen", u"&Open")), QDialogButtonBox::AcceptRole);
    openButton->setObjectName(QStringLiteral("open"));
    openButton->setDefault(true);
    buttons->addButton(toQString(LocalizedStrings::text(u"buttonCancel", u"&Cancel")), QDialogButtonBox::RejectRole)
        ->setObjectName(QStringLiteral("cancel"));
    QObject::connect(buttons, &QDialogButtonBox::accepted, &dialog, &QDialog::accept);
    QObject::connect(buttons, &QDialogButtonBox::rejected, &dialog, &QDialog::reject);
    layout->addWidget(title);
    layout->addWidget(prompt);
    layout->addWidget(field);
    layout->addWidget(buttons);
    prompt->setMaximumWidth(340);
    field->setFocus();
    if (dialog.exec() != QDialog::Accepted)
        return;
    const std::optional<QUrl> address = acceptedAddress(field->text());
    if (!address)
        return showError(localized(u"openURLInvalid"));
    // The download starts after the dialog has gone.
    QTimer::singleShot(0, QCoreApplication::instance(), [url = *address] { open(url); });
}

void showError(const QString& message)
{
    QMessageBox alert(QMessageBox::Warning, localized(u"openURLErrorTitle"), localized(u"openURLErrorTitle"));
    alert.setInformativeText(message);
    alert.exec();
}

} // namespace velkin::OpenFromURL
