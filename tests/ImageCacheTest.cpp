// The image cache: keys, safe file reading, decoding, and loads in the background and at once.
#include "document/ImageCache.h"
#include "document/PreviewRenderer.h"
#include "markdown/ImageBlock.h"
#include "markdown/MarkdownStyler.h"

#include "platform/text/Utf.h"

#include <QBuffer>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QImage>
#include <QTcpServer>
#include <QTcpSocket>
#include <QThread>
#include <QUuid>

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include <sys/stat.h>
#include <unistd.h>

using namespace velkin;
namespace fs = std::filesystem;

namespace {

// A fresh folder under the temporary directory, removed again at the end of a test.
class TempFolder {
public:
    TempFolder() : path_(fs::temp_directory_path() / ("velkin-cache-" + QUuid::createUuid().toString(QUuid::WithoutBraces).toStdString()))
    {
        fs::create_directories(path_);
    }
    ~TempFolder()
    {
        std::error_code ec;
        fs::remove_all(path_, ec);
    }
    const fs::path& path() const { return path_; }
    fs::path operator/(const std::string& name) const { return path_ / name; }
    Url document() const { return Url::fileURL((path_ / "note.md").string()); }

private:
    fs::path path_;
};

QByteArray pngBytes(int w = 8, int h = 4)
{
    QImage image(w, h, QImage::Format_ARGB32);
    image.fill(Qt::red);
    QByteArray data;
    QBuffer buffer(&data);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "PNG");
    return data;
}

void write(const fs::path& path, const QByteArray& data)
{
    std::ofstream out(path, std::ios::binary);
    out.write(data.constData(), data.size());
}

// Runs the event loop until `done` or five seconds have passed.
bool waitFor(const std::function<bool()>& done)
{
    QElapsedTimer timer;
    timer.start();
    while (!done() && timer.elapsed() < 5000)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    return done();
}

std::string keyOf(const std::string& source, const Url& document)
{
    return ImageCache::key(u16(source), document).value_or("");
}

} // namespace

TEST(ImageCacheKey, ResolvedAgainstTheDocumentAndPrintedAsWritten)
{
    const Url doc = *Url::parse("file:///home/me/notes/doc.md");
    EXPECT_EQ(ImageCache::key(u"pic.png", doc), std::string("file:///home/me/notes/pic.png"));
    EXPECT_EQ(ImageCache::key(u"my pic.png", doc), std::string("file:///home/me/notes/my%20pic.png"));
    EXPECT_EQ(ImageCache::key(u"HTTPS://Example.com/A.png", doc), std::string("HTTPS://Example.com/A.png"));
    EXPECT_EQ(ImageCache::key(u"data:image/png;base64,aGk=", std::nullopt), std::string("data:image/png;base64,aGk="));
    EXPECT_FALSE(ImageCache::key(u"pic.png", std::nullopt));  // a relative source of an unsaved document
}

TEST(ImageCacheFiles, OnlyRegularFilesUpToTheLimitAreRead)
{
    TempFolder dir;
    write(dir / "small.bin", QByteArray("hello"));
    EXPECT_EQ(ImageCache::readRegularFile((dir / "small.bin").string()), QByteArray("hello"));
    EXPECT_FALSE(ImageCache::readRegularFile((dir / "small.bin").string(), 4));
    EXPECT_FALSE(ImageCache::readRegularFile((dir / "missing.png").string()));
    EXPECT_FALSE(ImageCache::readRegularFile(dir.path().string()));  // a folder
    EXPECT_FALSE(ImageCache::readRegularFile("/dev/zero"));           // a device never ends
    EXPECT_FALSE(ImageCache::readRegularFile(""));
}

