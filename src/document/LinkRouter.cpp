#include "document/LinkRouter.h"

#include "platform/text/CharacterClass.h"
#include "platform/text/Utf.h"

#include <filesystem>

namespace velkin::LinkRouter {

const std::vector<std::string>& markdownExtensions()
{
    static const std::vector<std::string> extensions{"md", "markdown", "mdown", "markdn", "mdtext", "txt", "text"};
    return extensions;
}

std::optional<Url> resolve(U16View target, const std::optional<Url>& base)
{
    const std::string text = u8(target);
    if (auto direct = Url::parse(text); direct && direct->hasScheme())
        return direct;
    // Everything outside the characters allowed in a path is encoded as UTF-8
    // bytes: spaces, "#", "?" and "%" among them.
    const std::string encoded = Url::percentEncode(text);
    if (base)
        return Url::parse(encoded, *base);
    return Url::parse(encoded);
}

std::optional<Url> resolvePicture(U16View target, const std::optional<Url>& base)
{
    std::optional<Url> url = resolve(target, base);
    if (!url || !url->isFileURL() || target.find(u'%') == U16View::npos)
        return url;
    std::error_code error;
    if (std::filesystem::exists(std::filesystem::path(url->path()), error))
        return url;
    const std::optional<std::string> decoded = Url::percentDecode(u8(target));
    if (!decoded)
        return url;
    std::optional<Url> other;
    if (const std::optional<U16String> text = decodeUtf8Strict(*decoded)) {
        other = resolve(*text, base);
    } else {
        // Escapes of bytes that are no UTF-8 name a file by its bytes (a name need not be UTF-8).
        const std::string kept = Url::percentEncode(u8(target), [](unsigned char c) { return Url::isPathAllowed(c) || c == '%'; });
        other = base ? Url::parse(kept, *base) : Url::parse(kept);
    }
    if (other && other->isFileURL() && std::filesystem::exists(std::filesystem::path(other->path()), error))
        return other;
    return url;
}

namespace {

bool isLocalFile(const std::optional<Url>& url)
{
    std::error_code error;
    return url && url->isFileURL() && std::filesystem::exists(std::filesystem::path(url->path()), error);
}

// A link's address: a relative target names a local file as a picture's does,
// percent-decoded when only that names one, and a "#" in it starts a fragment
// unless a file is named with it.
std::optional<Url> linkTarget(U16View target, const std::optional<Url>& base)
{
    if (auto direct = Url::parse(u8(target)); direct && direct->hasScheme())
        return direct;
    std::optional<Url> url = resolvePicture(target, base);
    const size_t hash = target.find(u'#');
    if (hash == U16View::npos || isLocalFile(url))
        return url;
    const std::optional<Url> file = resolvePicture(target.substr(0, hash), base);
    if (!file)
        return url;
    return Url::parse(file->string() + "#" + Url::percentEncode(u8(target.substr(hash + 1))));
}

} // namespace

Action action(U16View target, const std::optional<Url>& base)
{
    const U16View t = trimmed(target, TrimSet::Whitespace);
    if (t.empty() || t.front() == u'#')
        return Action::makeNone();
    const std::optional<Url> url = linkTarget(t, base);
    if (!url)
        return Action::makeNone();
    std::string ext = url->pathExtension();
    for (char& c : ext)
        if (c >= 'A' && c <= 'Z')
            c = char(c + 32);
    for (const std::string& md : markdownExtensions())
        if (ext == md)
            return Action::makeOpenDocument(*url);
    return Action::makeOpenInBrowser(*url);
}

} // namespace velkin::LinkRouter
