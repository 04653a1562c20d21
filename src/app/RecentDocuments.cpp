#include "app/RecentDocuments.h"

#include "platform/Settings.h"

#include <QDir>
#include <QFileInfo>
#include <QUrl>

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

QString pathText(const fs::path& file)
{
    // As the window keeps it: nothing tidied by its letters.
    return QString::fromStdString(fs::absolute(file).string());
}

// A path as one settings key: its slashes would otherwise open groups.
QString stateKey(const QString& path)
{
    return stateGroup + QLatin1Char('/') + QString::fromLatin1(QUrl::toPercentEncoding(path));
}

} // namespace

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
    Settings::open()->setValue(filesKey, noted(files(), pathText(file)));
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
    const QStringList saved = Settings::open()->value(stateKey(pathText(file))).toStringList();
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
    const QString path = pathText(file);
    if (state == WindowState{}) {
        store->remove(stateKey(path));
        return;
    }
    store->setValue(stateKey(path), QStringList{QString::number(state.zoom, 'g', 17),
                                                QString::fromLatin1(FontFamily::rawValue(state.fontFamily))});
    store->beginGroup(stateGroup);
    const QStringList keys = store->childKeys();
    if (keys.size() > stateLimit)
        for (const QString& key : keys)
            if (!QFileInfo::exists(QUrl::fromPercentEncoding(key.toLatin1())))
                store->remove(key);
    store->endGroup();
}

} // namespace velkin::RecentDocuments