TEST(ImageCacheFiles, AFifoIsRefusedWithoutWaitingForAWriter)
{
    TempFolder dir;
    const fs::path fifo = dir / "pipe.png";
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    QElapsedTimer timer;
    timer.start();
    EXPECT_FALSE(ImageCache::readRegularFile(fifo.string()));
    EXPECT_LT(timer.elapsed(), 1000);

    // Through the cache the load fails and the caller hears of it.
    ImageCache::loadSynchronously(u"pipe.png", dir.document());
    EXPECT_TRUE(ImageCache::hasFailed(keyOf("pipe.png", dir.document())));
}

TEST(ImageCacheFiles, AHugeFileIsNotRead)
{
    TempFolder dir;
    const fs::path huge = dir / "huge.png";
    {
        std::ofstream out(huge, std::ios::binary);
        out.write(pngBytes().constData(), pngBytes().size());
    }
    fs::resize_file(huge, uintmax_t(ImageCache::maxBytes) + 1);  // sparse: no disk is used
    EXPECT_FALSE(ImageCache::readRegularFile(huge.string()));
    ImageCache::loadSynchronously(u"huge.png", dir.document());
    const std::string key = keyOf("huge.png", dir.document());
    EXPECT_TRUE(ImageCache::hasFailed(key));
    EXPECT_FALSE(ImageCache::cachedImage(key));
}

TEST(ImageCacheDecode, PicturesDecodeAndAnythingElseIsNoPicture)
{
    EXPECT_EQ(ImageCache::decode(pngBytes(8, 4)).size(), QSize(8, 4));
    EXPECT_TRUE(ImageCache::decode(QByteArray("not a picture at all")).isNull());
    EXPECT_TRUE(ImageCache::decode(QByteArray()).isNull());
    EXPECT_TRUE(ImageCache::decode(pngBytes().left(30)).isNull());  // cut short
    // A header that claims an enormous picture is refused by the allocation limit.
    const QByteArray bomb = QByteArray("P6\n20000 20000\n255\n") + QByteArray(300, 'x');
    EXPECT_TRUE(ImageCache::decode(bomb).isNull());
    EXPECT_FALSE(ImageCache::decode(QByteArray("P6\n2 2\n255\n") + QByteArray(12, 'x')).isNull());
}

TEST(ImageCacheLoad, SynchronousLoadsOfFilesMissingFilesAndOtherData)
{
    TempFolder dir;
    write(dir / "ok.png", pngBytes(10, 5));
    write(dir / "notes.txt", QByteArray("plain words, not a picture"));
    const Url doc = dir.document();

    ImageCache::loadSynchronously(u"ok.png", doc);
    const QImage* image = ImageCache::cachedImage(keyOf("ok.png", doc));
    ASSERT_TRUE(image);
    EXPECT_EQ(image->size(), QSize(10, 5));

    ImageCache::loadSynchronously(u"notes.txt", doc);
    EXPECT_TRUE(ImageCache::hasFailed(keyOf("notes.txt", doc)));
    ImageCache::loadSynchronously(u"absent.png", doc);
    EXPECT_TRUE(ImageCache::hasFailed(keyOf("absent.png", doc)));

    // A failed key is tried again by the synchronous load, and then succeeds.
    write(dir / "absent.png", pngBytes());
    ImageCache::loadSynchronously(u"absent.png", doc);
    EXPECT_TRUE(ImageCache::cachedImage(keyOf("absent.png", doc)));
    EXPECT_FALSE(ImageCache::hasFailed(keyOf("absent.png", doc)));

    ImageCache::loadSynchronously(u"pic.png", std::nullopt);  // no key: nothing happens
}

