#include "editor/MarkdownEditing.h"
#include "markdown/MarkdownStyler.h"
#include "platform/layout/TextMeasure.h"
#include "platform/text/Lines.h"
#include "platform/text/TextOps.h"
#include "selftest/CheckUtilities.h"
#include "selftest/OffscreenEditor.h"
#include "selftest/SelfTestContext.h"

#include <cmath>
#include <functional>

namespace velkin {

void editingCommandChecks(SelfTestContext& t)
{
    using namespace MarkdownEditing;
    const auto gives = [](U16View text, const std::optional<TextEdit>& edit, U16View expected) {
        return applyEdit(text, edit) == expected;
    };

    t.check("heading 2 from body text", gives(u"title", heading(u"title", {0, 0}, 2), u"## title"));
    t.check("heading level is replaced", gives(u"# a", heading(u"# a", {0, 0}, 3), u"### a"));
    t.check("heading 0 strips to body", gives(u"## title", heading(u"## title", {0, 0}, 0), u"title"));
    t.check("bold wraps the selection", gives(u"hello", wrap(u"hello", {0, 5}, u"**"), u"**hello**"));
    t.check("bold on empty inserts markers", gives(u"", wrap(u"", {0, 0}, u"**"), u"****"));
    t.check("bold toggles off when already wrapped",
            gives(u"**hello**", wrap(u"**hello**", {2, 5}, u"**"), u"hello"));
    t.check("italic uses _ at a word boundary", gives(u"word", italic(u"word", {0, 4}), u"_word_"));
    t.check("italic uses * inside a word", gives(u"menu", italic(u"menu", {1, 2}), u"m*en*u"));
    t.check("italic uses * against a trailing word char", gives(u"menu", italic(u"menu", {0, 2}), u"*me*nu"));
    t.check("mid-word italic actually renders", hasKind(MarkdownSyntax::spans(u"m*en*u"), MarkdownToken::Kind::italic));
    t.check("italic toggles off an underscore wrap", gives(u"_word_", italic(u"_word_", {1, 4}), u"word"));
    t.check("italic toggles off a star wrap", gives(u"m*en*u", italic(u"m*en*u", {2, 2}), u"menu"));
    t.check("link wraps the selection", gives(u"site", link(u"site", {0, 4}), u"[site](url)"));
    t.check("image wraps the selection as alt text", gives(u"cat", image(u"cat", {0, 3}), u"![cat](url)"));
    t.check("image inserts a placeholder skeleton", gives(u"", image(u"", {0, 0}), u"![alt](url)"));
    t.check("rule mid-line breaks out with a blank line",
            gives(u"text", horizontalRule(u"text", {4, 0}), u"text\n\n---\n"));
    t.check("rule on a blank line inserts just the break",
            gives(u"a\n\n", horizontalRule(u"a\n\n", {3, 0}), u"a\n\n---\n"));

    const U16String table = u"| A | B |\n| --- | --- |\n| 1 | 2 |";
    const Range atOne{TextOps::find(table, u'1'), 0};
    t.check("add table row appends an empty row",
            gives(table, addTableRow(table, atOne), table + u"\n|     |     |"));
    t.check("add table column extends every row",
            TextOps::contains(applyEdit(table, addTableColumn(table, atOne)), u"| --- | --- | ----- |"));
    t.check("set column alignment (center)",
            TextOps::contains(applyEdit(table, setTableAlignment(table, atOne, TableAlignment::center)),
                              u"| :-: | --- |"));
    t.check("table edit outside a table is a no-op", !addTableRow(u"just text", {2, 0}).has_value());
}

void formattingActionChecks(SelfTestContext& t)
{
    OffscreenEditor editor(std::nullopt);
    MarkdownTextView& view = *editor.view;
    // Sets the text and the selection, runs the action, and reads the text back.
    auto after = [&](U16View text, Range selection, const std::function<void()>& action) {
        view.setString(text);
        view.setSelectedRange(selection);
        action();
        return view.string();
    };
    t.check("text view bold action wraps selection",
            after(u"hello", {0, 5}, [&] { view.mdBold(nullptr); }) == u"**hello**");
    const ActionSender level2 = ActionSender::menuItem(2);
    t.check("text view heading action applies level",
            after(u"title", {0, 0}, [&] { view.mdApplyHeading(&level2); }) == u"## title");
    t.check("text view italic action uses underscores at a word boundary",
            after(u"word", {0, 4}, [&] { view.mdItalic(nullptr); }) == u"_word_");
    t.check("text view italic action uses * inside a word",
            after(u"menu", {1, 2}, [&] { view.mdItalic(nullptr); }) == u"m*en*u");
    t.check("text view rule action inserts a thematic break",
            after(u"para", {4, 0}, [&] { view.mdInsertHorizontalRule(nullptr); }) == u"para\n\n---\n");
}

void tableKerningChecks(SelfTestContext& t)
{
    TextStorage storage(U16String(u"| a | x |\n| --- | --- |\n| abcdef | y |"));
    const MarkdownStyler styler{16, MarkdownFontFamily::sansSerif};
    styler.apply(storage);
    const U16View text = storage.string();
    std::vector<Range> lines;
    for (const LineRange& line : lineRanges(text))
        lines.push_back(line.content);

    // Offset of the second pipe of a line, or -1.
    auto secondPipe = [&](Range line) {
        const int first = TextOps::find(substring(text, line), u'|');
        const int second = first < 0 ? -1 : TextOps::find(substring(text, line), u'|', first + 1);
        return second < 0 ? -1 : line.location + second;
    };
    // The drawn width of the line up to its second pipe, kerning included.
    auto widthToSecondPipe = [&](Range line) {
        const int pipe = secondPipe(line);
        return pipe < 0 ? 0.0 : TextMeasure::width(storage, Range::fromTo(line.location, pipe), styler.baseFont());
    };
    const double header = lines.size() > 2 ? widthToSecondPipe(lines[0]) : 0;
    const double body = lines.size() > 2 ? widthToSecondPipe(lines[2]) : 0;
    t.check("ragged table columns align via kern", header > 0 && std::abs(header - body) < 1);

    const int pipe = lines.empty() ? -1 : secondPipe(lines[0]);
    const std::optional<double> kern =
        pipe >= 1 ? storage.attributes(pipe - 1).number(AttributeKey::Kern) : std::nullopt;
    t.check("short cell received kern padding", kern && *kern > 0);
}

} // namespace velkin
