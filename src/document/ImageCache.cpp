#include "document/ImageCache.h"

#include "document/LinkRouter.h"
#include "platform/BackgroundThreads.h"
#include "platform/graphics/PictureFile.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QPointer>
#include <QThread>
#include <QTimer>
#include <QUrl>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <list>
#include <cctype>
#include <unordered_map>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace velkin::ImageCache {

namespace {

// The bytes of pixels kept, and decoded on their way to the main thread: the
// one figure the workers read (to decide whether a size is enough).
std::atomic<long long>& heldBytes()
{
    static std::atomic<long long> bytes = 0;
    return bytes;
}

// The cache's state; read and written on the main thread only.
struct State {
    using Clock = std::chrono::steady_clock;
    struct Kept {
        std::string key;
        QImage image;
        Clock::time_point drawn;  // when last drawn, or loaded to be drawn
    };
    std::list<Kept> kept;  // the one drawn last first
    std::unordered_map<std::string, std::list<Kept>::iterator> keptByKey;
    long long keptTotal = 0;
    std::unordered_map<std::string, QSizeF> sizes;
    std::unordered_set<std::string> failed;
    // The keys being loaded, each with the callbacks of every caller that asked meanwhile.
    std::unordered_map<std::string, std::vector<std::function<void()>>> inFlight;

    void drop(std::list<Kept>::iterator entry)
    {
        keptTotal -= entry->image.sizeInBytes();
        heldBytes() -= entry->image.sizeInBytes();
        keptByKey.erase(entry->key);
        kept.erase(entry);
    }

    // Keeps a picture; lets go of those drawn least recently past the bound,
    // but never one drawn within keptForMs (what is shown stays).
    void keep(const std::string& key, const QImage& image, bool toDraw)
    {
        if (const auto found = keptByKey.find(key); found != keptByKey.end())
            drop(found->second);
        kept.push_front({key, image, toDraw ? Clock::now() : Clock::time_point()});
        keptByKey[key] = kept.begin();
        keptTotal += image.sizeInBytes();
        heldBytes() += image.sizeInBytes();
        trim();
    }

