#include "platform/strings/LocalizedStrings.h"

#include "platform/FileRead.h"

#include "platform/DataPaths.h"
#include "platform/text/CharacterClass.h"
#include "platform/text/TextOps.h"
#include "platform/text/Utf.h"

#include <QLocale>
#include <QStringList>

#include <algorithm>
#include <fstream>
#include <sstream>

namespace velkin::LocalizedStrings {

namespace fs = std::filesystem;

namespace {

// A cursor over a table's text that counts lines for error messages.
class Parser {
public:
    explicit Parser(U16View text) : text_(text)
    {
        if (!text_.empty() && text_[0] == u'\uFEFF')
            pos_ = 1;
    }

    bool run(std::map<U16String, U16String, std::less<>>& entries, Table::Error& error)
    {
        for (;;) {
            if (!skipBlanksAndComments(error))
                return false;
            if (atEnd())
                return true;
            const int entryLine = line_;
            U16String key;
            if (!quoted(key, error))
                return false;
            if (!skipBlanksAndComments(error))
                return false;
            if (atEnd())
                return fail(error, entryLine, "entry ends without \";\"");
            U16String value;
            if (peek() == u';') {
                // "key"; alone stands for "key" = "key";
                value = key;
            } else {
                if (peek() != u'=')
                    return fail(error, line_, "expected \"=\" after a key");
                ++pos_;
                if (!skipBlanksAndComments(error))
                    return false;
                if (!quoted(value, error))
                    return false;
                if (!skipBlanksAndComments(error))
                    return false;
                if (atEnd() || peek() != u';')
                    return fail(error, entryLine, "entry ends without \";\"");
            }
            ++pos_;
            entries[std::move(key)] = std::move(value);
        }
    }

private:
    bool atEnd() const { return pos_ >= text_.size(); }
    char16_t peek(size_t ahead = 0) const { return pos_ + ahead < text_.size() ? text_[pos_ + ahead] : u'\0'; }

    bool fail(Table::Error& error, int line, std::string message)
    {
        error.line = line;
        error.message = std::move(message);
        return false;
    }

    void advance()
    {
        if (text_[pos_] == u'\n')
            ++line_;
        ++pos_;
    }

    bool skipBlanksAndComments(Table::Error& error)
    {
        while (!atEnd()) {
            const char16_t c = peek();
            if (CharacterClass::isWhitespaceOrNewline(c) || c == u'\uFEFF') {
                advance();
            } else if (c == u'/' && peek(1) == u'*') {
                const int opened = line_;
                pos_ += 2;
                while (!atEnd() && !(peek() == u'*' && peek(1) == u'/'))
                    advance();
                if (atEnd())
                    return fail(error, opened, "comment is never closed");
                pos_ += 2;
            } else if (c == u'/' && peek(1) == u'/') {
                while (!atEnd() && peek() != u'\n')
                    ++pos_;
            } else {
                return true;
            }
        }
        return true;
    }

    bool quoted(U16String& out, Table::Error& error)
    {
        if (peek() != u'"')
            return fail(error, line_, "expected a quoted string");
        const int opened = line_;
        ++pos_;
        while (!atEnd()) {
            const char16_t c = peek();
            if (c == u'"') {
                ++pos_;
                return true;
            }
            if (c != u'\\') {
                out.push_back(c);
                advance();
                continue;
            }
            ++pos_;
            if (atEnd())
                break;
            const char16_t e = peek();
            ++pos_;
            switch (e) {
            case u'n': out.push_back(u'\n'); break;
            case u't': out.push_back(u'\t'); break;
            case u'r': out.push_back(u'\r'); break;
            case u'a': out.push_back(u'\a'); break;
            case u'b': out.push_back(u'\b'); break;
            case u'f': out.push_back(u'\f'); break;
            case u'v': out.push_back(u'\v'); break;
            case u'0': out.push_back(u'\0'); break;
            case u'U':
            case u'u': {
                // Exactly four hex digits name one UTF-16 unit; surrogate pairs are
                // written as two escapes and simply follow each other.
                int value = 0;
                for (int i = 0; i < 4; ++i) {
                    const int digit = CharacterClass::asciiHexValue(peek());
                    if (digit < 0)
                        return fail(error, line_, "\\U needs four hex digits");
                    value = value * 16 + digit;
                    ++pos_;
                }
                out.push_back(char16_t(value));
                break;
            }
            case u'\n':
                ++line_;
                out.push_back(e);
                break;
            default:
                // \" \\ \' and any other escaped character stand for themselves.
                out.push_back(e);
                break;
            }
        }
        return fail(error, opened, "string is never closed");
    }

