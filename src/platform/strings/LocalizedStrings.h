#pragma once
// Localised interface texts: Localization/<lang>.lproj/Localizable.strings, looked up by key.
//
// A table is UTF-8 text of entries `"key" = "value";`, with /* */ and // comments
// and the escapes \" \\ \n \t \r \0 and \Uxxxx. The language follows the process
// locale; a key missing from its table falls back to the English table, then to
// the caller's default, then to the key itself.
#include "platform/text/Range.h"

#include <filesystem>
#include <initializer_list>
#include <map>
#include <optional>
#include <string>
#include <vector>

namespace velkin {

namespace LocalizedStrings {

// One parsed Localizable.strings file.
class Table {
public:
    // Why a text is no table: the 1-based line and a short description.
    struct Error {
        int line = 0;
        std::string message;
    };

    Table() = default;

    // Parses a whole table; nothing (and `error` filled in) when the text is malformed.
    static std::optional<Table> parse(U16View text, Error* error = nullptr);
    // Reads and parses one file; a file that is missing or not UTF-8 is an error too.
    static std::optional<Table> load(const std::filesystem::path& file, Error* error = nullptr);

    // The value of a key, or null.
    const U16String* find(U16View key) const;
    bool contains(U16View key) const { return find(key) != nullptr; }
    const std::map<U16String, U16String, std::less<>>& entries() const { return entries_; }
    size_t size() const { return entries_.size(); }

private:
    std::map<U16String, U16String, std::less<>> entries_;
};

// The tables of one Localization folder: the chosen language's and the English one.
class Catalog {
public:
    Catalog() = default;
    // Loads from `folder` the table of the first language of `preferred` that has one
    // (see chooseLanguage) and the English table; unreadable tables count as empty.
    Catalog(const std::filesystem::path& folder, const std::vector<std::string>& preferred);

    // The folder name (less ".lproj") of the chosen language; "" when none was found.
    const std::string& language() const { return language_; }
    // Chosen table, then English, then `defaultValue` when not empty, then the key.
    U16String text(U16View key, U16View defaultValue = {}) const;

private:
    std::string language_;
    Table chosen_;
    Table english_;
};

// The ".lproj" folder names (less the extension) inside `folder`, sorted.
std::vector<std::string> availableLanguages(const std::filesystem::path& folder);
// The first available language that matches a preferred one: the whole tag, then the
// tag shortened one subtag at a time ("zh-Hans-CN", "zh-Hans", "zh"), comparing
// without regard to case and treating "_" as "-"; "en" when none matches and it is
// available; "" when nothing is available.
std::string chooseLanguage(const std::vector<std::string>& preferred, const std::vector<std::string>& available);
// The process locale's languages, most preferred first.
std::vector<std::string> preferredLanguages();

// The application's catalog, built once on first use from the Localization folder
// (installed data folder, source root, working directory) and the process locale.
const Catalog& shared();
// Looks a key up in the shared catalog.
U16String text(U16View key);
U16String text(U16View key, U16View defaultValue);

// One argument of format(): an integer or a text.
class Argument {
public:
    Argument(long long value) : isInteger_(true), integer_(value) {}
    Argument(int value) : isInteger_(true), integer_(value) {}
    Argument(long value) : isInteger_(true), integer_(value) {}
    Argument(U16View value) : text_(value) {}
    Argument(const U16String& value) : text_(value) {}
    Argument(const char16_t* value) : text_(value) {}

    long long integer() const { return integer_; }
    // The argument as text (an integer in decimal).
    U16String text() const;

private:
    bool isInteger_ = false;
    long long integer_ = 0;
    U16String text_;
};

// Fills a format in: %@ (text), %d %i %u with optional l or ll (integers, in
// decimal), %% (a percent sign), each optionally positional ("%2$@"). A directive
// without an argument, or one it does not know, stays as written.
U16String format(U16View pattern, const std::vector<Argument>& arguments);
inline U16String format(U16View pattern, std::initializer_list<Argument> arguments)
{
    return format(pattern, std::vector<Argument>(arguments));
}

} // namespace LocalizedStrings

} // namespace velkin
