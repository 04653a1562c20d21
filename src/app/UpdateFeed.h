#pragma once
// The update feed: an RSS 2.0 channel whose items each describe one release
// (the common "appcast" form). Parsing is strict: a feed that is not well-formed
// XML, or not RSS, is an error; an item without a usable download is skipped.
#include <QByteArray>
#include <QDateTime>
#include <QString>
#include <QUrl>

#include <optional>
#include <vector>

namespace velkin::UpdateFeed {

struct Enclosure {
    QUrl url;
    qint64 length = 0;       // bytes, as the feed declares them
    QString type;
    QByteArray edSignature;  // base64 of the Ed25519 signature of the file
};

struct Item {
    QString title;
    QString version;             // the machine version, compared for order
    QString shortVersion;        // the version shown to people (the version when absent)
    QDateTime published;         // invalid when the feed gives none
    QString minimumSystemVersion;
    QUrl releaseNotesLink;
    QString description;         // inline release notes (Markdown or plain text)
    Enclosure enclosure;

    QString displayVersion() const { return shortVersion.isEmpty() ? version : shortVersion; }
};

// The items of a feed, in feed order; nothing (and `error` filled in) when the
// text is no well-formed RSS feed.
std::optional<std::vector<Item>> parse(const QByteArray& xml, QString* error = nullptr);

// Orders two versions: numeric dot-separated components first (1.10 > 1.9,
// missing components count as 0), then a release before its pre-releases
// (2.0 > 2.0-beta), pre-release tags compared part by part (numbers by value,
// below words). Negative, zero or positive.
int compareVersions(QStringView a, QStringView b);

// The newest item that runs on `systemVersion` (items asking for a newer system
// are left out; an empty system version accepts every item).
std::optional<Item> newest(const std::vector<Item>& items, QStringView systemVersion = {});

} // namespace velkin::UpdateFeed
