#include "app/SingleInstance.h"

#include <QCoreApplication>
#include <QCryptographicHash>
#include <QDataStream>
#include <QDir>
#include <QGuiApplication>
#include <QLocalServer>
#include <QLocalSocket>
#include <QStandardPaths>
#include <QTimer>

#include <filesystem>
#include <system_error>

#include <unistd.h>

namespace velkin::SingleInstance {

namespace {

constexpr int answerTimeoutMs = 3000;
constexpr char accepted = '1';

// File names go as the bytes they are (a name need not be UTF-8).
QByteArray encoded(const QList<QByteArray>& files)
{
    QByteArray message;
    QDataStream out(&message, QIODevice::WriteOnly);
    out << files;
    return message;
}

} // namespace

QString serverName()
{
    const QString platform = QGuiApplication::platformName();
    if (platform.isEmpty() || platform == u"offscreen" || platform == u"minimal")
        return {};
    // Two sessions of one user on two displays, or a test with its own settings
    // folder, each get their own editor.
    const QByteArray key = qgetenv("DISPLAY") + '\n' + qgetenv("WAYLAND_DISPLAY") + '\n'
                           + QStandardPaths::writableLocation(QStandardPaths::ConfigLocation).toUtf8();
    const QString digest = QString::fromLatin1(QCryptographicHash::hash(key, QCryptographicHash::Sha1).toHex().left(16));
    QString folder = QStandardPaths::writableLocation(QStandardPaths::RuntimeLocation);
    if (folder.isEmpty())
        folder = QDir::tempPath();
    return folder + QStringLiteral("/velkin-%1-%2").arg(getuid()).arg(digest);
}

bool handOver(const std::vector<std::string>& files)
{
    const QString name = serverName();
    if (name.isEmpty())
        return false;
    QLocalSocket socket;
    socket.connectToServer(name);
    if (!socket.waitForConnected(answerTimeoutMs))
        return false;
    // Absolute, for an editor with another working folder, and nothing tidied: "lnk/.." is the system's to resolve.
    QList<QByteArray> absolute;
    for (const std::string& file : files) {
        std::error_code ec;
        const std::string path = std::filesystem::absolute(file, ec).string();
        absolute << QByteArray::fromStdString(ec ? file : path);
    }
    const QByteArray message = encoded(absolute);
    QByteArray framed;
    QDataStream(&framed, QIODevice::WriteOnly) << quint32(message.size());
    socket.write(framed + message);
    if (!socket.waitForBytesWritten(answerTimeoutMs))
        return false;
    // The running editor confirms once it has taken the files; without that the
    // launch opens them itself rather than losing them.
    while (socket.bytesAvailable() < 1)
        if (!socket.waitForReadyRead(answerTimeoutMs))
            return false;
    char answer = 0;
    return socket.getChar(&answer) && answer == accepted;
}

bool listen(std::function<void(const std::vector<std::string>&)> open)
{
    const QString name = serverName();
    if (name.isEmpty())
        return false;
    auto* server = new QLocalServer(QCoreApplication::instance());
    server->setSocketOptions(QLocalServer::UserAccessOption);
    if (!server->listen(name)) {
        // A socket left behind by an editor that crashed: nobody answered on it.
        QLocalServer::removeServer(name);
        if (!server->listen(name)) {
            delete server;
            return false;
        }
    }
    QObject::connect(server, &QLocalServer::newConnection, server, [server, open] {
        while (QLocalSocket* socket = server->nextPendingConnection()) {
            QObject::connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
            QObject::connect(socket, &QLocalSocket::readyRead, socket, [socket, open] {
                QByteArray buffer = socket->peek(socket->bytesAvailable());
                if (buffer.size() < 4)
                    return;
                quint32 length = 0;
                QDataStream(buffer) >> length;
                // A launch names a few paths; anything far larger is not one of ours.
                if (length > 16u * 1024 * 1024) {
                    socket->abort();
                    return;
                }
                if (quint64(buffer.size()) < 4 + quint64(length))
                    return;
                socket->read(4);
                QList<QByteArray> files;
                QDataStream in(socket->read(length));
                in >> files;
                if (in.status() != QDataStream::Ok) {
                    socket->abort();
                    return;
                }
                socket->putChar(accepted);
                socket->flush();
                std::vector<std::string> paths;
                for (const QByteArray& file : files)
                    paths.push_back(file.toStdString());
                // Opened once this handler has returned: a file that cannot be opened is said in an
                // alert, whose own event loop would see the launch hang up and the socket go while
                // its signal was still being sent.
                QTimer::singleShot(0, QCoreApplication::instance(), [open, paths] { open(paths); });
            });
        }
    });
    return true;
}

} // namespace velkin::SingleInstance
