// Opening a document from a web address, against a server of the test's own.
#include "ShellTestSupport.h"
#include "TempDirectory.h"

#include "app/DocumentWindow.h"
#include "app/OpenFromURL.h"
#include "app/VelkinApp.h"
#include "platform/text/QtString.h"

#include <QLineEdit>
#include <QPushButton>
#include <QTcpServer>
#include <QTcpSocket>

#include <gtest/gtest.h>

#include <fstream>
#include <map>
#include <sstream>

using namespace velkin;
using velkin::testing::DialogAnswerer;
using velkin::testing::waitUntil;

namespace {

// Answers GET requests from a table of paths: status and body.
class LocalServer {
public:
    struct Answer {
        int status = 200;
        QByteArray body;
    };
    std::map<QByteArray, Answer> answers;

    LocalServer()
    {
        server_.listen(QHostAddress::LocalHost, 0);
        QObject::connect(&server_, &QTcpServer::newConnection, [this] {
            while (QTcpSocket* socket = server_.nextPendingConnection()) {
                QObject::connect(socket, &QTcpSocket::readyRead, socket, [this, socket] {
                    request_ += socket->readAll();
                    if (!request_.contains("\r\n\r\n"))
                        return;
                    const QByteArray path = request_.split(' ').value(1);
                    request_.clear();
                    const auto found = answers.find(path);
                    const Answer answer = found != answers.end() ? found->second : Answer{404, "missing"};
                    QByteArray reply = "HTTP/1.1 " + QByteArray::number(answer.status) + " Answer\r\n";
                    reply += "Content-Type: text/markdown\r\nContent-Length: " + QByteArray::number(answer.body.size());
                    reply += "\r\nConnection: close\r\n\r\n" + answer.body;
                    socket->write(reply);
                    socket->disconnectFromHost();
                });
                QObject::connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
            }
        });
    }

    QUrl url(const QString& path) const
    {
        return QUrl(QStringLiteral("http://127.0.0.1:%1%2").arg(server_.serverPort()).arg(path));
    }

private:
    QTcpServer server_;
    QByteArray request_;
};

OpenFromURL::Download fetch(const QUrl& url)
{
    std::optional<OpenFromURL::Download> result;
    OpenFromURL::download(url, [&](OpenFromURL::Download d) { result = std::move(d); });
    EXPECT_TRUE(waitUntil([&] { return result.has_value(); }, 10000));
    return result.value_or(OpenFromURL::Download{});
}

// A port of this machine where nothing listens.
quint16 closedPort()
{
    QTcpServer probe;
    probe.listen(QHostAddress::LocalHost, 0);
    const quint16 port = probe.serverPort();
    probe.close();
    return port;
}

std::string bytesOf(const std::filesystem::path& file)
{
    std::ifstream in(file, std::ios::binary);
    std::ostringstream all;
    all << in.rdbuf();
    return all.str();
}

} // namespace

TEST(OpenFromURL, AcceptsHttpHttpsAndFileAddressesOnly)
{
    for (const char* typed : {"https://example.com/notes.md", "  http://example.com/a.md \n", "HTTPS://EXAMPLE.COM/x",
                              "file:///tmp/notes.md"}) {
        SCOPED_TRACE(typed);
        EXPECT_TRUE(OpenFromURL::acceptedAddress(QString::fromUtf8(typed)).has_value());
    }
    for (const char* typed : {"", "   ", "example.com/notes.md", "ftp://example.com/a.md", "mailto:a@b.c",
                              "javascript:alert(1)", "data:text/plain,hi", "notes.md"}) {
        SCOPED_TRACE(typed);
        EXPECT_FALSE(OpenFromURL::acceptedAddress(QString::fromUtf8(typed)).has_value());
    }
}

