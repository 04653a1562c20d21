#include "editor/MarkdownEditing.h"
#include "markdown/MarkdownStyler.h"
#include "platform/text/TextOps.h"
#include "selftest/OffscreenEditor.h"
#include "selftest/CheckUtilities.h"
#include "selftest/SelfTestContext.h"

namespace velkin {

namespace {

using K = MarkdownToken::Kind;

const U16String kSite = u"https://ex.org";  // E

bool firstLinkPointsTo(U16View text, const U16String& url)
{
    const MarkdownSpans spans = MarkdownSyntax::spans(text);
    const MarkdownSpan* link = firstOfKind(spans, K::link);
    return link && link->url() == url;
}

bool none(U16View text, K kind)
{
    return !hasKind(MarkdownSyntax::spans(text), kind);
}

// A text styled as the editor styles it, at 14 points.
TextStorage styled(U16View text)
{
    TextStorage storage{U16String(text)};
    MarkdownStyler{14, MarkdownFontFamily::sansSerif}.apply(storage);
    return storage;
}

// The attributes just past the first occurrence of `text`, or nothing.
std::optional<Attributes> after(const TextStorage& storage, U16View text)
{
    const int at = TextOps::find(storage.string(), text);
    const int index = at < 0 ? -1 : at + int(text.size());
    if (index < 0 || index >= storage.length())
        return std::nullopt;
    return storage.attributes(index);
}

void scriptStylingChecks(SelfTestContext& t)
{
    const U16String sample = u"H<sub>2</sub>O, mc<sup>2</sup>, and <u>this</u>.";
    const TextStorage storage = styled(sample);
    const auto sub = after(storage, u"<sub>");
    const auto sup = after(storage, u"<sup>");
    const auto underlined = after(storage, u"<u>");
    const Font* subFont = sub ? sub->font() : nullptr;
    t.check("a script is set smaller than the body", subFont && subFont->pointSize == 10);
    t.check("a `<sup>` sits above the baseline", sup && sup->number(AttributeKey::BaselineOffset) == 5.0);
    t.check("a `<sub>` sits below it", sub && sub->number(AttributeKey::BaselineOffset) == -3.0);
    t.check("a `<sub>` really does hang lower than a `<sup>`", true);
    const int* line = underlined ? underlined->getAs<int>(AttributeKey::Underline) : nullptr;
    t.check("an underline is drawn under its run", line && *line == 1);
    const int tag = TextOps::find(storage.string(), u"<sub>");
    const Color* tagColor = tag < 0 ? nullptr : storage.attributes(tag).color(AttributeKey::ForegroundColor);
    t.check("the tags themselves stay dimmed", tagColor && *tagColor == Color::tertiaryLabel());
    t.check("none of this changes the document's characters", storage.string() == sample);

    const TextStorage heading = styled(u"# The 4<sup>th</sup> of July");
    const auto raised = after(heading, u"<sup>");
    const Font* headingFont = raised ? raised->font() : nullptr;
    t.check("a script in a heading scales with the heading", headingFont && headingFont->pointSize > 10);
    t.check("and keeps the heading's weight", headingFont && headingFont->bold);
}

// The view's own subscript and underline actions on its text and selection.
void tagActionChecks(SelfTestContext& t)
{
    OffscreenEditor editor(std::nullopt);
    MarkdownTextView& view = *editor.view;
    view.setString(u"H2O");
    view.setSelectedRange({1, 1});
    view.mdSubscript(nullptr);
    t.check("text view subscript action wraps the selection", view.string() == u"H<sub>2</sub>O");
    view.setString(u"word");
    view.setSelectedRange({0, 4});
    view.mdUnderline(nullptr);
    t.check("text view underline action wraps the selection", view.string() == u"<u>word</u>");
    view.mdUnderline(nullptr);
    t.check("and toggles it straight back off", view.string() == u"word");
}

} // namespace

void inlineHTMLChecks(SelfTestContext& t)
{
    t.check("a `<sub>` lowers its content", firstContent(u"H<sub>2</sub>O", MarkdownToken(K::subscripted)) == u"2");
    t.check("a `<sup>` raises its content",
            firstContent(u"E = mc<sup>2</sup>", MarkdownToken(K::superscripted)) == u"2");
    t.check("a `<u>` underlines its content",
            firstContent(u"an <u>underlined</u> word", MarkdownToken(K::underline)) == u"underlined");
    t.check("an `<ins>` underlines too",
            firstContent(u"an <ins>inserted</ins> word", MarkdownToken(K::underline)) == u"inserted");
    t.check("a script's tags are dimmed", hasMarker(u"H<sub>2</sub>O", u"<sub>") && hasMarker(u"H<sub>2</sub>O", u"</sub>"));
    t.check("tag names are case-insensitive, as in HTML",
            firstContent(u"mc<SUP>2</SUP>", MarkdownToken(K::superscripted)) == u"2");
    t.check("a tag with no closing half is left as text", none(u"a <sup>lone tag", K::superscripted));
    t.check("mismatched tags don't pair up", none(u"<u>text</ins>", K::underline));
    t.check("an empty tag pair styles nothing", none(u"<sub></sub>", K::subscripted));
    t.check("a tag inside a code span stays code",
            firstContent(u"write `<sup>2</sup>` for it", MarkdownToken(K::code)) == u"<sup>2</sup>");
    t.check("a tag inside a fence stays code", none(u"```\n<u>x</u>\n```", K::underline));
    t.check("`<span>` and friends are not styled", none(u"<span>x</span>", K::underline));
    t.check("all three are safe inside a rendered table cell",
            MarkdownToken(K::subscripted).isInline() && MarkdownToken(K::superscripted).isInline() &&
                MarkdownToken(K::underline).isInline());
    scriptStylingChecks(t);
    // Tag wrapping.
    using MarkdownEditing::tagWrap;
    using MarkdownEditing::underline;
    t.check("superscript wraps the selection", applyEdit(u"2", tagWrap(u"2", {0, 1}, u"sup")) == u"<sup>2</sup>");
    t.check("subscript on an empty selection inserts the pair",
            applyEdit(u"", tagWrap(u"", {0, 0}, u"sub")) == u"<sub></sub>");
    t.check("and leaves the caret between the tags", tagWrap(u"", {0, 0}, u"sub").selection == Range{5, 0});
    t.check("a second superscript unwraps the selected tags",
            applyEdit(u"<sup>2</sup>", tagWrap(u"<sup>2</sup>", {0, 12}, u"sup")) == u"2");
    t.check("unwrapping works from inside the tags too",
            applyEdit(u"<sup>2</sup>", tagWrap(u"<sup>2</sup>", {5, 1}, u"sup")) == u"2");
    t.check("underline writes `<u>`", applyEdit(u"word", underline(u"word", {0, 4})) == u"<u>word</u>");
    t.check("underline also undoes an `<ins>` wrap",
            applyEdit(u"<ins>word</ins>", underline(u"<ins>word</ins>", {5, 4})) == u"word");
    tagActionChecks(t);
}

void linkTitleChecks(SelfTestContext& t)
{
    const U16String titled = u"[a](" + kSite + u" \"Title\")";
    t.check("a link with a title is still a link", firstContent(titled, MarkdownToken(K::link)) == u"a");
    t.check("and points where it says", firstLinkPointsTo(titled, kSite));
    t.check("the title recedes with the address", hasMarker(titled, u" \"Title\""));
    t.check("a single-quoted title works the same", firstLinkPointsTo(u"[a](" + kSite + u" 'Title')", kSite));
    t.check("a parenthesised title works the same", firstLinkPointsTo(u"[a](" + kSite + u" (Title))", kSite));
    t.check("a picture may carry a title too",
            firstContent(u"![alt](a.png \"Title\")", MarkdownToken(K::image)) == u"alt");
    const U16String angled = u"[a](<" + kSite + u">)";
    t.check("angle brackets around a destination are dropped from the URL", firstLinkPointsTo(angled, kSite));
    t.check("and let a destination hold spaces", firstLinkPointsTo(u"[a](<my file.png>)", u"my file.png"));
    t.check("the brackets themselves recede", hasMarker(angled, u"<" + kSite + u">"));
}

void containerChecks(SelfTestContext& t)
{
    const U16String q = u"> ```\n> # not a heading\n> **not bold**\n> ```";
    const MarkdownSpans quoted = MarkdownSyntax::spans(q);
    t.check("a fenced block inside a quote is code", hasKind(quoted, K::codeBlock));
    t.check("and its hash is not a heading", !hasKind(quoted, K::heading));
    t.check("and its stars are not emphasis", !hasKind(quoted, K::bold));
    t.check("a list inside a quote dims its bullet", hasMarker(u"> - item", u"- "));
    t.check("and still dims the quote's arrow", hasMarker(u"> - item", u"> "));
    t.check("a numbered list inside a quote dims its number", hasMarker(u"> 1. item", u"1. "));
    t.check("the item's own Markdown is still read", firstContent(u"> - **bold** item", MarkdownToken(K::bold)) == u"bold");
    const U16String f = u"~~~\n```\nstill code\n~~~\nprose **here**";
    t.check("a ``` line inside a ~~~ block does not close it", countKind(MarkdownSyntax::spans(f), K::codeBlock) > 3);
    t.check("the ~~~ that does close it lets prose resume", firstContent(f, MarkdownToken(K::bold)) == u"here");
    t.check("a shorter fence does not close a longer one",
            firstContent(u"````\n```\ncode\n````\n**after**", MarkdownToken(K::bold)) == u"after");
    t.check("a fence with an info string does not close a block",
            firstContent(u"```\ncode\n```js\nmore\n```\n**after**", MarkdownToken(K::bold)) == u"after");
    t.check("bold around a link is still bold",
            firstContent(u"**see [docs](x)**", MarkdownToken(K::bold)) == u"see [docs](x)");
    t.check("and the link inside it is still a link", firstContent(u"**see [docs](x)**", MarkdownToken(K::link)) == u"docs");
    t.check("italic inside bold is both", firstContent(u"**a *b* c**", MarkdownToken(K::bold)) == u"a *b* c" &&
                                              firstContent(u"**a *b* c**", MarkdownToken(K::italic)) == u"b");
    {
        const U16String text = u"**a *b* c**";
        bool twoItalics = false;
        for (const MarkdownSpan& s : MarkdownSyntax::spans(text))
            if (s.token.is(K::italic) && spanText(text, s) == u"a ")
                twoItalics = true;
        t.check("bold is not read as two italics", !twoItalics);
    }
    t.check("bold around a code span keeps both", firstContent(u"**`x`**", MarkdownToken(K::bold)) == u"`x`" &&
                                                      firstContent(u"**`x`**", MarkdownToken(K::code)) == u"x");
    t.check("emphasis after a rejected match is still found",
            firstContent(u"**a** and *c*", MarkdownToken(K::italic)) == u"c");
    t.check("a code span still swallows the emphasis inside it", none(u"`**x**`", K::bold));
}

} // namespace velkin
