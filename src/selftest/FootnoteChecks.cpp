#include "markdown/Footnote.h"
#include "markdown/MarkdownStyler.h"
#include "platform/text/TextOps.h"
#include "selftest/CheckUtilities.h"
#include "selftest/OffscreenEditor.h"
#include "selftest/SelfTestContext.h"

namespace velkin {

namespace {

std::vector<U16String> definitionLabels(U16View text)
{
    std::vector<U16String> out;
    for (const auto& d : Footnote::definitions(text))
        out.push_back(d.label);
    return out;
}

std::vector<U16String> referenceLabels(U16View text)
{
    std::vector<U16String> out;
    for (const auto& r : Footnote::references(text))
        out.push_back(r.label);
    return out;
}

const char16_t* const footnoteSample =
    u"Here is a simple footnote[^1].\n\nA footnote can also have multiple lines[^2].\n\n[^1]: My reference.\n"
    u"[^2]: To add line breaks within a footnote, add 2 spaces.\nThis is a second line.";

void styledFootnoteChecks(SelfTestContext& t)
{
    TextStorage storage{U16String(footnoteSample)};
    MarkdownStyler{14, MarkdownFontFamily::sansSerif}.apply(storage);
    const U16View s = storage.string();
    const int reference = TextOps::find(s, u"[^1]");
    const int definition = TextOps::find(s, u"[^2]:");
    const int continuation = TextOps::find(s, u"This is a second");
    auto at = [&](int index) -> const Attributes& {
        static const Attributes none;
        return index >= 0 && index < storage.length() ? storage.attributes(index) : none;
    };

    const Font* font = at(reference).font();
    t.check("the reference is set smaller than the body", font && font->pointSize == 10);
    const std::optional<double> raise = at(reference).number(AttributeKey::BaselineOffset);
    t.check("the reference is raised off the baseline", raise && *raise == 4);
    const U16String* label = at(reference).string(AttributeKey::FootnoteReference);
    t.check("the reference carries its label for clicks", label && *label == u"1");
    const Color* color = at(reference).color(AttributeKey::ForegroundColor);
    t.check("the reference's `[^` stays dimmed under the raise", color && *color == Color::tertiaryLabel());
    const U16String* defined = at(definition).string(AttributeKey::FootnoteDefinition);
    t.check("the definition's label carries its label too", defined && *defined == u"2");
    const ParagraphStyle* hanging = at(definition).paragraphStyle();
    t.check("a definition hangs its wrapped text under itself",
            hanging && hanging->headIndent == 1.7 * 14 && hanging->firstLineHeadIndent == 0);
    const ParagraphStyle* carried = at(continuation).paragraphStyle();
    t.check("a continuation line starts under that text", carried && carried->firstLineHeadIndent == 1.7 * 14);
    t.check("footnotes leave the document's characters alone", storage.string() == footnoteSample);
}

} // namespace

void footnoteChecks(SelfTestContext& t)
{
    using K = MarkdownToken::Kind;
    const U16String s =
        u"Here is a simple footnote[^1].\n\nA footnote can also have multiple lines[^2].\n\n[^1]: My reference.\n"
        u"[^2]: To add line breaks within a footnote, add 2 spaces.\nThis is a second line.";

    // Definitions and references.
    {
        const auto defs = Footnote::definitions(s);
        t.check("both definitions are found", definitionLabels(s) == std::vector<U16String>{u"1", u"2"});
        t.check("a definition's marker is its `[^1]:`", !defs.empty() && substring(s, defs.front().marker) == u"[^1]:");
        t.check("a definition's block stops at the next definition",
                !defs.empty() && substring(s, defs.front().block) == u"[^1]: My reference.\n");
        U16View lastBlock = defs.empty() ? U16View() : substring(s, defs.back().block);
        const U16View tail = u"This is a second line.";
        t.check("a continuation line belongs to the definition above it",
                !defs.empty() && lastBlock.size() >= tail.size() && lastBlock.substr(lastBlock.size() - tail.size()) == tail);
    }
    {
        const auto refs = Footnote::references(s);
        t.check("both references are found", referenceLabels(s) == std::vector<U16String>{u"1", u"2"});
        t.check("a reference covers its whole `[^1]`", !refs.empty() && substring(s, refs.front().range) == u"[^1]");
        const int definitionAt = int(s.find(u"[^1]:"));
        bool before = true;
        for (const auto& r : refs)
            if (r.range.location >= definitionAt)
                before = false;
        t.check("a definition's own `[^1]:` is not a reference to itself", before);
    }

    // What is not a footnote.
    const U16String dangling = u"A dangling note[^x].";
    t.check("an undefined label defines nothing", Footnote::definitions(dangling).empty());
    t.check("an undefined label is not a reference", Footnote::references(dangling).empty());
    t.check("an undefined reference gets no footnote span", !hasKind(MarkdownSyntax::spans(dangling), K::footnoteRef));
    t.check("labels match case-insensitively",
            referenceLabels(u"See[^Note].\n\n[^note]: here") == std::vector<U16String>{u"Note"});
    t.check("an empty label is not a definition", !Footnote::parseDefinition(u"[^]: nothing"));
    {
        const U16String text = u"[^1]: note\n## Next\ntail";
        const auto defs = Footnote::definitions(text);
        t.check("a heading under a definition is not part of the note",
                !defs.empty() && substring(text, defs.front().block) == u"[^1]: note\n");
    }
    t.check("a fenced `[^1]:` defines nothing", Footnote::definitions(u"```\n[^1]: not a note\n```").empty());
    t.check("a reference inside a code span is left as code",
            Footnote::references(u"Write `[^1]` for it[^1].\n\n[^1]: like so").size() == 1);

    // Scanner spans.
    const MarkdownSpans spans = MarkdownSyntax::spans(s);
    const MarkdownSpan* ref = firstOfKind(spans, K::footnoteRef);
    t.check("the reference is one span over `[^1]`", ref && spanText(s, *ref) == u"[^1]");
    t.check("the reference's brackets are dimmed", hasMarker(s, u"[^") && hasMarker(s, u"]"));
    const MarkdownSpan* label = firstOfKind(spans, K::footnoteLabel);
    t.check("the definition's label span is its `[^1]:`", label && spanText(s, *label) == u"[^1]:");
    t.check("the definition's `]:` is dimmed", hasMarker(s, u"]:"));
    t.check("the note's own text still styles inline",
            firstContent(u"[^1]: a **bold** note", MarkdownToken(K::bold)) == u"bold");
    t.check("a reference is safe inside a rendered table cell", MarkdownToken::footnoteRef(u"1").isInline());
    t.check("a definition's label is not", !MarkdownToken::footnoteLabel(u"1").isInline());
    styledFootnoteChecks(t);

    // Clicks in an editor jump between a reference and its definition.
    OffscreenEditor editor;
    editor.load(s);
    editor.view->setSelectedRange({0, 0});
    editor.restyle();
    editor.layOut();
    LayoutManager& layout = *editor.view->layoutManager();
    auto centre = [&](U16View text) {
        return layout.boundingRect(layout.glyphRange(Range{std::max(editor.find(text), 0), int(text.size())})).center();
    };
    const auto definition = editor.view->footnoteTarget(centre(u"[^1]"));
    t.check("clicking a reference targets its definition",
            definition && substring(editor.view->string(), *definition) == u"[^1]:");
    const auto reference = editor.view->footnoteTarget(centre(u"[^2]:"));
    t.check("clicking a definition targets the reference that sent you",
            reference && *reference == Range{editor.find(u"[^2]"), 4});
    t.check("clicking ordinary prose targets no footnote", !editor.view->footnoteTarget(centre(u"simple")));
    t.check("footnotes stay lossless Markdown", editor.serialized() == s);
}

} // namespace velkin