TEST(OpenFromURL, NamesTheCopyAfterTheAddress)
{
    const std::vector<std::pair<const char*, const char*>> rows = {
        {"https://example.com/docs/README.md", "README.md"},
        {"https://example.com/notes", "notes.md"},
        {"https://example.com/notes.TXT", "notes.TXT"},
        {"https://example.com/page.html", "page.html.md"},
        {"https://example.com/My%20Notes.md", "My Notes.md"},
        {"https://example.com", "Downloaded.md"},
        {"https://example.com/", "Downloaded.md"},
        {"https://example.com/dir/", "dir.md"},
        {"https://example.com/a.markdown?x=1#top", "a.markdown"},
        // Escapes written twice are removed twice, but never lead out of the folder.
        {"https://example.com/..%252F..%252Fetc%252Fpasswd", "..-..-etc-passwd.md"},
        {"https://example.com/%2E%2E", "Downloaded.md"},
    };
    for (const auto& [address, name] : rows) {
        SCOPED_TRACE(address);
        EXPECT_EQ(OpenFromURL::temporaryFileName(QUrl(QString::fromUtf8(address))), name);
    }
}

TEST(OpenFromURL, WritesEachCopyIntoAFreshFolder)
{
    const QUrl from(QStringLiteral("https://example.com/notes.md"));
    const auto first = OpenFromURL::writeTemporaryFile(u"# One\n", from);
    const auto second = OpenFromURL::writeTemporaryFile(u"# One\n", from);
    ASSERT_TRUE(first && second);
    EXPECT_NE(first->parent_path(), second->parent_path());
    EXPECT_EQ(first->filename(), "notes.md");
    EXPECT_EQ(bytesOf(*first), "# One\n");
    std::filesystem::remove_all(first->parent_path());
    std::filesystem::remove_all(second->parent_path());
}

TEST(OpenFromURL, DownloadsFromALocalServer)
{
    LocalServer server;
    server.answers["/notes.md"] = {200, "# Notes\r\nCaf\xC3\xA9 \xE9!\n"};
    server.answers["/gone.md"] = {404, "not here"};
    server.answers["/broken.md"] = {500, "oops"};

    const OpenFromURL::Download ok = fetch(server.url(QStringLiteral("/notes.md")));
    ASSERT_TRUE(ok.text.has_value()) << ok.error.toStdString();
    // CRLF kept, invalid UTF-8 repaired.
    EXPECT_EQ(*ok.text, u"# Notes\r\nCaf\u00E9 \uFFFD!\n");

    const OpenFromURL::Download missing = fetch(server.url(QStringLiteral("/gone.md")));
    EXPECT_FALSE(missing.text.has_value());
    EXPECT_TRUE(missing.error.contains(QStringLiteral("404"))) << missing.error.toStdString();
    EXPECT_TRUE(fetch(server.url(QStringLiteral("/broken.md"))).error.contains(QStringLiteral("500")));
}

TEST(OpenFromURL, ARefusedConnectionIsAnError)
{
    const QUrl refused(QStringLiteral("http://127.0.0.1:%1/notes.md").arg(closedPort()));
    const OpenFromURL::Download result = fetch(refused);
    EXPECT_FALSE(result.text.has_value());
    EXPECT_FALSE(result.error.isEmpty());
}

TEST(OpenFromURL, ReadsFileAddressesWithoutTheNetwork)
{
    velkin::testing::TempDirectory folder;
    const auto file = folder.write("local.md", "a\xE9z");
    const OpenFromURL::Download read = fetch(QUrl::fromLocalFile(QString::fromStdString(file.string())));
    ASSERT_TRUE(read.text.has_value());
    EXPECT_EQ(*read.text, u"a\uFFFDz");
    // So does a name that is not UTF-8, its bytes escaped in the address.
    const auto unnamed = folder.write("n\xFF\xFE.md", "bytes");
    const OpenFromURL::Download escaped = fetch(QUrl::fromEncoded("file://" + QByteArray::fromStdString(unnamed.string()).toPercentEncoding("/")));
    EXPECT_EQ(escaped.text, std::optional<U16String>(u"bytes"));
    // A folder, and a missing file, are errors with a reason.
    EXPECT_FALSE(fetch(QUrl::fromLocalFile(QString::fromStdString(folder.path().string()))).text.has_value());
    const OpenFromURL::Download missing =
        fetch(QUrl::fromLocalFile(QString::fromStdString((folder.path() / "none.md").string())));
    EXPECT_FALSE(missing.text.has_value());
    EXPECT_TRUE(missing.error.contains(QStringLiteral("none.md")));
}