TEST(ImageCacheLoad, APercentEncodedPathFindsTheFileItNames)
{
    TempFolder dir;
    write(dir / "pic two.png", pngBytes(6, 3));
    const Url doc = dir.document();
    ImageCache::loadSynchronously(u"pic%20two.png", doc);
    const QImage* image = ImageCache::cachedImage(keyOf("pic%20two.png", doc));
    ASSERT_TRUE(image);
    EXPECT_EQ(image->size(), QSize(6, 3));
    // A file really named as written wins over the decoded name.
    write(dir / "b%20c.png", pngBytes(5, 5));
    write(dir / "b c.png", pngBytes(7, 7));
    ImageCache::loadSynchronously(u"b%20c.png", doc);
    ASSERT_TRUE(ImageCache::cachedImage(keyOf("b%20c.png", doc)));
    EXPECT_EQ(ImageCache::cachedImage(keyOf("b%20c.png", doc))->size(), QSize(5, 5));
    // A bad escape or a missing file is still a failed load.
    ImageCache::loadSynchronously(u"pic%2two.png", doc);
    EXPECT_TRUE(ImageCache::hasFailed(keyOf("pic%2two.png", doc)));
}

TEST(ImageCacheLoad, BackgroundLoadCallsBackOnceOnTheMainThread)
{
    TempFolder dir;
    write(dir / "bg.png", pngBytes(6, 6));
    const Url doc = dir.document();
    const std::string key = keyOf("bg.png", doc);
    int calls = 0;
    bool onMain = false;
    auto changed = [&] {
        ++calls;
        onMain = QThread::currentThread() == QCoreApplication::instance()->thread();
    };
    ImageCache::ensureLoaded(u"bg.png", doc, changed);
    EXPECT_TRUE(ImageCache::isLoading(key));
    ASSERT_TRUE(waitFor([&] { return calls > 0 && !ImageCache::isLoading(key); }));
    QCoreApplication::processEvents();
    EXPECT_EQ(calls, 1);
    EXPECT_TRUE(onMain);
    ASSERT_TRUE(ImageCache::cachedImage(key));
    EXPECT_EQ(ImageCache::cachedImage(key)->size(), QSize(6, 6));
    ImageCache::ensureLoaded(u"bg.png", doc, changed);  // already loaded
    EXPECT_EQ(calls, 1);
}

// Two windows on one picture: the second asks while the first load runs. The
// key is read once, and each caller hears when it ends, the picture already stored.
TEST(ImageCacheLoad, EveryCallerWhileALoadRunsIsAnsweredOnce)
{
    TempFolder dir;
    write(dir / "shared.png", pngBytes(640, 480));
    write(dir / "broken.png", QByteArray("not a picture"));
    const Url doc = dir.document();
    for (const char* name : {"shared.png", "broken.png"}) {
        const std::string key = keyOf(name, doc);
        std::vector<int> calls(3, 0);
        std::vector<bool> settled(3, false);
        for (size_t i = 0; i < calls.size(); ++i)
            ImageCache::ensureLoaded(u16(name), doc, [&, i, key] {
                ++calls[i];
                settled[i] = !ImageCache::isLoading(key)
                    && (ImageCache::cachedImage(key) != nullptr || ImageCache::hasFailed(key));
            });
        EXPECT_TRUE(ImageCache::isLoading(key)) << name;
        ASSERT_TRUE(waitFor([&] { return !ImageCache::isLoading(key); })) << name;
        QCoreApplication::processEvents();
        EXPECT_EQ(calls, (std::vector<int>{1, 1, 1})) << name;
        EXPECT_EQ(settled, (std::vector<bool>{true, true, true})) << name;
    }
    EXPECT_EQ(ImageCache::cachedImage(keyOf("shared.png", doc))->size(), QSize(640, 480));
    EXPECT_TRUE(ImageCache::hasFailed(keyOf("broken.png", doc)));
}

TEST(ImageCacheLoad, BackgroundFailuresAreRecordedAndNeverRetried)
{
    TempFolder dir;
    const Url doc = dir.document();
    ASSERT_EQ(::mkfifo((dir / "fifo.png").c_str(), 0600), 0);
    int calls = 0;
    ImageCache::ensureLoaded(u"fifo.png", doc, [&] { ++calls; });
    ImageCache::ensureLoaded(u"gone.png", doc, [&] { ++calls; });
    ASSERT_TRUE(waitFor([&] { return calls == 2; }));
    EXPECT_TRUE(ImageCache::hasFailed(keyOf("fifo.png", doc)));
    EXPECT_TRUE(ImageCache::hasFailed(keyOf("gone.png", doc)));
    ImageCache::ensureLoaded(u"gone.png", doc, [&] { ++calls; });
    QCoreApplication::processEvents();
    EXPECT_EQ(calls, 2);
    EXPECT_FALSE(ImageCache::isLoading(keyOf("gone.png", doc)));
}

