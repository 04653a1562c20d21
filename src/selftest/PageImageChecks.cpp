#include "export/PreviewRendererPage.h"
#include "export/WindowChrome.h"
#include "markdown/HardBreak.h"
#include "markdown/MarkdownStyler.h"
#include "platform/text/TextOps.h"
#include "selftest/CheckUtilities.h"
#include "selftest/SelfTestContext.h"

#include <QImage>

#include <cmath>
#include <filesystem>

namespace velkin {

namespace {

using K = MarkdownToken::Kind;

// The level of the first heading span holding the first occurrence of `needle`.
std::optional<int> headingLevel(U16View text, U16View needle)
{
    const size_t at = text.find(needle);
    if (at == U16View::npos)
        return std::nullopt;
    for (const MarkdownSpan& s : MarkdownSyntax::spans(text))
        if (s.token.is(K::heading) && s.range.contains(int(at)))
            return s.token.level();
    return std::nullopt;
}

// The characters under the first hard-break span.
std::optional<U16String> breakRun(U16View text)
{
    const MarkdownSpans spans = MarkdownSyntax::spans(text);
    if (const MarkdownSpan* s = firstOfKind(spans, K::lineBreak))
        return spanText(text, *s);
    return std::nullopt;
}

// The paragraph style at the first occurrence of `needle` once `text` is styled, or null.
std::optional<ParagraphStyle> styleAt(U16View text, U16View needle, double baseSize = 14)
{
    TextStorage storage{U16String(text)};
    MarkdownStyler{baseSize, MarkdownFontFamily::sansSerif}.apply(storage);
    const int at = TextOps::find(storage.string(), needle);
    const ParagraphStyle* style = at >= 0 ? storage.paragraphStyle(at) : nullptr;
    return style ? std::optional<ParagraphStyle>(*style) : std::nullopt;
}

double headIndent(U16View text, U16View needle)
{
    const auto style = styleAt(text, needle);
    return style ? style->headIndent : 0;
}

double spacing(U16View text, U16View needle)
{
    const auto style = styleAt(text, needle);
    return style ? style->paragraphSpacing : 0;
}

void setextSpacingCheck(SelfTestContext& t)
{
    const auto title = styleAt(u"Title\n===\n\nbody", u"Title");
    t.check("a setext heading and its rule sit together", title && title->paragraphSpacing == 0);
}

void blockLayoutChecks(SelfTestContext& t)
{
    t.check("a nested quote is set further in", headIndent(u"> one", u"one") < headIndent(u"> > two", u"two"));
    const auto top = styleAt(u"- top\n  - nested\n", u"top");
    const auto nested = styleAt(u"- top\n  - nested\n", u"nested");
    t.check("a nested item hangs further in than a top-level one",
            top && nested && 0 < top->headIndent && top->headIndent < nested->headIndent);
    t.check("a wrapped ordered item hangs past its number",
            headIndent(u"- item\n", u"item") < headIndent(u"10. item\n", u"item"));
    const auto more = styleAt(u"- item\n\n  more\n", u"more");
    t.check("an indented paragraph continues its item", more && more->headIndent > 0);
    const auto lazy = styleAt(u"- item\ncarried on\n", u"carried on");
    t.check("a lazy continuation is tucked under the item's text", lazy && lazy->firstLineHeadIndent > 0);
    const auto plain = styleAt(u"- item\n\nplain\n", u"plain");
    t.check("a paragraph after a list is left at the margin", plain && plain->firstLineHeadIndent == 0);
    const auto heading = styleAt(u"- item\n# Heading\n", u"# Heading");
    t.check("a heading after a list is left at the margin", heading && heading->firstLineHeadIndent == 0);

    const auto loose = styleAt(u"- one\n\n- two\n", u"one");
    const double looseSpacing = loose ? loose->paragraphSpacing : 0;
    t.check("a loose list is spaced, a tight one is not",
            loose && spacing(u"- one\n- two\n", u"one") < looseSpacing);
    if (t.demo) {
        const auto item = styleAt(*t.demo, u"- Unordered items");
        const double p = item ? item->paragraphSpacing : -1;
        t.check("the demo document's mixed list stays tight", std::abs(p - 2.1) < 0.01,
                "got " + TextOps::formatDouble(p));
    }
    t.check("bullets followed by numbers are two lists",
            loose && spacing(u"- one\n- two\n\n1. three\n", u"one") < looseSpacing);
    t.check("a blank line after a list does not loosen it",
            loose && spacing(u"- one\n- two\n\nplain\n", u"one") < looseSpacing);
}

void hardBreakMarkCheck(SelfTestContext& t)
{
    TextStorage storage{U16String(u"one  \ntwo")};
    MarkdownStyler{14, MarkdownFontFamily::sansSerif}.apply(storage);
    t.check("a hard break is drawn rather than left invisible",
            storage.marker<HardBreakMark>(AttributeKey::HardBreak, 3) != nullptr);
}

} // namespace

void windowChromeChecks(SelfTestContext& t)
{
    QImage page(200, 120, QImage::Format_ARGB32);
    page.fill(Qt::white);
    page.setDevicePixelRatio(1);
    const std::optional<QImage> framed = WindowChrome::frame(page, "demo.md");
    if (!framed) {
        t.check("chrome frames a page", false);
        return;
    }
    const double width = framed->width() / framed->devicePixelRatio();
    const double height = framed->height() / framed->devicePixelRatio();
    t.check("chrome adds the side margins", width == 280, "got " + TextOps::formatDouble(width));
    t.check("chrome adds a title bar and the top and bottom margins", height == 252,
            "got " + TextOps::formatDouble(height));
    const auto button = pixelColor(*framed, 66, 54);
    t.check("chrome draws the close button red", button && button->redF() > 0.8 && button->greenF() < 0.6,
            button ? "got " + colorDescription(*button) : std::string("got nothing"));
    const auto corner = pixelColor(*framed, 1, 1);
    t.check("chrome leaves the corner of the canvas transparent", corner && corner->alphaF() < 0.05);
}

void previewImageChecks(SelfTestContext& t)
{
    U16String markdown;
    for (int i = 0; i < 200; ++i)
        markdown += u"A line of the document.\n\n";
    const std::filesystem::path file = SelfTestFiles::temporaryPath("velkin-shot-", "png");
    const bool rendered = PreviewRenderer::renderPNG(markdown, file, 700, 14, std::nullopt, "demo.md", 860);
    t.check("a screenshot renders", rendered);
    if (rendered) {
        const QImage image(QString::fromStdString(file.string()));
        if (!image.isNull()) {
            const int w = image.width(), h = image.height();
            const bool whole = w % 780 == 0;
            const int scale = w / 780;
            t.check("a screenshot is one window tall, however long the document", whole && scale > 0 && h == scale * 992,
                    "got " + std::to_string(w) + "\u00d7" + std::to_string(h) + " for (780.0, 992.0) at "
                        + TextOps::formatDouble(double(w) / 780) + "\u00d7");
        }
    }
    std::error_code ignored;
    std::filesystem::remove(file, ignored);
}

void setextAndLayoutChecks(SelfTestContext& t)
{
    t.check("=== under a paragraph is a Heading 1", headingLevel(u"Title\n===\n", u"Title") == 1);
    t.check("--- under a paragraph is a Heading 2", headingLevel(u"Section\n---\n", u"Section") == 2);
    t.check("a setext rule is dimmed, not a heading",
            !headingLevel(u"Title\n===\n", u"===") && hasMarker(u"Title\n===\n", u"==="));
    t.check("--- after a blank line is still a rule", !headingLevel(u"Some text\n\n---\n", u"Some text"));
    t.check("--- under a list item is still a rule", !headingLevel(u"- item\n---\n", u"- item"));
    t.check("--- under a heading is still a rule", headingLevel(u"# Title\n---\n", u"# Title") == 1);
    {
        const U16String text = u"One line\nand another\n===\n";
        t.check("a setext heading takes its whole paragraph",
                headingLevel(text, u"One line") == 1 && headingLevel(text, u"and another") == 1);
    }
    t.check("a setext heading styles its inline Markdown",
            firstContent(u"A **bold** title\n===\n", MarkdownToken(K::bold)) == u"bold");
    t.check("a table's delimiter row is not a setext rule",
            !headingLevel(u"| a | b |\n| --- | --- |\n", u"| a | b |"));
    setextSpacingCheck(t);
    t.check("a nested quote dims both markers", hasMarker(u"> > deep", u"> > "));
    blockLayoutChecks(t);
    t.check("bold spans a line break",
            firstContent(u"a **start\nand end** b", MarkdownToken(K::bold)) == u"start\nand end");
    t.check("italic spans a line break",
            firstContent(u"a *start\nand end* b", MarkdownToken(K::italic)) == u"start\nand end");
    t.check("emphasis stops at the end of its paragraph",
            !firstContent(u"a *start\n\nand end* b", MarkdownToken(K::italic)));
    t.check("a list item's emphasis stops at its own line",
            !firstContent(u"- *start\n- and end* b", MarkdownToken(K::italic)));
    t.check("emphasis still works on one line", firstContent(u"plain **bold** plain", MarkdownToken(K::bold)) == u"bold");
    t.check("two trailing spaces are a hard break", breakRun(u"one  \ntwo") == u"  ");
    t.check("a trailing backslash is a hard break", breakRun(u"one\\\ntwo") == u"\\");
    t.check("one trailing space is not", !breakRun(u"one \ntwo"));
    t.check("an escaped backslash is not", !breakRun(u"one\\\\\ntwo"));
    t.check("a break with nothing under it is not marked", !breakRun(u"one  \n\ntwo"));
    t.check("a break at the end of the document is not marked", !breakRun(u"one  "));
    t.check("trailing spaces inside a fence are left alone", !breakRun(u"```\none  \ntwo\n```"));
    hardBreakMarkCheck(t);
    t.check("a doubled code span may hold a backtick", firstContent(u"``a ` b``", MarkdownToken(K::code)) == u"a ` b");
    t.check("a single code span still reads as one", firstContent(u"`code` here", MarkdownToken(K::code)) == u"code");
}

} // namespace velkin