    // Lets go of those drawn least recently past the bound. What is past it only for
    // having been drawn lately goes once that is keptForMs ago, whether or not
    // anything is drawn or loaded meanwhile (a scroll that stops).
    void trim()
    {
        const Clock::time_point recent = Clock::now() - std::chrono::milliseconds(keptForMs);
        for (auto it = std::prev(kept.end()); keptTotal > keptBytes && it != kept.begin();) {
            const auto older = it--;
            if (older->drawn < recent)
                drop(older);
        }
        // The picture drawn last stays whatever its size: no call back for it alone.
        QCoreApplication* app = QCoreApplication::instance();
        if (keptTotal <= keptBytes || kept.size() < 2 || trimScheduled || !app)
            return;
        trimScheduled = true;
        QTimer::singleShot(keptForMs, app, [this] {
            trimScheduled = false;
            trim();
        });
    }
    bool trimScheduled = false;
};

State& state()
{
    static State s;
    return s;
}

bool onMainThread()
{
    const QCoreApplication* app = QCoreApplication::instance();
    return !app || QThread::currentThread() == app->thread();
}

std::string lowercasedAscii(std::string text)
{
    std::transform(text.begin(), text.end(), text.begin(), [](unsigned char c) { return char(std::tolower(c)); });
    return text;
}

// The resolved address of a source, when it has a scheme.
std::optional<Url> resolvedAddress(U16View source, const std::optional<Url>& base)
{
    std::optional<Url> url = LinkRouter::resolvePicture(source, base);
    if (!url || !url->hasScheme())
        return std::nullopt;
    return url;
}

void store(const std::string& key, const QImage& image, bool toDraw = false, std::optional<QSizeF> sizeAlone = {})
{
    State& s = state();
    if (image.isNull() && sizeAlone) {
        // Read for its size alone: its pixels come when it is drawn.
        s.sizes[key] = *sizeAlone;
        s.failed.erase(key);
    } else if (image.isNull()) {
        s.failed.insert(key);
        s.sizes.erase(key);
        if (const auto found = s.keptByKey.find(key); found != s.keptByKey.end())
            s.drop(found->second);
    } else {
        s.sizes[key] = image.deviceIndependentSize();
        s.keep(key, image, toDraw);
        s.failed.erase(key);
    }
}

// Records a load's result, ends the load and calls back every caller that waited
// for it (main thread). A callback may ask for the key again: it finds it settled.
void finishLoad(const std::string& key, const QImage& image, bool toDraw, std::optional<QSizeF> sizeAlone = {},
                bool onItsWay = false)
{
    if (onItsWay)
        heldBytes() -= image.sizeInBytes();
    store(key, image, toDraw, sizeAlone);
    State& s = state();
    std::vector<std::function<void()>> waiting;
    if (auto it = s.inFlight.find(key); it != s.inFlight.end()) {
        waiting = std::move(it->second);
        s.inFlight.erase(it);
    }
    for (const std::function<void()>& changed : waiting)
        if (changed)
            changed();
}

// On a worker thread: decodes, then hands the result to the main thread. When the
// application has gone away meanwhile, the result is dropped with the process.
// A picture no drawing asked for (`toDraw` false) is read for its size alone,
// from its header where that is sure, once the pixels kept and on their way
// take half the bound: it would soon be let go again.
void decodeAndApply(const std::string& key, const std::optional<QByteArray>& data, bool toDraw)
{
    QImage image;
    std::optional<QSizeF> size;
    try {
        const bool sizeAlone = !toDraw && heldBytes().load() > keptBytes / 2;
        if (const std::optional<QSize> declared = data && sizeAlone ? PictureFile::decodedSize(*data) : std::nullopt)
            size = QSizeF(*declared);
        else
            image = data ? decode(*data) : QImage();
    } catch (const std::bad_alloc&) {
        image = QImage();  // a picture there is no memory for is one that failed
    }
    QCoreApplication* app = QCoreApplication::instance();
    if (!app)
        return;
    heldBytes() += image.sizeInBytes();
    QMetaObject::invokeMethod(
        app, [key, image = std::move(image), toDraw, size] { finishLoad(key, image, toDraw, size, true); },
        Qt::QueuedConnection);
}

QNetworkAccessManager& network()
{
    static QPointer<QNetworkAccessManager> manager;
    if (!manager)
        manager = new QNetworkAccessManager(QCoreApplication::instance());
    return *manager;
}

// Starts a download that stops at maxBytes; `done` gets the body, or nothing when it failed.
QNetworkReply* download(const Url& url, const std::function<void(std::optional<QByteArray>)>& done)
{
    QNetworkRequest request(QUrl(QString::fromStdString(url.string())));
    request.setTransferTimeout(downloadTimeoutMs);
    request.setAttribute(QNetworkRequest::RedirectPolicyAttribute, QNetworkRequest::NoLessSafeRedirectPolicy);
    QNetworkReply* reply = network().get(request);
    reply->setReadBufferSize(0);
    auto tooLarge = std::make_shared<bool>(false);
    QObject::connect(reply, &QNetworkReply::metaDataChanged, reply, [reply, tooLarge] {
        const QVariant length = reply->header(QNetworkRequest::ContentLengthHeader);
        if (!*tooLarge && length.isValid() && length.toLongLong() > maxBytes) {
            *tooLarge = true;
            // Aborting from inside the header notification upsets the reply; do it next turn.
            QMetaObject::invokeMethod(reply, &QNetworkReply::abort, Qt::QueuedConnection);
        }
    });
    QObject::connect(reply, &QNetworkReply::downloadProgress, reply, [reply, tooLarge](qint64 received, qint64) {
        if (!*tooLarge && received > maxBytes) {
            *tooLarge = true;
            reply->abort();
        }
    });
    QObject::connect(reply, &QNetworkReply::finished, reply, [reply, tooLarge, done] {
        reply->deleteLater();
        // An error status still carries a body; whether it is a picture is for decoding to say.
        const QNetworkReply::NetworkError error = reply->error();
        const bool transportFailed = error != QNetworkReply::NoError && error < QNetworkReply::ContentAccessDenied;
        if (*tooLarge || transportFailed) {
            done(std::nullopt);
            return;
        }
        QByteArray body = reply->readAll();
        if (body.size() > maxBytes)
            done(std::nullopt);
        else
            done(std::move(body));
    });
    return reply;
}

std::optional<QByteArray> readAddress(const Url& url)
{
    if (url.isFileURL())
        return readRegularFile(url.path());
    return std::nullopt;
}

// Takes a download down before a synchronous load returns. Left to a deferred
// deletion, a reply would live on until the process ends (no event loop may
// run again), and the manager's network thread stops then in the same breath,
// before it can free its half of the download.
void discard(const QPointer<QNetworkReply>& reply)
{
    if (!reply)
        return;
    if (reply->isRunning())
        reply->abort();
    delete reply.data();
}

} // namespace