TEST(ImageCacheLoad, OtherSchemesFailAtOnce)
{
    int calls = 0;
    ImageCache::ensureLoaded(u"data:image/png;base64,iVBORw0KGgo=", std::nullopt, [&] { ++calls; });
    EXPECT_EQ(calls, 1);
    EXPECT_TRUE(ImageCache::hasFailed("data:image/png;base64,iVBORw0KGgo="));
    ImageCache::ensureLoaded(u"ftp://example.com/a.png", std::nullopt, [&] { ++calls; });
    EXPECT_EQ(calls, 2);
    ImageCache::ensureLoaded(u"relative.png", std::nullopt, [&] { ++calls; });  // no key: no call
    EXPECT_EQ(calls, 2);
}

namespace {

// A one-shot web server on the loopback address that answers every request with `response`.
class TinyServer {
public:
    explicit TinyServer(QByteArray response) : response_(std::move(response))
    {
        server_.listen(QHostAddress::LocalHost, 0);
        QObject::connect(&server_, &QTcpServer::newConnection, [this] {
            while (QTcpSocket* socket = server_.nextPendingConnection()) {
                QObject::connect(socket, &QTcpSocket::readyRead, socket, [this, socket] {
                    if (!socket->readAll().contains("\r\n\r\n") || socket->property("answered").toBool())
                        return;
                    socket->setProperty("answered", true);
                    socket->write(response_);
                    socket->disconnectFromHost();
                });
            }
        });
    }
    std::string url(const std::string& path) const
    {
        return "http://127.0.0.1:" + std::to_string(server_.serverPort()) + path;
    }

private:
    QTcpServer server_;
    QByteArray response_;
};

QByteArray httpResponse(const QByteArray& status, const QByteArray& body, const QByteArray& extraHeaders = {})
{
    return "HTTP/1.1 " + status + "\r\nContent-Length: " + QByteArray::number(body.size()) + "\r\n" + extraHeaders +
        "Connection: close\r\n\r\n" + body;
}

} // namespace

TEST(ImageCacheNetwork, DownloadsAPictureInTheBackground)
{
    TinyServer server(httpResponse("200 OK", pngBytes(7, 3), "Content-Type: image/png\r\n"));
    const std::string url = server.url("/pic.png");
    int calls = 0;
    ImageCache::ensureLoaded(u16(url), std::nullopt, [&] { ++calls; });
    ASSERT_TRUE(waitFor([&] { return calls == 1; }));
    ASSERT_TRUE(ImageCache::cachedImage(url));
    EXPECT_EQ(ImageCache::cachedImage(url)->size(), QSize(7, 3));
}

TEST(ImageCacheNetwork, AnErrorPageFailsThroughDecoding)
{
    TinyServer server(httpResponse("404 Not Found", "<html>missing</html>"));
    const std::string url = server.url("/missing.png");
    ImageCache::loadSynchronously(u16(url), std::nullopt);
    EXPECT_TRUE(ImageCache::hasFailed(url));
    // The same error page carrying a picture would have been shown: the status is not examined.
    TinyServer pictured(httpResponse("404 Not Found", pngBytes(2, 2)));
    const std::string other = pictured.url("/odd.png");
    ImageCache::loadSynchronously(u16(other), std::nullopt);
    EXPECT_TRUE(ImageCache::cachedImage(other));
}

