#include "help/HelpLink.h"

#include "help/HelpBook.h"
#include "platform/text/CharacterClass.h"
#include "platform/text/TextOps.h"

#include <QString>
#include <QUrl>

namespace velkin {

namespace {

QString qstring(U16View text)
{
    return QString::fromUtf16(text.data(), qsizetype(text.size()));
}

U16String u16string(const QString& text)
{
    return U16String(reinterpret_cast<const char16_t*>(text.utf16()), size_t(text.size()));
}

} // namespace

std::optional<U16String> HelpLink::pageIDForTarget(U16View target)
{
    const U16View t = trimmed(target, TrimSet::Whitespace);
    if (t.empty() || t.find(u'/') != U16View::npos || t.find(u':') != U16View::npos)
        return std::nullopt;
    const size_t dot = t.rfind(u'.');
    if (dot == U16View::npos || dot == 0)
        return std::nullopt;
    if (TextOps::asciiLowercased(t.substr(dot + 1)) != u"md")
        return std::nullopt;
    return U16String(t.substr(0, dot));
}

HelpLink HelpLink::destination(U16View target, const HelpBook& book)
{
    const U16View t = trimmed(target, TrimSet::Whitespace);
    if (t.empty())
        return none();
    if (t[0] == u'#')
        return t.size() > 1 ? anchorLink(U16String(t.substr(1))) : none();

    const QUrl url(qstring(t), QUrl::StrictMode);
    if (url.isValid() && !url.scheme().isEmpty()) {
        if (url.isLocalFile()) {
            const auto id = pageIDForTarget(u16string(url.fileName(QUrl::FullyDecoded)));
            if (id && book.page(*id)) {
                const QString fragment = url.fragment(QUrl::FullyDecoded);
                return page(*id, fragment.isEmpty() ? std::nullopt : std::optional<U16String>(u16string(fragment)));
            }
        }
        return external(U16String(t));
    }

    const size_t hash = t.find(u'#');
    const U16View path = t.substr(0, hash);
    const auto id = pageIDForTarget(path);
    if (!id || !book.page(*id))
        return none();
    if (hash != U16View::npos && hash + 1 < t.size())
        return page(*id, U16String(t.substr(hash + 1)));
    return page(*id);
}

} // namespace velkin