std::optional<QByteArray> readRegularFile(const std::string& path, long long limit)
{
    return PictureFile::readRegularFile(path, limit);
}

QImage decode(const QByteArray& data)
{
    QImage image = PictureFile::decode(data);
    if (image.isNull() || image.width() <= 0 || image.height() <= 0)
        return {};
    return image;
}

std::optional<std::string> key(U16View source, const std::optional<Url>& base)
{
    const std::optional<Url> url = resolvedAddress(source, base);
    if (!url)
        return std::nullopt;
    return url->absoluteString();
}

const QImage* cachedImage(const std::string& key)
{
    State& s = state();
    const auto found = s.keptByKey.find(key);
    if (found == s.keptByKey.end())
        return nullptr;
    // Drawn now: first in line to stay.
    s.kept.splice(s.kept.begin(), s.kept, found->second);
    found->second->drawn = State::Clock::now();
    return &found->second->image;
}

std::optional<QSizeF> pictureSize(const std::string& key)
{
    const State& s = state();
    const auto found = s.sizes.find(key);
    return found == s.sizes.end() ? std::nullopt : std::optional<QSizeF>(found->second);
}

QSizeF shownSize(const std::string& key)
{
    return pictureSize(key).value_or(QSizeF());
}

long long keptPixelBytes()
{
    return state().keptTotal;
}

bool hasFailed(const std::string& key)
{
    return state().failed.count(key) != 0;
}

bool isLoading(const std::string& key)
{
    return state().inFlight.count(key) != 0;
}

const std::unordered_set<std::string>& failedKeys()
{
    return state().failed;
}

namespace {

// Starts the load of a key that is not kept, failed or loading (main thread).
void startLoad(const std::string& k, const Url& url, std::function<void()> changed, bool toDraw)
{
    State& s = state();
    const std::string scheme = lowercasedAscii(url.scheme());
    if (scheme != "file" && scheme != "http" && scheme != "https") {
        s.failed.insert(k);
        if (changed)
            changed();
        return;
    }
    // A second caller while the key loads (another window on the same picture) is answered with the first.
    if (auto it = s.inFlight.find(k); it != s.inFlight.end()) {
        it->second.push_back(std::move(changed));
        return;
    }
    s.inFlight[k].push_back(std::move(changed));
    if (!QCoreApplication::instance()) {  // no event loop to come back on: load at once
        std::optional<QByteArray> data = scheme == "file" ? readRegularFile(url.path()) : std::nullopt;
        finishLoad(k, data ? decode(*data) : QImage(), toDraw);
        return;
    }
    if (scheme == "file") {
        BackgroundThreads::start([k, path = url.path(), toDraw] { decodeAndApply(k, readRegularFile(path), toDraw); });
        return;
    }
    download(url, [k, toDraw](std::optional<QByteArray> body) mutable {
        BackgroundThreads::start([k, body = std::move(body), toDraw] { decodeAndApply(k, body, toDraw); });
    });
}

// Reads or downloads the picture at once and records it, to be drawn.
void loadNow(const std::string& k, const Url& url)
{
    const std::string scheme = lowercasedAscii(url.scheme());
    std::optional<QByteArray> data;
    if (scheme == "file") {
        data = readAddress(url);
    } else if ((scheme == "http" || scheme == "https") && QCoreApplication::instance()) {
        QEventLoop loop;
        bool finished = false;
        const QPointer<QNetworkReply> reply = download(url, [&](std::optional<QByteArray> body) {
            data = std::move(body);
            finished = true;
            loop.quit();
        });
        if (!finished)
            loop.exec(QEventLoop::ExcludeUserInputEvents);
        discard(reply);
    }
    store(k, data ? decode(*data) : QImage(), true);
}

} // namespace

