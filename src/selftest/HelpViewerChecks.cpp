#include "selftest/SelfTestContext.h"

#include "document/PreviewRenderer.h"
#include "help/HelpBook.h"
#include "help/HelpMarkup.h"
#include "markdown/TableGrid.h"
#include "help/HelpLink.h"
#include "help/HelpNavigator.h"
#include "help/HelpSearch.h"
#include "help/HelpStrings.h"
#include "markdown/MarkdownSyntax.h"
#include "platform/regex/Regex.h"
#include "platform/text/CharacterClass.h"
#include "platform/text/Lines.h"
#include "platform/text/TextOps.h"
#include "platform/text/Utf.h"

#include <algorithm>
#include <set>

namespace velkin {

namespace {

std::vector<std::string> sortedUtf8(const std::vector<U16String>& items)
{
    std::vector<std::string> out;
    for (const U16String& item : items)
        out.push_back(u8(item));
    std::sort(out.begin(), out.end());
    return out;
}

// ["a", "b"]
std::string quotedList(const std::vector<std::string>& items)
{
    std::string out = "[";
    for (size_t i = 0; i < items.size(); ++i) {
        if (i)
            out += ", ";
        out += '"';
        for (char c : items[i]) {
            if (c == '"' || c == '\\')
                out += '\\';
            out += c;
        }
        out += '"';
    }
    return out + "]";
}

std::string joinedList(const std::vector<std::string>& items)
{
    std::string out;
    for (size_t i = 0; i < items.size(); ++i) {
        if (i)
            out += ", ";
        out += items[i];
    }
    return out;
}

// True when the first character is a letter in its lower-case form ("helpSearchPrompt").
bool startsWithLowercaseLetter(U16View text)
{
    const U16View first = text.substr(0, size_t(codePointLength(text, 0)));
    return CharacterClass::isLetter(codePointAt(text, 0)) && TextOps::lowercased(first) == first
           && TextOps::uppercased(first) != first;
}

std::optional<std::string> noteIf(bool failing, std::string note)
{
    return failing ? std::optional<std::string>(std::move(note)) : std::nullopt;
}

// Links that are not pictures, outside fenced code.
const Regex& pageLinkPattern()
{
    static const Regex pattern(u"(?<!!)\\[[^\\]]*\\]\\(([^)\\s]+)\\)");
    return pattern;
}

struct LinkScan {
    std::vector<std::string> brokenLinks;
    std::vector<std::string> brokenAnchors;
};

LinkScan scanLinks(const HelpBook& book)
{
    LinkScan scan;
    for (const auto& [id, page] : book.pages) {
        bool fenced = false;
        for (U16View line : HelpPage::lines(page.markdown)) {
            const U16View t = trimmed(line);
            if (TextOps::hasPrefix(t, u"```") || TextOps::hasPrefix(t, u"~~~")) {
                fenced = !fenced;
                continue;
            }
            if (fenced)
                continue;
            for (const Regex::Match& m : pageLinkPattern().matches(line)) {
                const U16View target = m.text(line, 1);
                const std::string entry = u8(id) + ".md \u2192 " + u8(target);
                const HelpLink link = HelpLink::destination(target, book);
                switch (link.kind) {
                case HelpLink::Kind::Page:
                    if (link.anchor) {
                        const HelpPage* linked = book.page(link.pageID);
                        if (!linked || !linked->heading(*link.anchor))
                            scan.brokenAnchors.push_back(entry);
                    }
                    break;
                case HelpLink::Kind::Anchor:
                    if (!page.heading(*link.anchor))
                        scan.brokenAnchors.push_back(entry);
                    break;
                case HelpLink::Kind::External:
                    break;
                case HelpLink::Kind::None:
                    if (TextOps::hasSuffix(target, u".md"))
                        scan.brokenLinks.push_back(entry);
                    break;
                }
            }
        }
    }
    std::sort(scan.brokenLinks.begin(), scan.brokenLinks.end());
    std::sort(scan.brokenAnchors.begin(), scan.brokenAnchors.end());
    return scan;
}

std::optional<U16String> firstResultID(const std::vector<HelpSearchResult>& results)
{
    if (results.empty())
        return std::nullopt;
    return results.front().pageID;
}

bool someResult(const std::vector<HelpSearchResult>& results, U16View id)
{
    return std::any_of(results.begin(), results.end(), [&](const HelpSearchResult& r) { return r.pageID == id; });
}

} // namespace

void helpBookChecks(SelfTestContext& t)
{
    const HelpBook& book = *t.helpBook;
    t.check("help book loads (" + std::to_string(book.pages.size()) + " pages)", book.pages.size() > 19);
    t.check("help has a contents page", book.page(u"index") != nullptr);
    t.check("contents lists sections (" + std::to_string(book.sections.size()) + ")", book.sections.size() > 2);

    const std::vector<U16String> listed = book.listedPageIDs();
    std::vector<U16String> missing;
    for (const U16String& id : listed)
        if (!book.page(id))
            missing.push_back(id);
    t.check("every page in the contents exists", missing.empty(), noteIf(!missing.empty(), "missing " + quotedList(sortedUtf8(missing))));

    const std::set<U16String> listedSet(listed.begin(), listed.end());
    std::vector<U16String> orphans;
    for (const auto& [id, page] : book.pages)
        if (id != u"index" && !listedSet.count(id))
            orphans.push_back(id);
    t.check("no orphaned help pages", orphans.empty(),
            noteIf(!orphans.empty(), "not listed in index.md: " + quotedList(sortedUtf8(orphans))));

    bool allTitled = true;
    for (const auto& [id, page] : book.pages)
        if (!HelpPage::titleIn(page.markdown)) {
            allTitled = false;
            break;
        }
    t.check("every help page has a title", allTitled);

    bool allSummarised = true;
    for (const HelpSection& section : book.sections)
        for (const HelpEntry& entry : section.entries)
            allSummarised = allSummarised && !entry.summary.empty();
    t.check("every contents entry has a summary", allSummarised);

    const LinkScan scan = scanLinks(book);
    t.check("every link between help pages resolves", scan.brokenLinks.empty(),
            noteIf(!scan.brokenLinks.empty(), joinedList(scan.brokenLinks)));
    t.check("every #anchor in the help book names a real heading", scan.brokenAnchors.empty(),
            noteIf(!scan.brokenAnchors.empty(), joinedList(scan.brokenAnchors)));

    bool allRender = true;
    for (const auto& [id, page] : book.pages)
        if (MarkdownSyntax::spans(page.markdown).empty()) {
            allRender = false;
            break;
        }
    t.check("every help page renders", allRender);

    t.check("a page link stays in the help window", HelpLink::destination(u"tables.md", book) == HelpLink::page(u"tables"));
    t.check("a page link carries its anchor",
            HelpLink::destination(u"tables.md#column-alignment", book) == HelpLink::page(u"tables", u"column-alignment"));
    t.check("a bare #anchor scrolls the current page", HelpLink::destination(u"#alerts", book) == HelpLink::anchorLink(u"alerts"));
    const U16String web = u"https://www.example.com/";
    t.check("a web link leaves the help window", HelpLink::destination(web, book) == HelpLink::external(web));
    t.check("a link to a page that doesn't exist goes nowhere", HelpLink::destination(u"nonexistent.md", book) == HelpLink::none());
    t.check("heading anchors are slugged like GitHub's", HelpPage::slug(u"Bold and italic together") == u"bold-and-italic-together");
    t.check("slugging drops punctuation", HelpPage::slug(u"A file won't open") == u"a-file-wont-open");

    const auto table = HelpSearch::results(u"table", book);
    t.check("searching for a page's subject puts it first", firstResultID(table) == U16String(u"tables"));
    const auto checkbox = HelpSearch::results(u"checkbox", book);
    t.check("searching finds a word only in a page's body", someResult(checkbox, u"task-lists"));
    t.check("search is case- and accent-insensitive", someResult(HelpSearch::results(u"FOOTNOTE", book), u"footnotes"));
    const size_t broad = HelpSearch::results(u"image", book).size();
    const size_t narrow = HelpSearch::results(u"image data uri", book).size();
    t.check("adding a term narrows the search", narrow > 0 && narrow < broad);
    t.check("a word in no page finds nothing", HelpSearch::results(u"zzzznotaword", book).empty());
    t.check("an empty query finds nothing", HelpSearch::results(u"   ", book).empty());
    t.check("results carry a snippet",
            std::all_of(checkbox.begin(), checkbox.end(), [](const HelpSearchResult& r) { return !r.snippet.empty(); }));
    t.check("snippets show prose, not Markdown syntax",
            std::none_of(checkbox.begin(), checkbox.end(), [](const HelpSearchResult& r) {
                return TextOps::contains(r.snippet, u"**") || TextOps::contains(r.snippet, u"](");
            }));
    t.check("the contents page never outranks a page about the subject",
            firstResultID(HelpSearch::results(u"emoji", book)) == U16String(u"emoji"));
    t.check("a common word doesn't list every page that mentions it", table.size() <= book.pages.size() / 2);
}

void helpStringChecks(SelfTestContext& t)
{
    const std::vector<std::pair<U16String, U16String>> shown{
        {u"Velkin Help", HelpStrings::text(HelpStrings::windowTitle)},
        {u"helpSearchPrompt", HelpStrings::text(HelpStrings::searchPrompt)},
        {u"helpContentsRow", HelpStrings::text(HelpStrings::contentsRow)},
        {u"helpPageAccessibilityLabel", HelpStrings::text(HelpStrings::pageAccessibilityLabel)},
        {u"Back", HelpStrings::text(HelpStrings::back)},
        {u"Forward", HelpStrings::text(HelpStrings::forward)},
        {u"OK", HelpStrings::text(HelpStrings::ok)},
        {u"helpPageMissingTitle", HelpStrings::pageMissingTitle()},
        {u"helpUnavailableTitle", HelpStrings::unavailableTitle()},
        {u"helpUnavailableMessage", HelpStrings::unavailableMessage()},
    };
    std::vector<std::string> leaked;
    for (const auto& [key, text] : shown)
        if (text == key && !key.empty() && startsWithLowercaseLetter(key))
            leaked.push_back(u8(key));
    t.check("no help string shows its key instead of its words", leaked.empty(),
            noteIf(!leaked.empty(), "leaked " + quotedList(leaked)));
    t.check("the help results count fills in its placeholder", TextOps::contains(HelpStrings::resultsCount(7), u"7"));
}

void helpMarkupChecks(SelfTestContext& t)
{
    const U16String sample = u"# A heading\n\nSome **bold** and a [link](tables.md) here.\n\n"
                             u"An escape renders as \\*not italic\\*.\n\n> [!NOTE]\n> Mind this.\n\n"
                             u"- [ ] A task\n- A colour `#f80`\n- Water is H<sub>2</sub>O";
    TextStorage storage = TableGrid::render(sample, 14);
    PreviewRenderer::collapseAllImages(storage, std::nullopt, 600);
    PreviewRenderer::collapseAllTasks(storage, 13);
    PreviewRenderer::collapseAllShortcodes(storage);
    HelpMarkup::stripDecorativeSyntax(storage);
    auto page = [&] { return U16String(storage.string()); };
    auto has = [&](U16View needle) { return page().find(needle) != U16String::npos; };
    auto attributeExists = [&](AttributeKey key) {
        bool found = false;
        storage.enumerateAttribute(key, {0, storage.length()}, [&](const AttributeValue* value, Range) {
            found = found || value != nullptr;
        });
        return found;
    };

    t.check("help strips a link's address", !has(u"tables.md"));
    t.check("help strips a heading's hashes", !has(u"# A heading"));
    t.check("help strips emphasis markers", !has(u"**"));
    t.check("help keeps the words themselves", has(u"A heading") && has(u"bold") && has(u"link"));
    const size_t link = page().find(u"link");
    t.check("help keeps the link text clickable",
            link != U16String::npos && storage.attribute(AttributeKey::Link, int(link)) != nullptr);
    bool headingLine = false;
    const U16String text = page();
    for (U16View line : splitAt(text, u'\n'))
        headingLine = headingLine || line == u"A heading";
    t.check("help keeps a heading on a line of its own", headingLine);
    t.check("help keeps a list's bullet", has(u"- A colour"));
    t.check("help keeps a quote's arrow", has(u"> Mind this."));
    t.check("help still draws an alert's symbol", attributeExists(AttributeKey::AlertIcon));
    t.check("help still draws a colour swatch", attributeExists(AttributeKey::ColorSwatch));
    t.check("help still draws a task checkbox", attributeExists(AttributeKey::TaskCheckbox));
    t.check("help leaves a colour literal intact for its swatch", has(u"`#f80`"));
    t.check("help strips an escape's backslash and keeps what it protected", has(u"renders as *not italic*"));
    t.check("help strips a script's tags but keeps its digits", !has(u"<sub>") && has(u"H2O"));
}

void helpNavigatorChecks(SelfTestContext& t)
{
    HelpNavigator navigator(*t.helpBook);
    navigator.setExternalOpener([](const U16String&) {});
    t.check("help opens on the contents page", navigator.pageID() == u"index");
    t.check("nowhere to go back to at the start", !navigator.canGoBack() && !navigator.canGoForward());
    navigator.open(u"tables");
    t.check("opening a page moves there", navigator.pageID() == u"tables");
    t.check("and leaves somewhere to go back to", navigator.canGoBack());
    navigator.follow(u"images.md#images-in-tables");
    t.check("following a link moves there with its anchor",
            navigator.pageID() == u"images" && navigator.anchor() == U16String(u"images-in-tables"));
    navigator.goBack();
    t.check("back returns to the previous page", navigator.pageID() == u"tables");
    navigator.goBack();
    t.check("back again returns to the contents", navigator.pageID() == u"index" && !navigator.canGoBack());
    navigator.goForward();
    t.check("forward retraces the way you came", navigator.pageID() == u"tables");
    navigator.open(u"emoji");
    t.check("opening a new page clears the forward history", !navigator.canGoForward());
    navigator.open(u"nope-not-a-page");
    t.check("a link to nowhere moves nowhere", navigator.pageID() == u"emoji");
    navigator.setQuery(u"checkbox");
    t.check("typing in the search field produces results", !navigator.results().empty());
    navigator.setQuery(u"");
    t.check("clearing the search field clears the results", navigator.results().empty());
}

void helpPlainTextChecks(SelfTestContext& t)
{
    t.check("plain text drops emphasis markers", HelpPage::plainLine(u"a **bold** word") == u"a bold word");
    t.check("plain text keeps link text and drops the URL",
            HelpPage::plainLine(u"see [the docs](https://www.example.com/docs)") == u"see the docs");
    t.check("plain text drops list and heading leaders",
            HelpPage::plainLine(u"## A section") == u"A section" && HelpPage::plainLine(u"- an item") == u"an item");

    bool offsetsLineUp = true;
    for (const auto& [id, page] : t.helpBook->pages) {
        const std::vector<int> bounds = TextOps::graphemeBoundaries(page.plainText);
        const int characters = int(bounds.size()) - 1;
        for (const HelpHeading& heading : page.headings) {
            if (heading.plainTextOffset < 0 || heading.plainTextOffset > characters) {
                offsetsLineUp = false;
                break;
            }
            const U16View rest = U16View(page.plainText).substr(size_t(bounds[size_t(heading.plainTextOffset)]));
            if (!TextOps::hasPrefix(rest, heading.title)) {
                offsetsLineUp = false;
                break;
            }
        }
        if (!offsetsLineUp)
            break;
    }
    t.check("heading offsets line up with the plain text", offsetsLineUp);

    const auto sections = HelpBook::sectionsFromIndex(
        u"## Writing\n\n- [Tables](tables.md) - a real grid you click into\n- [Code](code.md) - fenced blocks");
    const bool parsed = sections.size() == 1 && sections[0].title == u"Writing" && !sections[0].entries.empty()
                        && sections[0].entries[0] == HelpEntry{u"tables", u"Tables", u"a real grid you click into"};
    t.check("contents entries parse title, page and summary", parsed);
}

} // namespace velkin