TEST(ImageCacheNetwork, AnOversizedDownloadStopsAndFails)
{
    const QByteArray claim = "HTTP/1.1 200 OK\r\nContent-Length: " + QByteArray::number(ImageCache::maxBytes + 10) +
        "\r\nConnection: close\r\n\r\n" + pngBytes();
    TinyServer server(claim);
    const std::string url = server.url("/big.png");
    QElapsedTimer timer;
    timer.start();
    ImageCache::loadSynchronously(u16(url), std::nullopt);
    EXPECT_TRUE(ImageCache::hasFailed(url));
    EXPECT_LT(timer.elapsed(), 5000);
}

TEST(ImageCacheNetwork, NothingListeningFails)
{
    QTcpServer probe;
    probe.listen(QHostAddress::LocalHost, 0);
    const std::string url = "http://127.0.0.1:" + std::to_string(probe.serverPort()) + "/x.png";
    probe.close();
    ImageCache::loadSynchronously(u16(url), std::nullopt);
    EXPECT_TRUE(ImageCache::hasFailed(url));
}

namespace {

// A web server on the loopback address that takes every request and never answers.
class SilentServer {
public:
    SilentServer()
    {
        server_.listen(QHostAddress::LocalHost, 0);
        QObject::connect(&server_, &QTcpServer::newConnection, [this] {
            while (QTcpSocket* socket = server_.nextPendingConnection()) {
                socket->setParent(&server_);
                QObject::connect(socket, &QTcpSocket::readyRead, socket, [this, socket] {
                    if (socket->readAll().contains("\r\n\r\n"))
                        ++requests;
                });
            }
        });
    }
    std::string url(const std::string& path) const
    {
        return "http://127.0.0.1:" + std::to_string(server_.serverPort()) + path;
    }
    int requests = 0;

private:
    QTcpServer server_;
};

} // namespace

TEST(ImageCacheNetwork, PageDownloadsRunSideBySideWithinOneBudgetAndFailuresAreKept)
{
    TinyServer good(httpResponse("200 OK", pngBytes(5, 4), "Content-Type: image/png\r\n"));
    TinyServer bad(httpResponse("500 Internal Server Error", "<html>oops</html>"));
    SilentServer slow;
    const std::vector<std::string> stalled{slow.url("/a.png"), slow.url("/b.png"), slow.url("/c.png")};
    std::vector<U16String> sources{u16(good.url("/ok.png")), u16(bad.url("/err.png"))};
    for (const std::string& url : stalled)
        sources.push_back(u16(url));
    sources.push_back(u16(good.url("/ok.png")));  // asked twice, fetched once

    ImageCache::loadAllSynchronously(sources, std::nullopt, 1500);
    ASSERT_TRUE(ImageCache::cachedImage(good.url("/ok.png")));
    EXPECT_EQ(ImageCache::cachedImage(good.url("/ok.png"))->size(), QSize(5, 4));
    EXPECT_TRUE(ImageCache::hasFailed(bad.url("/err.png")));
    for (const std::string& url : stalled)
        EXPECT_TRUE(ImageCache::hasFailed(url)) << url;
    // The three stalled downloads were all under way at once, not one after another.
    EXPECT_EQ(slow.requests, 3);

    // A later render does not ask again for what failed in this run.
    ImageCache::loadAllSynchronously(sources, std::nullopt, 1500);
    QCoreApplication::processEvents();
    EXPECT_EQ(slow.requests, 3);
    EXPECT_TRUE(ImageCache::hasFailed(stalled[0]));
}

// ---- The page rendering's image collapse ----