void ensureLoaded(U16View source, const std::optional<Url>& base, std::function<void()> changed)
{
    Q_ASSERT(onMainThread());
    const std::optional<Url> url = resolvedAddress(source, base);
    if (!url)
        return;
    const std::string k = url->absoluteString();
    const State& s = state();
    if (s.keptByKey.count(k) || s.failed.count(k))
        return;
    startLoad(k, *url, std::move(changed), false);
}

void reload(const std::string& key, std::function<void()> changed)
{
    Q_ASSERT(onMainThread());
    const State& s = state();
    if (!s.sizes.count(key) || s.keptByKey.count(key) || s.failed.count(key) || s.inFlight.count(key))
        return;
    if (const std::optional<Url> url = Url::parse(key))
        startLoad(key, *url, std::move(changed), true);
}

void reloadSynchronously(const std::string& key)
{
    Q_ASSERT(onMainThread());
    const State& s = state();
    if (!s.sizes.count(key) || s.keptByKey.count(key) || s.failed.count(key))
        return;
    if (const std::optional<Url> url = Url::parse(key))
        loadNow(key, *url);
}

void loadSynchronously(U16View source, const std::optional<Url>& base)
{
    Q_ASSERT(onMainThread());
    const std::optional<Url> url = resolvedAddress(source, base);
    if (!url)
        return;
    const std::string k = url->absoluteString();
    if (state().keptByKey.count(k))
        return;
    loadNow(k, *url);
}

void loadAllSynchronously(const std::vector<U16String>& sources, const std::optional<Url>& base, int budgetMs)
{
    Q_ASSERT(onMainThread());
    State& s = state();
    std::vector<std::pair<std::string, Url>> remote;
    std::unordered_set<std::string> seen;
    for (const U16String& source : sources) {
        const std::optional<Url> url = resolvedAddress(source, base);
        if (!url)
            continue;
        std::string k = url->absoluteString();
        if (!seen.insert(k).second || s.sizes.count(k))
            continue;  // loaded before: drawing loads it again if it was let go
        const std::string scheme = lowercasedAscii(url->scheme());
        if (scheme == "file") {
            const std::optional<QByteArray> data = readAddress(*url);
            store(k, data ? decode(*data) : QImage());
        } else if (scheme != "http" && scheme != "https") {
            s.failed.insert(k);
        } else if (!s.failed.count(k)) {
            remote.push_back({std::move(k), *url});
        }
    }
    if (remote.empty())
        return;
    if (!QCoreApplication::instance()) {
        for (const auto& entry : remote)
            s.failed.insert(entry.first);
        return;
    }
    // Every download starts at once; the budget is for all of them together.
    // Results go straight into the cache; the aborts at the end report theirs
    // there too, after the loop has gone.
    struct Progress {
        int pending = 0;
        QEventLoop loop;
    };
    auto progress = std::make_shared<Progress>();
    progress->pending = int(remote.size());
    std::vector<QPointer<QNetworkReply>> replies;
    for (const auto& [k, url] : remote) {
        std::weak_ptr<Progress> weak = progress;
        replies.emplace_back(download(url, [k = k, weak](std::optional<QByteArray> body) {
            store(k, body ? decode(*body) : QImage());
            if (auto p = weak.lock(); p && --p->pending == 0)
                p->loop.quit();
        }));
    }
    QTimer budget;
    budget.setSingleShot(true);
    QObject::connect(&budget, &QTimer::timeout, &progress->loop, &QEventLoop::quit);
    budget.start(std::max(0, budgetMs));
    if (progress->pending > 0)
        progress->loop.exec(QEventLoop::ExcludeUserInputEvents);
    // What has not arrived within the budget has failed, for the rest of the run.
    for (const auto& [k, url] : remote)
        if (!s.sizes.count(k))
            s.failed.insert(k);
    progress.reset();
    for (const QPointer<QNetworkReply>& reply : replies)
        discard(reply);
}

} // namespace velkin::ImageCache
