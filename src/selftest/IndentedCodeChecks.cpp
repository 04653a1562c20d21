#include "markdown/ImageBlock.h"
#include "markdown/EmojiShortcode.h"
#include "markdown/MarkdownStyler.h"
#include "markdown/ReferenceLink.h"
#include "markdown/TaskList.h"
#include "selftest/CheckUtilities.h"
#include "selftest/SelfTestContext.h"

#include "platform/text/Utf.h"

namespace velkin {

namespace {

using K = MarkdownToken::Kind;

const U16String kSite = u"https://example.com";           // A
const U16String kManual = u"https://example.com/manual";  // A/manual
const U16String kShort = u"https://ex.org";               // E
const U16String kFirst = u"https://one.example";          // E1
const U16String kSecond = u"https://two.example";         // E2
const U16String kMail = u"someone@example.com";           // M

std::vector<U16String> codeLines(U16View text)
{
    std::vector<U16String> out;
    for (const MarkdownSpan& s : MarkdownSyntax::spans(text))
        if (s.token.is(K::codeBlock))
            out.emplace_back(substring(text, s.range));
    return out;
}

std::optional<MarkdownSpan> firstLink(U16View text)
{
    for (const MarkdownSpan& s : MarkdownSyntax::spans(text))
        if (s.token.is(K::link))
            return s;
    return std::nullopt;
}

bool firstLinkPointsTo(U16View text, const U16String& url)
{
    const auto link = firstLink(text);
    return link && link->url() == url;
}

// A list literal of the strings, line feeds and tabs written as escapes.
std::string listLiteral(const std::vector<U16String>& lines)
{
    std::string out = "[";
    for (size_t i = 0; i < lines.size(); ++i) {
        if (i)
            out += ", ";
        out += '"';
        for (char c : u8(lines[i])) {
            if (c == '\n')
                out += "\\n";
            else if (c == '\t')
                out += "\\t";
            else
                out += c;
        }
        out += '"';
    }
    return out + "]";
}

} // namespace

void indentedCodeChecks(SelfTestContext& t)
{
    using Lines = std::vector<U16String>;
    const U16String p = u"Prose.\n\n    let x = 1\n    let y = 2\n\nMore prose.";
    {
        const Lines got = codeLines(p);
        t.check("four spaces at the start of a line makes code", got == Lines{u"    let x = 1\n", u"    let y = 2\n"},
                "got " + listLiteral(got));
    }
    t.check("a tab opens a block too", codeLines(u"Prose.\n\n\tlet x = 1\n") == Lines{u"\tlet x = 1\n"});
    {
        const Lines got = codeLines(u"Prose.\n\n    one\n\n    two\n");
        t.check("a blank line inside an indented block stays inside it", got == Lines{u"    one\n", u"\n", u"    two\n"},
                "got " + listLiteral(got));
    }
    t.check("a blank line after the block is not part of it",
            codeLines(u"Prose.\n\n    one\n\nMore.\n") == Lines{u"    one\n"});
    t.check("an indented line continuing a paragraph is not code", codeLines(u"Prose.\n    still prose\n").empty());
    t.check("an indented line under a list item is not code", codeLines(u"- item\n\n    still the item\n").empty());
    t.check("a list is over once the text is back at the margin",
            codeLines(u"- item\n\nProse.\n\n    let x = 1\n") == Lines{u"    let x = 1\n"});
    t.check("three spaces is not enough", codeLines(u"Prose.\n\n   nearly\n").empty());
    t.check("an indented line inside a fence belongs to the fence",
            codeLines(u"```\n\n    let x = 1\n```\n").size() == 4);
    {
        bool allCode = true;
        for (const MarkdownSpan& s : MarkdownSyntax::spans(u"Prose.\n\n    # not a heading with *stars*\n"))
            if (!s.token.is(K::codeBlock))
                allCode = false;
        t.check("nothing inside an indented block is styled as Markdown", allCode);
    }
    {
        const TextStorage storage(u"Prose.\n\n    - [ ] a task :rocket:\n    ![alt](a.png)\n");
        int boxes = 0, emoji = 0, images = 0;
        TaskList::enumerateTaskLines(storage, [&](Range, Range, const TaskList::Item&) { ++boxes; });
        EmojiShortcode::enumerateShortcodes(storage, [&](Range, const U16String&) { ++emoji; });
        ImageBlock::enumerateImageLines(storage, [&](Range, Range, const U16String&, const U16String&) { ++images; });
        t.check("a checkbox, an emoji, and a picture inside indented code stay source",
                boxes == 0 && emoji == 0 && images == 0,
                "got " + std::to_string(boxes) + " boxes, " + std::to_string(emoji) + " emoji, " + std::to_string(images)
                    + " images");
    }
    {
        TextStorage storage(p);
        MarkdownStyler{14, MarkdownFontFamily::sansSerif}.apply(storage);
        const int at = int(p.find(u"let x"));
        const AttributeValue* fill = storage.attribute(AttributeKey::CodeBlockFill, at);
        const bool* isTrue = fill ? std::get_if<bool>(fill) : nullptr;
        t.check("an indented block gets the code card", isTrue && *isTrue);
        const Font* font = storage.font(at);
        t.check("an indented block is monospaced", font && font->familyName().find("Mono") != std::string::npos);
    }
}

void referenceLinkChecks(SelfTestContext& t)
{
    const U16String r = u"Read [the manual][docs] before starting.\n\n[docs]: " + kManual;
    t.check("a reference link styles its text", firstContent(r, MarkdownToken(K::link)) == u"the manual");
    t.check("a reference link points where its definition does", firstLinkPointsTo(r, kManual));
    t.check("the id in the brackets recedes", hasMarker(r, u"docs"));
    t.check("so does the address on the definition line", hasMarker(r, kManual));
    t.check("a definition's own label reads as the link it stands for",
            countKind(MarkdownSyntax::spans(r), K::link) == 2);
    {
        const U16String text = u"Read [docs][] first.\n\n[docs]: " + kShort;
        t.check("a collapsed reference names itself",
                firstContent(text, MarkdownToken(K::link)) == u"docs" && firstLinkPointsTo(text, kShort));
    }
    {
        const U16String text = u"Read [docs] first.\n\n[docs]: " + kShort;
        t.check("a shortcut reference names itself",
                firstContent(text, MarkdownToken(K::link)) == u"docs" && firstLinkPointsTo(text, kShort));
    }
    t.check("labels match case-insensitively", firstLinkPointsTo(u"See [Docs].\n\n[docs]: " + kShort, kShort));
    {
        const U16String text = u"![logo][img]\n\n[img]: logo.png";
        bool pictureOnly = firstContent(text, MarkdownToken(K::image)) == u"logo";
        if (pictureOnly)
            for (const MarkdownSpan& s : MarkdownSyntax::spans(text))
                if (s.token.is(K::link) && spanText(text, s) == u"logo")
                    pictureOnly = false;
        t.check("a picture can be a reference too", pictureOnly);
    }
    t.check("an undefined label is ordinary text", !hasKind(MarkdownSyntax::spans(u"Read [nowhere] first."), K::link));
    t.check("an inline link is not read as a reference", firstLinkPointsTo(u"[text](" + kShort + u")", kShort));
    {
        bool boxIsLink = false;
        for (const MarkdownSpan& s : MarkdownSyntax::spans(u"- [x] done\n\n[x]: " + kShort))
            if (s.token.is(K::link) && s.range.location < 6)
                boxIsLink = true;
        t.check("a task list checkbox is not a reference", !boxIsLink);
    }
    t.check("a definition inside a fence defines nothing",
            ReferenceLink::definitions(u"```\n[docs]: " + kShort + u"\n```").empty());
    t.check("a footnote definition is not a link definition", !ReferenceLink::parseDefinition(u"[^1]: My reference."));
    t.check("a footnote reference is still a footnote",
            hasKind(MarkdownSyntax::spans(u"A note[^1].\n\n[^1]: here.\n[docs]: " + kShort), K::footnoteRef));
    {
        const auto table = ReferenceLink::definitions(u"[a]: " + kFirst + u"\n[a]: " + kSecond);
        const auto it = table.find(u"a");
        t.check("the first definition of a label wins", it != table.end() && it->second == kFirst);
    }
    {
        const auto d = ReferenceLink::parseDefinition(u"[a]: <" + kShort + u">");
        t.check("an angle-bracketed address loses its brackets", d && d->url == kShort);
    }
    {
        const auto d = ReferenceLink::parseDefinition(u"[a]: " + kShort + u" \"The site\"");
        t.check("a definition can carry a title", d && d->titleRange.has_value());
    }
    t.check("a sentence that merely starts with brackets is not a definition",
            !ReferenceLink::parseDefinition(u"[docs] and more prose"));
}

void autolinkChecks(SelfTestContext& t)
{
    t.check("angle brackets make an address a link",
            firstContent(u"See <" + kSite + u"> for more.", MarkdownToken(K::link)) == kSite);
    t.check("an autolink points at itself", firstLinkPointsTo(u"<" + kSite + u">", kSite));
    t.check("the angle brackets recede", hasMarker(u"<" + kSite + u">", u"<") && hasMarker(u"<" + kSite + u">", u">"));
    t.check("an email autolink gets a mailto:", firstLinkPointsTo(u"<" + kMail + u">", u"mailto:" + kMail));
    t.check("a bare address is still text", !hasKind(MarkdownSyntax::spans(u"See " + kSite + u" for more."), K::link));
    t.check("an HTML tag is not an autolink", !hasKind(MarkdownSyntax::spans(u"H<sub>2</sub>O"), K::link));
    t.check("an autolink inside a fence is code", !hasKind(MarkdownSyntax::spans(u"```\n<" + kSite + u">\n```"), K::link));
}

void backslashEscapeChecks(SelfTestContext& t)
{
    t.check("an escaped star is not emphasis", !hasKind(MarkdownSyntax::spans(u"\\*not italic\\*"), K::italic));
    t.check("the backslash recedes", hasMarker(u"\\*x\\*", u"\\"));
    {
        bool onlyMarkers = true;
        for (const MarkdownSpan& s : MarkdownSyntax::spans(u"\\*x\\*"))
            if (!s.token.is(K::marker))
                onlyMarkers = false;
        t.check("the character it escapes is left as text", onlyMarkers);
    }
    t.check("an escaped bracket is not a link", !hasKind(MarkdownSyntax::spans(u"\\[text](" + kShort + u")"), K::link));
    t.check("an escaped backtick is not a code span", !hasKind(MarkdownSyntax::spans(u"a \\`b"), K::code));
    t.check("an escaped backslash leaves the next character alone",
            firstContent(u"\\\\*x*", MarkdownToken(K::italic)) == u"x");
    t.check("a backslash before a letter is not an escape", !hasMarker(u"C:\\notes", u"\\"));
    t.check("a backslash inside a code span is part of the code",
            firstContent(u"`\\*`", MarkdownToken(K::code)) == u"\\*" && !hasMarker(u"`\\*`", u"\\"));
    t.check("a backslash inside a fence is part of the code", !hasMarker(u"```\n\\*x\\*\n```", u"\\"));
    t.check("escaping a heading's hash keeps it prose", !hasKind(MarkdownSyntax::spans(u"\\# not a heading"), K::heading));
}

} // namespace velkin
