#include "platform/url/Url.h"

#include "platform/text/CharacterClass.h"

#include <filesystem>
#include <vector>

namespace velkin {

namespace {

using CharacterClass::asciiHexValue;
using CharacterClass::isAsciiHexDigit;

bool isAlpha(unsigned char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }
bool isDigit(unsigned char c) { return c >= '0' && c <= '9'; }

bool isUnreserved(unsigned char c)
{
    return isAlpha(c) || isDigit(c) || c == '-' || c == '.' || c == '_' || c == '~';
}
bool isSubDelim(unsigned char c)
{
    return c == '!' || c == '$' || c == '&' || c == '\'' || c == '(' || c == ')' || c == '*' || c == '+' || c == ','
        || c == ';' || c == '=';
}
// Any character an address may hold, reserved ones included.
bool isAddressChar(unsigned char c)
{
    return isUnreserved(c) || isSubDelim(c) || c == ':' || c == '/' || c == '?' || c == '#' || c == '[' || c == ']'
        || c == '@' || c == '%';
}

std::string removeDotSegments(const std::string& path)
{
    std::vector<std::string> out;
    size_t i = 0;
    const bool absolute = !path.empty() && path[0] == '/';
    std::vector<std::string> segments;
    size_t start = absolute ? 1 : 0;
    for (i = start; i <= path.size(); ++i) {
        if (i == path.size() || path[i] == '/') {
            segments.push_back(path.substr(start, i - start));
            start = i + 1;
        }
    }
    for (size_t k = 0; k < segments.size(); ++k) {
        const std::string& s = segments[k];
        const bool last = k + 1 == segments.size();
        if (s == ".") {
            if (last)
                out.push_back("");
        } else if (s == "..") {
            if (!out.empty())
                out.pop_back();
            if (last)
                out.push_back("");
        } else {
            out.push_back(s);
        }
    }
    std::string result = absolute ? "/" : "";
    for (size_t k = 0; k < out.size(); ++k) {
        if (k)
            result += '/';
        result += out[k];
    }
    return result;
}

} // namespace

bool Url::isPathAllowed(unsigned char c)
{
    return isUnreserved(c) || isSubDelim(c) || c == ':' || c == '@' || c == '/';
}

std::string Url::percentEncode(std::string_view text, bool (*allowed)(unsigned char))
{
    static const char* digits = "0123456789ABCDEF";
    std::string out;
    out.reserve(text.size());
    for (unsigned char c : text) {
        if (allowed(c)) {
            out.push_back(char(c));
        } else {
            out.push_back('%');
            out.push_back(digits[c >> 4]);
            out.push_back(digits[c & 15]);
        }
    }
    return out;
}

std::optional<std::string> Url::percentDecode(std::string_view text)
{
    std::string out;
    out.reserve(text.size());
    for (size_t i = 0; i < text.size(); ++i) {
        const unsigned char c = static_cast<unsigned char>(text[i]);
        if (c != '%') {
            out.push_back(char(c));
            continue;
        }
        if (i + 2 >= text.size() || !isAsciiHexDigit(static_cast<unsigned char>(text[i + 1]))
            || !isAsciiHexDigit(static_cast<unsigned char>(text[i + 2])))
            return std::nullopt;
        out.push_back(char(asciiHexValue(static_cast<unsigned char>(text[i + 1])) * 16
                           + asciiHexValue(static_cast<unsigned char>(text[i + 2]))));
        i += 2;
    }
    return out;
}

bool Url::split(std::string_view text, Parts& parts)
{
    for (size_t i = 0; i < text.size(); ++i) {
        const unsigned char c = static_cast<unsigned char>(text[i]);
        if (!isAddressChar(c))
            return false;
        if (c == '%' && (i + 2 >= text.size() || !isAsciiHexDigit(static_cast<unsigned char>(text[i + 1]))
                         || !isAsciiHexDigit(static_cast<unsigned char>(text[i + 2]))))
            return false;
    }
    std::string_view rest = text;
    // Scheme: a letter, then letters, digits, "+", "-", "." up to ":".
    size_t colon = rest.find(':');
    if (colon != std::string_view::npos && colon > 0 && isAlpha(static_cast<unsigned char>(rest[0]))) {
        bool valid = true;
        for (size_t i = 1; i < colon; ++i) {
            const unsigned char c = static_cast<unsigned char>(rest[i]);
            if (!(isAlpha(c) || isDigit(c) || c == '+' || c == '-' || c == '.')) {
                valid = false;
                break;
            }
        }
        const size_t slash = rest.find_first_of("/?#");
        if (valid && (slash == std::string_view::npos || colon < slash)) {
            parts.scheme = std::string(rest.substr(0, colon));
            rest.remove_prefix(colon + 1);
        }
    }
    const size_t hash = rest.find('#');
    if (hash != std::string_view::npos) {
        parts.fragment = std::string(rest.substr(hash + 1));
        rest = rest.substr(0, hash);
    }
    const size_t question = rest.find('?');
    if (question != std::string_view::npos) {
        parts.query = std::string(rest.substr(question + 1));
        rest = rest.substr(0, question);
    }
    if (rest.substr(0, 2) == "//") {
        rest.remove_prefix(2);
        const size_t slash = rest.find('/');
        parts.authority = std::string(rest.substr(0, slash));
        rest = slash == std::string_view::npos ? std::string_view() : rest.substr(slash);
    }
    parts.path = std::string(rest);
    return true;
}

std::string Url::compose(const Parts& p)
{
    std::string out;
    if (!p.scheme.empty())
        out += p.scheme + ":";
    if (p.authority)
        out += "//" + *p.authority;
    out += p.path;
    if (p.query)
        out += "?" + *p.query;
    if (p.fragment)
        out += "#" + *p.fragment;
    return out;
}

Url::Parts Url::parts() const
{
    Parts p;
    split(text_, p);
    return p;
}

std::optional<Url> Url::parse(std::string_view text)
{
    Parts p;
    if (!split(text, p))
        return std::nullopt;
    Url url;
    url.text_ = std::string(text);
    url.scheme_ = p.scheme;
    return url;
}

std::optional<Url> Url::parse(std::string_view text, const Url& base)
{
    Parts r;
    if (!split(text, r))
        return std::nullopt;
    const Parts b = base.parts();
    Parts t;
    if (!r.scheme.empty()) {
        t = r;
        t.path = removeDotSegments(r.path);
    } else {
        if (r.authority) {
            t.authority = r.authority;
            t.path = removeDotSegments(r.path);
            t.query = r.query;
        } else {
            if (r.path.empty()) {
                t.path = b.path;
                t.query = r.query ? r.query : b.query;
            } else {
                if (r.path[0] == '/') {
                    t.path = removeDotSegments(r.path);
                } else {
                    std::string merged;
                    if (b.authority && b.path.empty())
                        merged = "/" + r.path;
                    else {
                        const size_t slash = b.path.rfind('/');
                        merged = (slash == std::string::npos ? std::string() : b.path.substr(0, slash + 1)) + r.path;
                    }
                    t.path = removeDotSegments(merged);
                }
                t.query = r.query;
            }
            t.authority = b.authority;
        }
        t.scheme = b.scheme;
    }
    t.fragment = r.fragment;
    Url url;
    url.text_ = compose(t);
    url.scheme_ = t.scheme;
    return url;
}

Url Url::fileURL(const std::string& path, bool isDirectory)
{
    std::filesystem::path p(path);
    if (p.is_relative()) {
        std::error_code ec;
        p = std::filesystem::current_path(ec) / p;
    }
    // Nothing is tidied: ".." after a link is the system's to resolve.
    std::string absolute = p.string();
    if (isDirectory && (absolute.empty() || absolute.back() != '/'))
        absolute += '/';
    Url url;
    url.text_ = "file://" + percentEncode(absolute);
    url.scheme_ = "file";
    return url;
}

bool Url::isFileURL() const
{
    return scheme_.size() == 4 && (scheme_[0] | 0x20) == 'f' && (scheme_[1] | 0x20) == 'i' && (scheme_[2] | 0x20) == 'l'
        && (scheme_[3] | 0x20) == 'e';
}

std::string Url::host() const
{
    const Parts p = parts();
    if (!p.authority)
        return "";
    std::string a = *p.authority;
    const size_t at = a.rfind('@');
    if (at != std::string::npos)
        a = a.substr(at + 1);
    const size_t colon = a.rfind(':');
    if (colon != std::string::npos && a.find(']') == std::string::npos)
        a = a.substr(0, colon);
    return a;
}

std::string Url::encodedPath() const { return parts().path; }

std::string Url::path() const
{
    const std::string encoded = encodedPath();
    auto decoded = percentDecode(encoded);
    std::string result = decoded ? *decoded : encoded;
    // Like a file system path, no trailing slash except for the root.
    if (result.size() > 1 && result.back() == '/')
        result.pop_back();
    return result;
}

std::optional<std::string> Url::query() const { return parts().query; }
std::optional<std::string> Url::fragment() const { return parts().fragment; }

std::string Url::lastPathComponent() const
{
    std::string p = path();
    if (p == "/")
        return "/";
    const size_t slash = p.rfind('/');
    return slash == std::string::npos ? p : p.substr(slash + 1);
}

std::string Url::pathExtension() const
{
    const std::string name = lastPathComponent();
    const size_t dot = name.rfind('.');
    if (dot == std::string::npos || dot == 0 || dot + 1 == name.size())
        return "";
    return name.substr(dot + 1);
}

Url Url::deletingLastPathComponent() const
{
    Parts p = parts();
    std::string path = p.path;
    if (path.size() > 1 && path.back() == '/')
        path.pop_back();
    const size_t slash = path.rfind('/');
    p.path = slash == std::string::npos ? std::string("./") : path.substr(0, slash + 1);
    p.query.reset();
    p.fragment.reset();
    Url url;
    url.text_ = compose(p);
    url.scheme_ = p.scheme;
    return url;
}

Url Url::appendingPathComponent(const std::string& component, bool isDirectory) const
{
    Parts p = parts();
    if (p.path.empty() || p.path.back() != '/')
        p.path += '/';
    p.path += percentEncode(component);
    if (isDirectory)
        p.path += '/';
    p.query.reset();
    p.fragment.reset();
    Url url;
    url.text_ = compose(p);
    url.scheme_ = p.scheme;
    return url;
}

Url Url::deletingPathExtension() const
{
    const std::string ext = pathExtension();
    if (ext.empty())
        return *this;
    Parts p = parts();
    const std::string encodedExt = percentEncode(ext);
    if (p.path.size() > encodedExt.size() + 1)
        p.path.erase(p.path.size() - encodedExt.size() - 1);
    Url url;
    url.text_ = compose(p);
    url.scheme_ = p.scheme;
    return url;
}

} // namespace velkin
