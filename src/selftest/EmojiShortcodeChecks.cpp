#include "markdown/EmojiShortcode.h"
#include "markdown/MarkdownStyler.h"
#include "markdown/TableGrid.h"
#include "selftest/CheckUtilities.h"
#include "selftest/OffscreenEditor.h"
#include "selftest/SelfTestContext.h"

#include "platform/text/TextOps.h"

#include <cmath>

namespace velkin {

namespace {

constexpr double kBaseSize = 13;

std::vector<U16String> found(U16View text)
{
    std::vector<U16String> out;
    for (const auto& m : EmojiShortcode::matches(text))
        out.push_back(m.emoji);
    return out;
}

std::optional<U16String> typing(U16View text, int caret)
{
    const auto range = EmojiShortcode::typingRange(text, caret);
    if (!range)
        return std::nullopt;
    return U16String(substring(text, *range));
}

std::vector<U16String> walked(const AttributedString& text)
{
    std::vector<U16String> out;
    EmojiShortcode::enumerateShortcodes(text, [&](Range, const U16String& emoji) { out.push_back(emoji); });
    return out;
}

// Collapses every shortcode the way the page renderings do.
void collapseShortcodes(TextStorage& storage)
{
    std::vector<EmojiShortcode::Match> found;
    EmojiShortcode::enumerateShortcodes(storage, [&](Range r, const U16String& emoji) { found.push_back({r, emoji}); });
    for (const auto& m : found)
        EmojiShortcode::collapse(storage, m.range, m.emoji);
}

// The emoji's width as the text view lays it out in the body font at `size`, rounded up to a whole point.
double laidOutWidth(const U16String& emoji, double size)
{
    OffscreenEditor editor(std::nullopt);
    editor.storage().replaceCharacters({0, editor.storage().length()},
                                       AttributedString(emoji, Attributes{{AttributeKey::Font, Font::system(size)}}));
    editor.layOut();
    return std::ceil(editor.view->layoutManager()->boundingRect({0, int(emoji.size())}).width());
}

bool startsWith(const U16String& text, U16View prefix)
{
    return TextOps::hasPrefix(text, prefix);
}

} // namespace

void emojiShortcodeChecks(SelfTestContext& t)
{
    using EmojiShortcode::emoji;
    const U16String rocket = u"\U0001F680";
    const U16String tada = u"\U0001F389";

    // Names.
    t.check("an aliased shortcode resolves", emoji(u"tada") == tada);
    t.check("`+1` resolves", emoji(u"+1") == U16String(u"\U0001F44D"));
    t.check("a Unicode-named emoji resolves without an alias", emoji(u"rocket") == rocket);
    t.check("multi-word Unicode names resolve", emoji(u"face_with_tears_of_joy") == U16String(u"\U0001F602"));
    t.check("names are case-insensitive", emoji(u"ROCKET") == rocket);
    t.check("an unknown name resolves to nothing", !emoji(u"not_an_emoji"));
    t.check("a non-emoji Unicode name doesn't render", !EmojiShortcode::unicodeNamed(u"tilde_operator"));
    t.check("`smile` is GitHub's face, not the maths symbol ⌣", emoji(u"smile") == U16String(u"\U0001F604"));
    t.check("keycap bases like `asterisk` don't render", !emoji(u"asterisk"));
    t.check("a text-default emoji gains its variation selector", emoji(u"snowflake") == U16String(u"\u2744\uFE0F"));

    // Shortcodes in running text.
    t.check("a shortcode in prose is found", found(u"ship it :rocket: now") == std::vector<U16String>{rocket});
    t.check("adjacent shortcodes are both found", found(u":rocket::tada:") == std::vector<U16String>{rocket, tada});
    t.check("an unknown name is left alone", found(u"a :nonsense: b").empty());
    t.check("a time isn't a shortcode", found(u"at 10:30:45 today").empty());
    t.check("a colon inside a word isn't a shortcode", found(u"a:rocket:b").empty());
    t.check("inline code keeps its shortcode literal", found(u"write `:rocket:` here").empty());
    t.check("a link destination keeps its shortcode literal", found(u"[x](https://example.com/:rocket:)").empty());
    t.check("link text still renders its shortcode",
            found(u"[go :rocket:](https://example.com)") == std::vector<U16String>{rocket});
    {
        const U16String prose = u"ship it :rocket: now";
        const auto all = EmojiShortcode::matches(prose);
        if (all.empty())
            t.check("a shortcode match has a range", false);
        else
            t.check("the match covers exactly `:rocket:`", substring(prose, all.front().range) == u":rocket:");
    }

    // Walking and collapsing rendered text.
    t.check("enumerateShortcodes finds each shortcode in order",
            walked(TableGrid::render(u":rocket:\nplain\n:tada:", kBaseSize)) == std::vector<U16String>{rocket, tada});
    t.check("enumerateShortcodes skips shortcodes in code fences",
            walked(TableGrid::render(u"```\n:rocket:\n```", kBaseSize)).empty());
    {
        TextStorage s = TableGrid::render(u"ship it :rocket: now", kBaseSize);
        collapseShortcodes(s);
        const size_t at = s.string().find(u":rocket:");
        const auto mark = at == U16String::npos ? nullptr : s.marker<EmojiMark>(AttributeKey::EmojiShortcode, int(at));
        t.check("a collapsed shortcode carries its emoji", mark && mark->emoji == rocket);
        t.check("the reserved advance matches the emoji's width",
                mark && std::abs(mark->width - laidOutWidth(rocket, mark->size)) < 0.5);
        t.check("collapsing leaves the Markdown characters untouched", TableGrid::serialize(s) == u"ship it :rocket: now");
        t.check("the surrounding prose isn't marked", !s.attribute(AttributeKey::EmojiShortcode, 0));
    }
    {
        TextStorage s = TableGrid::render(u"# big :rocket:\n\nsmall :rocket:", kBaseSize);
        MarkdownStyler{kBaseSize, MarkdownFontFamily::sansSerif}.apply(s);
        std::vector<EmojiShortcode::Match> codes;
        EmojiShortcode::enumerateShortcodes(s, [&](Range r, const U16String& e) { codes.push_back({r, e}); });
        std::vector<double> widths;
        for (const auto& m : codes) {
            EmojiShortcode::collapse(s, m.range, m.emoji);
            if (const auto mark = s.marker<EmojiMark>(AttributeKey::EmojiShortcode, m.range.location))
                widths.push_back(mark->width);
        }
        t.check("an emoji in a heading is drawn larger than one in prose", widths.size() == 2 && widths[1] < widths[0]);
    }

    // The caret rules of the editor, clicks on an emoji and completion from the list.
    OffscreenEditor editor;
    MarkdownTextView& view = *editor.view;
    const U16String shipIt = u"ship it :rocket: now\nmore";
    editor.load(shipIt);
    const int p = editor.find(u":rocket:");
    auto emojiAt = [&](int index) {
        return pictureInCell<EmojiMark>(&editor.storage(), AttributeKey::EmojiShortcode, index);
    };
    auto showsRocket = [&] {
        const auto mark = emojiAt(p);
        return mark && mark->emoji == rocket;
    };
    auto select = [&](Range selection) {
        view.setSelectedRange(selection);
        editor.restyle();
    };
    select({editor.find(u"more"), 0});
    t.check("a shortcode renders as its emoji when the caret is elsewhere", showsRocket());
    t.check("rendering an emoji changes no characters", editor.serialized() == shipIt);
    select({p + 3, 0});
    t.check("the raw source comes back when the caret is inside the shortcode", !emojiAt(p));
    select({p + 9, 0});
    t.check("moving the caret off the shortcode renders it again", showsRocket());
    select({p + 8, 0});
    t.check("the emoji appears as soon as the closing colon is typed", showsRocket());
    select({p, 0});
    t.check("the caret just before a shortcode leaves it rendered", showsRocket());
    select({p, 8});
    t.check("selecting a shortcode shows its source", !emojiAt(p));
    select({editor.find(u"more"), 0});
    editor.layOut();
    const QRectF box = view.layoutManager()->boundingRect({p, 8});
    t.check("a click on the emoji resolves the shortcode's range", view.emojiShortcodeRange(box.center()) == Range{p, 8});
    t.check("a click on the prose beside it resolves nothing", !view.emojiShortcodeRange(QPointF(4, box.center().y())));

    view.setAllowsUndo(true);
    editor.load(u"ship it :roc");
    view.setSelectedRange({12, 0});
    view.completeShortcode(u"rocket");
    t.check("choosing from the list completes the shortcode", editor.serialized() == u"ship it :rocket:");
    t.check("the caret lands just past it", view.selectedRange() == Range{16, 0});
    editor.restyle();
    {
        const auto mark = emojiAt(8);
        t.check("a completed shortcode renders straight away", mark && mark->emoji == rocket);
    }
    editor.load(u"ship it :roc");
    view.setSelectedRange({4, 0});
    view.completeShortcode(u"rocket");
    t.check("a completion with the caret outside a name writes nothing", editor.serialized() == u"ship it :roc");

    // The name being typed.
    t.check("a colon at a word boundary starts a completion", typing(u"say :", 5) == U16String(u":"));
    t.check("the characters after it are the name so far", typing(u"say :roc", 8) == U16String(u":roc"));
    t.check("a colon after a word doesn't start one", !typing(u"note:", 5));
    t.check("a URL's colon doesn't start one", !typing(u"https:", 6));
    t.check("a closing colon ends the name", !typing(u"say :rocket:", 12));
    t.check("a colon on the previous line doesn't reach the caret", !typing(u":roc\nnow", 8));
    t.check("a colon inside a code fence starts nothing", !typing(u"```\n:roc", 8));
    t.check("a colon inside a code span starts nothing", !typing(u"`a :roc`", 7));
    t.check("a colon opening a shortcode in prose still starts one", typing(u"`code` and :roc", 15) == U16String(u":roc"));

    // Completion candidates.
    const int limit = 60;
    {
        const auto list = EmojiShortcode::candidates(u"", limit);
        t.check("an empty name offers the popular shortcodes", !list.empty() && list.front().name == u"+1");
    }
    {
        const auto list = EmojiShortcode::candidates(u"roc", limit);
        const EmojiShortcode::Candidate* named = nullptr;
        for (const auto& c : list)
            if (!named && c.name == u"rocket")
                named = &c;
        t.check("a prefix offers the names that start with it",
                !list.empty() && startsWith(list.front().name, u"roc") && named);
        const std::optional<U16String> offered = named ? std::optional<U16String>(named->emoji) : std::nullopt;
        t.check("the offered emoji is the one that will render", offered == emoji(u"rocket"));
    }
    {
        bool tadaOffered = false;
        for (const auto& c : EmojiShortcode::candidates(u"tad", limit))
            tadaOffered = tadaOffered || c.name == u"tada";
        t.check("aliases are offered too", tadaOffered);
    }
    {
        const auto list = EmojiShortcode::candidates(u"cat", limit);
        int firstPrefixed = -1, firstContaining = -1;
        for (int i = 0; i < int(list.size()); ++i) {
            const bool prefixed = startsWith(list[size_t(i)].name, u"cat");
            if (prefixed && firstPrefixed < 0)
                firstPrefixed = i;
            if (!prefixed && firstContaining < 0)
                firstContaining = i;
        }
        t.check("names that merely contain the text come after the prefixed ones",
                firstPrefixed >= 0 && firstContaining >= 0 && firstPrefixed < firstContaining);
    }
    t.check("an unmatchable name offers nothing", EmojiShortcode::candidates(u"zzzznope", limit).empty());
    {
        bool all = true;
        for (const auto& c : EmojiShortcode::candidates(u"star", limit)) {
            if (emoji(c.name) != c.emoji) {
                all = false;
                break;
            }
        }
        t.check("every offered name resolves to its emoji", all);
    }
    {
        bool all = true;
        for (const U16String& name : EmojiShortcode::popular())
            all = all && emoji(name).has_value();
        t.check("the popular names all resolve", all);
    }

    editor.load(u":rocket: :tada:");
    view.setSelectedRange({2, 0});
    editor.restyle();
    t.check("only the caret's own shortcode is revealed",
            !emojiAt(0) && emojiAt(editor.find(u":tada:")) != nullptr);
}

} // namespace velkin