    U16View text_;
    size_t pos_ = 0;
    int line_ = 1;
};

std::optional<std::string> readFile(const fs::path& path)
{
    return FileRead::bytes(path);
}

std::string normalisedTag(std::string tag)
{
    for (char& c : tag) {
        if (c == '_')
            c = '-';
        else if (c >= 'A' && c <= 'Z')
            c = char(c - 'A' + 'a');
    }
    return tag;
}

} // namespace

std::optional<Table> Table::parse(U16View text, Error* error)
{
    Table table;
    Error local;
    Parser parser(text);
    if (!parser.run(table.entries_, local)) {
        if (error)
            *error = local;
        return std::nullopt;
    }
    return table;
}

std::optional<Table> Table::load(const fs::path& file, Error* error)
{
    const auto bytes = readFile(file);
    if (!bytes) {
        if (error)
            *error = {0, "cannot be read"};
        return std::nullopt;
    }
    const auto text = decodeUtf8Strict(*bytes);
    if (!text) {
        if (error)
            *error = {0, "is not UTF-8 text"};
        return std::nullopt;
    }
    return parse(*text, error);
}

const U16String* Table::find(U16View key) const
{
    const auto it = entries_.find(key);
    return it == entries_.end() ? nullptr : &it->second;
}

Catalog::Catalog(const fs::path& folder, const std::vector<std::string>& preferred)
{
    const std::vector<std::string> available = availableLanguages(folder);
    language_ = chooseLanguage(preferred, available);
    if (!language_.empty())
        if (auto table = Table::load(folder / (language_ + ".lproj") / "Localizable.strings"))
            chosen_ = std::move(*table);
    if (language_ != "en" && std::find(available.begin(), available.end(), "en") != available.end())
        if (auto table = Table::load(folder / "en.lproj" / "Localizable.strings"))
            english_ = std::move(*table);
}

U16String Catalog::text(U16View key, U16View defaultValue) const
{
    if (const U16String* value = chosen_.find(key))
        return *value;
    if (const U16String* value = english_.find(key))
        return *value;
    if (!defaultValue.empty())
        return U16String(defaultValue);
    return U16String(key);
}

std::vector<std::string> availableLanguages(const fs::path& folder)
{
    std::vector<std::string> names;
    std::error_code ec;
    for (fs::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec)) {
        const fs::path& path = it->path();
        if (path.extension() == ".lproj" && !path.stem().empty())
            names.push_back(path.stem().string());
    }
    std::sort(names.begin(), names.end());
    return names;
}

std::string chooseLanguage(const std::vector<std::string>& preferred, const std::vector<std::string>& available)
{
    auto lookup = [&](const std::string& tag) -> std::string {
        for (const std::string& name : available)
            if (normalisedTag(name) == tag)
                return name;
        return {};
    };
    for (const std::string& wanted : preferred) {
        std::string tag = normalisedTag(wanted);
        while (!tag.empty()) {
            if (std::string found = lookup(tag); !found.empty())
                return found;
            const size_t dash = tag.rfind('-');
            if (dash == std::string::npos)
                break;
            tag.erase(dash);
        }
    }
    if (std::string english = lookup("en"); !english.empty())
        return english;
    return {};
}

std::vector<std::string> preferredLanguages()
{
    std::vector<std::string> result;
    const QStringList languages = QLocale::system().uiLanguages();
    for (const QString& language : languages)
        result.push_back(language.toStdString());
    return result;
}

const Catalog& shared()
{
    static const Catalog catalog = [] {
        if (auto folder = DataPaths::findFolder("Localization"))
            return Catalog(*folder, preferredLanguages());
        return Catalog();
    }();
    return catalog;
}

U16String text(U16View key) { return shared().text(key); }
U16String text(U16View key, U16View defaultValue) { return shared().text(key, defaultValue); }

U16String Argument::text() const
{
    return isInteger_ ? TextOps::number(integer_) : text_;
}

U16String format(U16View pattern, const std::vector<Argument>& arguments)
{
    U16String out;
    out.reserve(pattern.size() + 16);
    size_t next = 0;  // the argument an unnumbered directive takes
    const size_t n = pattern.size();
    size_t i = 0;
    while (i < n) {
        const char16_t c = pattern[i];
        if (c != u'%') {
            out.push_back(c);
            ++i;
            continue;
        }
        if (i + 1 < n && pattern[i + 1] == u'%') {
            out.push_back(u'%');
            i += 2;
            continue;
        }
        // %[n$][l|ll](@|d|i|u)
        size_t j = i + 1;
        std::optional<size_t> position;
        size_t digitsEnd = j;
        size_t number = 0;
        while (digitsEnd < n && pattern[digitsEnd] >= u'0' && pattern[digitsEnd] <= u'9' && digitsEnd - j < 4) {
            number = number * 10 + size_t(pattern[digitsEnd] - u'0');
            ++digitsEnd;
        }
        if (digitsEnd > j && digitsEnd < n && pattern[digitsEnd] == u'$' && number >= 1) {
            position = number - 1;
            j = digitsEnd + 1;
        }
        int longs = 0;
        while (j < n && pattern[j] == u'l' && longs < 2) {
            ++longs;
            ++j;
        }
        const char16_t conversion = j < n ? pattern[j] : u'\0';
        const bool known = conversion == u'@' ? longs == 0
                                              : (conversion == u'd' || conversion == u'i' || conversion == u'u');
        const size_t index = position ? *position : next;
        if (!known || index >= arguments.size()) {
            // Leave what cannot be filled in as it was written.
            out.push_back(u'%');
            ++i;
            continue;
        }
        if (!position)
            ++next;
        out += arguments[index].text();
        i = j + 1;
    }
    return out;
}

} // namespace velkin::LocalizedStrings
