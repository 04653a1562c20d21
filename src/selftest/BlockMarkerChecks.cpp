#include "app/DocumentStats.h"
#include "markdown/MarkdownStyler.h"
#include "platform/text/TextOps.h"
#include "selftest/CheckUtilities.h"
#include "selftest/SelfTestContext.h"

#include <cmath>

namespace velkin {

namespace {

// A storage holding `text`, styled in the sans-serif family unless told otherwise.
TextStorage styled(U16View text, double baseSize, MarkdownFontFamily family = MarkdownFontFamily::sansSerif)
{
    TextStorage storage{U16String(text)};
    MarkdownStyler{baseSize, family}.apply(storage);
    return storage;
}

// The font at the first occurrence of `needle`, or nothing.
std::optional<Font> fontAt(const TextStorage& storage, U16View needle)
{
    const int at = TextOps::find(storage.string(), needle);
    if (at < 0)
        return std::nullopt;
    const Font* f = storage.font(at);
    return f ? std::optional<Font>(*f) : std::nullopt;
}

} // namespace

void blockMarkerChecks(SelfTestContext& t)
{
    using K = MarkdownToken::Kind;
    const MarkdownSpans table = MarkdownSyntax::spans(u"| A | B |\n| --- | --- |\n| 1 | 2 |");
    t.check("table rows styled monospaced", hasKind(table, K::table));
    t.check("table pipes dimmed", hasKind(table, K::marker));
    t.check("all three table lines detected", countKind(table, K::table) == 3);
    t.check("stray pipe line isn't a table", !hasKind(MarkdownSyntax::spans(u"a | b | c"), K::table));
    t.check("blockquote marker dimmed", hasMarker(u"> quoted", u"> "));
    t.check("list marker dimmed", hasMarker(u"- item", u"- "));
    t.check("ordered list marker dimmed", hasMarker(u"1. item", u"1. "));
    t.check("thematic break dimmed", hasKind(MarkdownSyntax::spans(u"---"), K::marker));
}

void stylerSizeChecks(SelfTestContext& t)
{
    const U16String sample = u"# Heading\n\nbody **bold** text";
    const TextStorage sans = styled(sample, 16);
    const std::optional<Font> heading = fontAt(sans, u"#");
    t.check("heading renders larger than body", heading && heading->pointSize > 16);
    const std::optional<Font> bold = fontAt(sans, u"bold");
    t.check("bold run has the bold trait", bold && bold->bold);

    auto headingSize = [](const TextStorage& storage) {
        const Font* f = storage.length() > 0 ? storage.font(0) : nullptr;
        return f ? f->pointSize : 0.0;
    };
    const double small = headingSize(styled(u"# H", 16));
    const double large = headingSize(styled(u"# H", 32));
    t.check("zoom doubles heading size", std::abs(large - 2 * small) < 0.01);

    const Font sansFont = FontFamily::font(MarkdownFontFamily::sansSerif, 16, false, false);
    const Font serifFont = FontFamily::font(MarkdownFontFamily::serif, 16, false, false);
    const Font monoFont = FontFamily::font(MarkdownFontFamily::monospace, 16, false, false);
    t.check("sans-serif body isn't fixed pitch", !sansFont.isFixedPitch());
    t.check("monospace body is fixed pitch", monoFont.isFixedPitch());
    t.check("serif uses a different family than sans-serif", serifFont.familyName() != sansFont.familyName());
    t.check("font family keeps the requested size", std::abs(serifFont.pointSize - 16) < 0.01);

    const Font serifBold = FontFamily::font(MarkdownFontFamily::serif, 16, true, false);
    const Font serifItalic = FontFamily::font(MarkdownFontFamily::serif, 16, false, true);
    t.check("serif bold keeps the bold trait", serifBold.bold);
    t.check("serif italic keeps the italic trait", serifItalic.italic);
    t.check("serif bold stays in the serif family", serifBold.familyName() == serifFont.familyName());

    const TextStorage serif = styled(sample, 16, MarkdownFontFamily::serif);
    const std::optional<Font> body = fontAt(serif, u"body");
    t.check("styler applies serif to body", body && body->familyName() == serifFont.familyName());
    const Font* serifHeading = serif.font(0);
    t.check("styler keeps serif headings bold and larger",
            serifHeading && serifHeading->bold && serifHeading->pointSize > 16);
}

void documentStatsChecks(SelfTestContext& t)
{
    const DocumentStats stats(u"one two three");
    t.check("stats counts words", stats.words == 3);
    t.check("stats counts characters", stats.characters == 13);
    t.check("empty document has zero words", DocumentStats(u"").words == 0);
}

void defaultBodySizeChecks(SelfTestContext& t)
{
    const double defaultBodySize = MarkdownStyler().baseSize;
    t.check("default body size is 14pt", defaultBodySize == 14);
    const TextStorage storage = styled(u"# Heading\n\nbody text", 14);
    const std::optional<Font> body = fontAt(storage, u"body");
    t.check("body renders at 14pt", body && body->pointSize == 14);
    const Font* heading = storage.font(0);
    t.check("heading scales above 14pt body", heading && heading->pointSize > 14);
}

} // namespace velkin
