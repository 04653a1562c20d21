#include "app/UpdateFeed.h"

#include <QXmlStreamReader>

namespace velkin::UpdateFeed {

namespace {

// A version split into its release numbers and its pre-release tag.
struct Parts {
    std::vector<qulonglong> numbers;
    std::vector<QStringView> tag;
};

Parts split(QStringView v)
{
    Parts parts;
    v = v.trimmed();
    if (v.startsWith(u'v') || v.startsWith(u'V'))
        v = v.mid(1);
    qsizetype i = 0;
    while (i < v.size()) {
        qsizetype start = i;
        while (i < v.size() && v[i].isDigit() && v[i].unicode() < 128)
            ++i;
        if (i == start)
            break;
        // Absurdly long components saturate rather than overflow.
        bool ok = false;
        qulonglong n = v.mid(start, i - start).toULongLong(&ok);
        parts.numbers.push_back(ok ? n : ~0ULL);
        if (i < v.size() && v[i] == u'.' && i + 1 < v.size() && v[i + 1].isDigit())
            ++i;
        else
            break;
    }
    QStringView rest = v.mid(i);
    // Build metadata ("+build.5") does not order versions.
    if (const qsizetype plus = rest.indexOf(u'+'); plus >= 0)
        rest = rest.left(plus);
    while (!rest.isEmpty() && (rest.front() == u'-' || rest.front() == u'.' || rest.front() == u'_'))
        rest = rest.mid(1);
    qsizetype p = 0;
    while (p < rest.size()) {
        qsizetype start = p;
        const bool digits = rest[p].isDigit();
        while (p < rest.size() && rest[p] != u'.' && rest[p] != u'-' && rest[p].isDigit() == digits)
            ++p;
        if (p > start)
            parts.tag.push_back(rest.mid(start, p - start));
        while (p < rest.size() && (rest[p] == u'.' || rest[p] == u'-'))
            ++p;
    }
    return parts;
}

int compareTagPart(QStringView a, QStringView b)
{
    const bool an = !a.isEmpty() && a.front().isDigit(), bn = !b.isEmpty() && b.front().isDigit();
    if (an && bn) {
        const qulonglong x = a.toULongLong(), y = b.toULongLong();
        return x < y ? -1 : x > y ? 1 : 0;
    }
    if (an != bn)
        return an ? -1 : 1;
    return a.compare(b, Qt::CaseInsensitive);
}

QString text(QXmlStreamReader& xml)
{
    return xml.readElementText(QXmlStreamReader::IncludeChildElements).trimmed();
}

// Attributes are read by local name: feeds name their namespace in different ways.
QStringView attribute(const QXmlStreamAttributes& attributes, QStringView name)
{
    for (const QXmlStreamAttribute& a : attributes)
        if (a.name() == name)
            return a.value();
    return {};
}

std::optional<Item> readItem(QXmlStreamReader& xml)
{
    Item item;
    while (xml.readNextStartElement()) {
        const QStringView name = xml.name();
        if (name == u"title" && xml.namespaceUri().isEmpty()) {
            item.title = text(xml);
        } else if (name == u"version") {
            item.version = text(xml);
        } else if (name == u"shortVersionString") {
            item.shortVersion = text(xml);
        } else if (name == u"pubDate") {
            item.published = QDateTime::fromString(text(xml), Qt::RFC2822Date);
        } else if (name == u"minimumSystemVersion") {
            item.minimumSystemVersion = text(xml);
        } else if (name == u"releaseNotesLink") {
            item.releaseNotesLink = QUrl(text(xml), QUrl::StrictMode);
        } else if (name == u"description") {
            item.description = text(xml);
        } else if (name == u"enclosure") {
            const QXmlStreamAttributes a = xml.attributes();
            item.enclosure.url = QUrl(attribute(a, u"url").toString(), QUrl::StrictMode);
            bool ok = false;
            item.enclosure.length = attribute(a, u"length").toLongLong(&ok);
            if (!ok)
                item.enclosure.length = 0;
            item.enclosure.type = attribute(a, u"type").toString();
            item.enclosure.edSignature = attribute(a, u"edSignature").toLatin1();
            if (item.version.isEmpty())
                item.version = attribute(a, u"version").toString();
            if (item.shortVersion.isEmpty())
                item.shortVersion = attribute(a, u"shortVersionString").toString();
            xml.skipCurrentElement();
        } else {
            xml.skipCurrentElement();
        }
    }
    if (xml.hasError())
        return std::nullopt;
    // An item that names no version or offers nothing to download is no release of ours.
    if (item.version.isEmpty() || !item.enclosure.url.isValid() || item.enclosure.url.isRelative()
        || item.enclosure.length <= 0 || item.enclosure.edSignature.isEmpty())
        return std::nullopt;
    return item;
}

} // namespace

std::optional<std::vector<Item>> parse(const QByteArray& bytes, QString* error)
{
    QXmlStreamReader xml(bytes);
    std::vector<Item> items;
    auto fail = [&](const QString& why) -> std::optional<std::vector<Item>> {
        if (error)
            *error = why;
        return std::nullopt;
    };
    if (!xml.readNextStartElement())
        return fail(xml.hasError() ? xml.errorString() : QStringLiteral("empty document"));
    if (xml.name() != u"rss")
        return fail(QStringLiteral("not an RSS feed"));
    bool sawChannel = false;
    while (xml.readNextStartElement()) {
        if (xml.name() != u"channel") {
            xml.skipCurrentElement();
            continue;
        }
        sawChannel = true;
        while (xml.readNextStartElement()) {
            if (xml.name() == u"item") {
                if (std::optional<Item> item = readItem(xml))
                    items.push_back(std::move(*item));
            } else {
                xml.skipCurrentElement();
            }
        }
    }
    // Strict: the whole document must be well formed, not just its first items.
    while (!xml.atEnd() && !xml.hasError())
        xml.readNext();
    if (xml.hasError())
        return fail(QStringLiteral("line %1: %2").arg(xml.lineNumber()).arg(xml.errorString()));
    if (!sawChannel)
        return fail(QStringLiteral("no channel"));
    return items;
}

int compareVersions(QStringView a, QStringView b)
{
    const Parts x = split(a), y = split(b);
    const size_t n = std::max(x.numbers.size(), y.numbers.size());
    for (size_t i = 0; i < n; ++i) {
        const qulonglong p = i < x.numbers.size() ? x.numbers[i] : 0;
        const qulonglong q = i < y.numbers.size() ? y.numbers[i] : 0;
        if (p != q)
            return p < q ? -1 : 1;
    }
    // A release comes after its own pre-releases.
    if (x.tag.empty() != y.tag.empty())
        return x.tag.empty() ? 1 : -1;
    const size_t m = std::min(x.tag.size(), y.tag.size());
    for (size_t i = 0; i < m; ++i)
        if (const int c = compareTagPart(x.tag[i], y.tag[i]); c != 0)
            return c < 0 ? -1 : 1;
    return x.tag.size() == y.tag.size() ? 0 : (x.tag.size() < y.tag.size() ? -1 : 1);
}

std::optional<Item> newest(const std::vector<Item>& items, QStringView systemVersion)
{
    std::optional<Item> best;
    for (const Item& item : items) {
        if (!systemVersion.isEmpty() && !item.minimumSystemVersion.isEmpty()
            && compareVersions(item.minimumSystemVersion, systemVersion) > 0)
            continue;
        if (!best || compareVersions(item.version, best->version) > 0)
            best = item;
    }
    return best;
}

} // namespace velkin::UpdateFeed