TEST(PageImages, LoadedPicturesAreSizedAndMissingOnesGetThePlaceholder)
{
    TempFolder dir;
    write(dir / "wide.png", pngBytes(1000, 500));
    const U16String text = u"intro\n\n![wide](wide.png)\n\n![gone](gone.png)\n\n```\n![code](wide.png)\n```\n";
    TextStorage storage(text);
    MarkdownStyler{14, MarkdownFontFamily::sansSerif}.apply(storage);
    PreviewRenderer::collapseAllImages(storage, dir.document(), 636);
    EXPECT_EQ(storage.string(), text);

    const int wide = int(text.find(u"![wide]"));
    const auto mark = storage.marker<CollapsedImage>(AttributeKey::CollapsedImage, wide);
    ASSERT_TRUE(mark);
    EXPECT_EQ(mark->key, keyOf("wide.png", dir.document()));
    EXPECT_EQ(mark->alt, u"wide");
    ASSERT_TRUE(storage.paragraphStyle(wide));
    EXPECT_EQ(storage.paragraphStyle(wide)->minimumLineHeight, 318);
    EXPECT_EQ(storage.paragraphStyle(wide)->maximumLineHeight, 318);
    EXPECT_EQ(storage.font(wide)->pointSize, 0.1);

    const int gone = int(text.find(u"![gone]"));
    EXPECT_TRUE(storage.marker<CollapsedImage>(AttributeKey::CollapsedImage, gone));
    EXPECT_EQ(storage.paragraphStyle(gone)->minimumLineHeight, 120);

    EXPECT_FALSE(storage.attribute(AttributeKey::CollapsedImage, int(text.find(u"![code]"))));
    EXPECT_FALSE(storage.attribute(AttributeKey::CollapsedImage, 0));
}

TEST(PageImages, WithoutADocumentRelativePicturesStaySource)
{
    TextStorage storage(U16String(u"![a](pic.png)"));
    PreviewRenderer::collapseAllImages(storage, std::nullopt, 600);
    EXPECT_FALSE(storage.attribute(AttributeKey::CollapsedImage, 0));
}

TEST(PageImages, SharedLineClassificationGivesTheSameCollapse)
{
    const U16String text = u"- [x] a :tada:\n\n![p](none.png)\n\n```\n- [ ] code :tada:\n```\n\n| A |\n| --- |\n| :rocket: |";
    const Url doc = *Url::parse("file:///nonexistent/doc.md");
    TextStorage alone = [&] {
        TextStorage s(text);
        MarkdownStyler{14, MarkdownFontFamily::sansSerif}.apply(s);
        return s;
    }();
    TextStorage shared = alone;
    PreviewRenderer::collapseAllImages(alone, doc, 600);
    PreviewRenderer::collapseAllTasks(alone, 13);
    PreviewRenderer::collapseAllShortcodes(alone);
    const ProseLines lines(shared.string());
    PreviewRenderer::collapseAllImages(shared, doc, 600, &lines);
    PreviewRenderer::collapseAllTasks(shared, 13, &lines);
    PreviewRenderer::collapseAllShortcodes(shared, &lines);
    ASSERT_EQ(alone.runCount(), shared.runCount());
    for (int i = 0; i < alone.length(); ++i) {
        const bool picture = alone.attribute(AttributeKey::CollapsedImage, i);
        const bool task = alone.attribute(AttributeKey::TaskCheckbox, i);
        const bool emoji = alone.attribute(AttributeKey::EmojiShortcode, i);
        EXPECT_EQ(picture, bool(shared.attribute(AttributeKey::CollapsedImage, i))) << i;
        EXPECT_EQ(task, bool(shared.attribute(AttributeKey::TaskCheckbox, i))) << i;
        EXPECT_EQ(emoji, bool(shared.attribute(AttributeKey::EmojiShortcode, i))) << i;
    }
    EXPECT_TRUE(alone.attribute(AttributeKey::TaskCheckbox, 2));
    EXPECT_TRUE(alone.attribute(AttributeKey::EmojiShortcode, int(text.find(u":tada:"))));
    EXPECT_FALSE(alone.attribute(AttributeKey::EmojiShortcode, int(text.find(u"code :tada:") + 5)));
}

