#include "selftest/SelfTestContext.h"

#include "platform/strings/LocalizedStrings.h"
#include "platform/text/TextOps.h"
#include "platform/text/Utf.h"

#include <algorithm>
#include <set>

namespace velkin {

const std::vector<U16String>& requiredTranslationKeys()
{
    static const std::vector<U16String> keys{
        u"Find\u2026", u"Find Next", u"Find Previous", u"Use Selection for Find", u"Zoom In", u"Zoom Out",
        u"Actual Size", u"Body Text", u"Heading %lld", u"Heading level", u"Bold", u"Italic", u"Underline",
        u"Strikethrough", u"Inline code", u"Subscript", u"Superscript", u"Link", u"Insert Table", u"Add Row",
        u"Add Column", u"Column Alignment", u"Left", u"Center", u"Right", u"Table", u"Insert Row Above",
        u"Insert Row Below", u"Insert Column Left", u"Insert Column Right", u"Delete Row", u"Delete Column",
        u"Insert", u"Image", u"Format", u"Heading", u"Horizontal Rule", u"Markdown editor", u"Find",
        u"Open from URL\u2026", u"openURLTitle", u"openURLPrompt", u"Open", u"Cancel", u"openURLErrorTitle",
        u"openURLInvalid", u"openURLHTTPError", u"Export", u"PDF\u2026", u"HTML (Single File)\u2026",
        u"Rich Text (RTF)\u2026", u"exportErrorTitle", u"wordCountFormat",
    };
    return keys;
}

namespace {

// ["a", "b"]
std::string quotedList(const std::vector<U16String>& items)
{
    std::string out = "[";
    for (size_t i = 0; i < items.size(); ++i) {
        if (i)
            out += ", ";
        out += '"';
        for (char c : u8(items[i])) {
            if (c == '"' || c == '\\')
                out += '\\';
            out += c;
        }
        out += '"';
    }
    return out + "]";
}

} // namespace

void localizationChecks(SelfTestContext& t)
{
    const std::set<U16String> required(requiredTranslationKeys().begin(), requiredTranslationKeys().end());
    const auto folders = SelfTestFiles::localizationDirectories();
    t.check("localization folders found (" + std::to_string(folders.size()) + ")", folders.size() > 6);

    for (const auto& folder : folders) {
        const std::string code = u8(TextOps::replacingAll(u16(folder.filename().string()), u".lproj", u""));
        // A table that does not parse is as useless as one that cannot be read: the
        // program would show keys instead of words.
        LocalizedStrings::Table::Error error;
        const auto table = LocalizedStrings::Table::load(folder / "Localizable.strings", &error);
        if (!table) {
            std::optional<std::string> note;
            if (error.line > 0)
                note = "line " + std::to_string(error.line) + ": " + error.message;
            t.check(code + ": strings file loads", false, note);
            continue;
        }
        std::vector<U16String> missing;
        for (const U16String& key : required)
            if (!table->contains(key))
                missing.push_back(key);
        std::sort(missing.begin(), missing.end(), [](const U16String& a, const U16String& b) { return u8(a) < u8(b); });
        t.check(code + ": all " + std::to_string(required.size()) + " keys translated", missing.empty(),
                missing.empty() ? std::nullopt : std::optional<std::string>("missing " + quotedList(missing)));

        const U16String* wordCount = table->find(u"wordCountFormat");
        t.check(code + ": word-count placeholders intact",
                wordCount && TextOps::contains(*wordCount, u"%1$@") && TextOps::contains(*wordCount, u"%2$@"));
    }
}

} // namespace velkin