TEST(OpenFromURL, OpensTheCopyInANewWindow)
{
    LocalServer server;
    server.answers["/shared/trip.md"] = {200, "# Trip\n"};
    OpenFromURL::open(server.url(QStringLiteral("/shared/trip.md")));
    ASSERT_TRUE(waitUntil([] { return !VelkinApp::shared().documentWindows().empty(); }, 10000));
    DocumentWindow* window = VelkinApp::shared().documentWindows().back();
    ASSERT_TRUE(window->fileURL().has_value());
    EXPECT_EQ(window->fileURL()->filename(), "trip.md");
    EXPECT_EQ(window->document().text, u"# Trip\n");
    // The same address again gives a second window on a second copy.
    OpenFromURL::open(server.url(QStringLiteral("/shared/trip.md")));
    ASSERT_TRUE(waitUntil([] { return VelkinApp::shared().documentWindows().size() == 2; }, 10000));
    DocumentWindow* again = VelkinApp::shared().documentWindows().back();
    EXPECT_NE(again->fileURL(), window->fileURL());
    for (DocumentWindow* w : VelkinApp::shared().documentWindows()) {
        std::filesystem::remove_all(w->fileURL()->parent_path());
        w->close();
    }
}

TEST(OpenFromURL, FailuresAreShownInOneAlert)
{
    LocalServer server;
    DialogAnswerer answerer(DialogAnswerer::reject());
    OpenFromURL::open(server.url(QStringLiteral("/nothing.md")));
    ASSERT_TRUE(waitUntil([&] { return !answerer.texts.empty(); }, 10000));
    EXPECT_TRUE(answerer.texts[0].contains(QStringLiteral("404"))) << answerer.texts[0].toStdString();
    EXPECT_TRUE(VelkinApp::shared().documentWindows().empty());
}

TEST(OpenFromURL, TheDialogStartsTheDownloadOfWhatWasTyped)
{
    LocalServer server;
    server.answers["/typed.md"] = {200, "typed"};
    const QString typed = QStringLiteral("  ") + server.url(QStringLiteral("/typed.md")).toString() + QStringLiteral("\n");
    DialogAnswerer answerer([&](QDialog& dialog) {
        dialog.findChild<QLineEdit*>(QStringLiteral("address"))->setText(typed);
        dialog.findChild<QPushButton*>(QStringLiteral("open"))->click();
    });
    OpenFromURL::present();
    ASSERT_TRUE(waitUntil([] { return !VelkinApp::shared().documentWindows().empty(); }, 10000));
    DocumentWindow* window = VelkinApp::shared().documentWindows().back();
    EXPECT_EQ(window->document().text, u"typed");
    std::filesystem::remove_all(window->fileURL()->parent_path());
    window->close();
}

TEST(OpenFromURL, TheDialogRefusesOtherAddresses)
{
    int dialogs = 0;
    DialogAnswerer answerer([&](QDialog& dialog) {
        if (++dialogs == 1) {
            dialog.findChild<QLineEdit*>(QStringLiteral("address"))->setText(QStringLiteral("ftp://example.com/a.md"));
            dialog.findChild<QPushButton*>(QStringLiteral("open"))->click();
        } else {
            dialog.reject();
        }
    });
    OpenFromURL::present();
    ASSERT_TRUE(waitUntil([&] { return answerer.texts.size() == 2; }));
    EXPECT_TRUE(answerer.texts[1].contains(QStringLiteral("https://"))) << answerer.texts[1].toStdString();
    velkin::testing::settle();
    EXPECT_TRUE(VelkinApp::shared().documentWindows().empty());
}
