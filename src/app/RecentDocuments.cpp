#include "app/RecentDocuments.h"

#include "platform/Settings.h"
#include "platform/text/Utf.h"
#include "platform/url/Url.h"

#include <QDir>

#include <algorithm>
#include <cmath>
#include <memory>

namespace velkin::RecentDocuments {

namespace fs = std::filesystem;

namespace {

const QString filesKey = QStringLiteral("RecentDocuments/files");
const QString stateGroup = QStringLiteral("DocumentState");
// States kept before those of files that no longer exist are dropped.
constexpr int stateLimit = 200;

// A path as one settings key, each byte kept: its slashes would otherwise open groups.
QString stateKey(const fs::path& file)
{
    const std::string bytes = fs::absolute(file).string();
    return stateGroup + QLatin1Char('/') + QString::fromLatin1(QByteArray::fromStdString(bytes).toPercentEncoding());
}

} // namespace

QString entry(const fs::path& file)
{
    // As the window keeps it: nothing tidied by its letters.
    const std::string bytes = fs::absolute(file).string();
    if (decodeUtf8Strict(bytes))
        return QString::fromStdString(bytes);
    return QStringLiteral("file://") + QString::fromLatin1(Url::percentEncode(bytes));
}

fs::path file(const QString& entry)
{
    if (entry.startsWith(QLatin1String("file://")))
        if (const auto bytes = Url::percentDecode(entry.mid(7).toStdString()))
            return fs::path(*bytes);
    return fs::path(entry.toStdString());
}

QStringList noted(QStringList list, const QString& file, int maximum)
{
    list.removeAll(file);
    list.prepend(file);
    while (list.size() > std::max(0, maximum))
        list.removeLast();
    return list;
}

QStringList files()
{
    QStringList list = Settings::open()->value(filesKey).toStringList();
    list.removeAll(QString());
    return list;
}

void note(const fs::path& file)
{
    Settings::open()->setValue(filesKey, noted(files(), entry(file)));
}

void remove(const QString& file)
{
    QStringList list = files();
    list.removeAll(file);
    Settings::open()->setValue(filesKey, list);
}

void clear()
{
    Settings::open()->remove(filesKey);
}

std::optional<WindowState> windowState(const fs::path& file)
{
    const QStringList saved = Settings::open()->value(stateKey(file)).toStringList();
    if (saved.size() != 2)
        return std::nullopt;
    bool number = false;
    const double zoom = saved[0].toDouble(&number);
    const auto family = FontFamily::fromRawValue(saved[1].toStdString());
    if (!number || !std::isfinite(zoom) || !family)
        return std::nullopt;
    return WindowState{std::clamp(zoom, 0.6, 3.0), *family};
}

void saveWindowState(const fs::path& file, const WindowState& state)
{
    auto store = Settings::open();
    if (state == WindowState{}) {
        store->remove(stateKey(file));
        return;
    }
    store->setValue(stateKey(file), QStringList{QString::number(state.zoom, 'g', 17),
                                                QString::fromLatin1(FontFamily::rawValue(state.fontFamily))});
    store->beginGroup(stateGroup);
    const QStringList keys = store->childKeys();
    if (keys.size() > stateLimit)
        for (const QString& key : keys)
            if (std::error_code ec; !fs::exists(QByteArray::fromPercentEncoding(key.toLatin1()).toStdString(), ec))
                store->remove(key);
    store->endGroup();
}

} // namespace velkin::RecentDocuments