TEST(PageImages, ShortcodesInAPictureLineStayHidden)
{
    const U16String text = u"![:tada:](none.png)\n:tada:";
    TextStorage s(text);
    MarkdownStyler{14, MarkdownFontFamily::sansSerif}.apply(s);
    PreviewRenderer::collapseAllImages(s, *Url::parse("file:///nonexistent/doc.md"), 600);
    PreviewRenderer::collapseAllShortcodes(s);
    EXPECT_FALSE(s.attribute(AttributeKey::EmojiShortcode, 2));
    EXPECT_TRUE(s.attribute(AttributeKey::EmojiShortcode, int(text.rfind(u":tada:"))));
}

// A document of many pictures: their sizes are known for good, but the pixels kept
// stay within the bound, those drawn last kept; one let go loads again to be drawn.
TEST(ImageCacheBound, ManyPicturesAreKeptWithinTheBoundAndLoadAgainWhenDrawn)
{
    TempFolder dir;
    const Url doc = dir.document();
    const QByteArray picture = pngBytes(2048, 1024);  // 8 MB of pixels
    constexpr int count = 12;
    int calls = 0;
    for (int i = 0; i < count; ++i) {
        write(dir / ("many" + std::to_string(i) + ".png"), picture);
        ImageCache::ensureLoaded(u16("many" + std::to_string(i) + ".png"), doc, [&] { ++calls; });
    }
    ASSERT_TRUE(waitFor([&] { return calls == count; }));
    std::vector<std::string> letGo;
    for (int i = 0; i < count; ++i) {
        const std::string key = keyOf("many" + std::to_string(i) + ".png", doc);
        EXPECT_EQ(ImageCache::pictureSize(key), QSizeF(2048, 1024)) << i;
        EXPECT_FALSE(ImageCache::hasFailed(key)) << i;
        if (!ImageCache::cachedImage(key))
            letGo.push_back(key);
    }
    EXPECT_LE(ImageCache::keptPixelBytes(), ImageCache::keptBytes);
    ASSERT_GE(letGo.size(), size_t(count - ImageCache::keptBytes / (8 << 20)));
    // With the bound reached, one more is read for its size alone: its pixels come when it is drawn.
    write(dir / "more.png", picture);
    ImageCache::ensureLoaded(u"more.png", doc, [&] { ++calls; });
    ASSERT_TRUE(waitFor([&] { return calls == count + 1; }));
    EXPECT_EQ(ImageCache::pictureSize(keyOf("more.png", doc)), QSizeF(2048, 1024));
    EXPECT_EQ(ImageCache::cachedImage(keyOf("more.png", doc)), nullptr);
    letGo.push_back(keyOf("more.png", doc));
    // Drawn again: loaded in the background, or at once for a page image.
    int back = 0;
    ImageCache::reload(letGo.front(), [&] { ++back; });
    EXPECT_TRUE(ImageCache::isLoading(letGo.front()));
    ASSERT_TRUE(waitFor([&] { return back == 1; }));
    EXPECT_NE(ImageCache::cachedImage(letGo.front()), nullptr);
    ImageCache::reloadSynchronously(letGo.back());
    EXPECT_NE(ImageCache::cachedImage(letGo.back()), nullptr);
    EXPECT_NE(ImageCache::cachedImage(letGo.front()), nullptr);  // drawn just now: kept
    // Many drawn at once (a quick scroll) go past the bound for a moment only, with nothing drawn after.
    for (const std::string& key : letGo)
        ImageCache::reloadSynchronously(key);
    for (int i = 0; i < count; ++i)
        ImageCache::cachedImage(keyOf("many" + std::to_string(i) + ".png", doc));
    EXPECT_GT(ImageCache::keptPixelBytes(), ImageCache::keptBytes);
    EXPECT_TRUE(waitFor([] { return ImageCache::keptPixelBytes() <= ImageCache::keptBytes; }));
    // A key never loaded, or failed, is no reload.
    ImageCache::reload(keyOf("never.png", doc), [&] { ++back; });
    EXPECT_FALSE(ImageCache::isLoading(keyOf("never.png", doc)));
}
