// The styler's per-span step: how each kind of Markdown span looks.
#include "highlight/CodeTokenColor.h"
#include "markdown/Alert.h"
#include "markdown/ColorSwatch.h"
#include "markdown/HardBreak.h"
#include "markdown/MarkdownStyler.h"

#include <algorithm>
#include <cmath>

namespace velkin {

namespace {

// Rounding to whole points: halves away from zero.
double nearest(double x)
{
    return std::round(x);
}

// Heading sizes as multiples of the base size, levels 1 to 6.
constexpr double headingScale[] = {1.9, 1.55, 1.3, 1.15, 1.0, 0.9};

} // namespace

Font MarkdownStyler::font(int index, const AttributedString& storage) const
{
    if (index >= 0 && index < storage.length())
        if (const Font* f = storage.font(index))
            return *f;
    return baseFont();
}

void MarkdownStyler::addTraits(bool bold, bool italic, Range range, AttributedString& storage) const
{
    std::vector<std::pair<Range, Font>> runs;
    storage.enumerateAttribute(AttributeKey::Font, range, [&](const AttributeValue* value, Range run) {
        const Font* f = value ? std::get_if<Font>(value) : nullptr;
        const Font current = f ? *f : baseFont();
        runs.emplace_back(run, current.withTraits(current.bold || bold, current.italic || italic));
    });
    for (const auto& [run, f] : runs)
        storage.addAttribute(AttributeKey::Font, f, run);
}

void MarkdownStyler::apply(const MarkdownSpan& span, AttributedString& storage) const
{
    const Range r = span.range;
    if (r.location < 0 || r.length < 0 || storage.length() < r.end())
        return;
    const double b = baseSize;
    using Kind = MarkdownToken::Kind;
    using Key = AttributeKey;
    const Font mono = Font::monospacedSystem(0.95 * b);

    switch (span.token.kind()) {
    case Kind::heading: {
        const int level = std::clamp(span.token.level(), 1, 6);
        storage.addAttribute(Key::Font, FontFamily::font(family, b * headingScale[level - 1], true, false), r);
        break;
    }
    case Kind::bold:
        addTraits(true, false, r, storage);
        break;
    case Kind::italic:
        addTraits(false, true, r, storage);
        break;
    case Kind::boldItalic:
        addTraits(true, true, r, storage);
        break;
    case Kind::strikethrough:
        storage.addAttribute(Key::Strikethrough, 1, r);
        break;
    case Kind::underline:
        storage.addAttribute(Key::Underline, 1, r);
        break;
    case Kind::subscripted:
    case Kind::superscripted: {
        // Size and offset follow the font already at the span's first character.
        const Font current = font(r.location, storage);
        const double p = current.pointSize;
        const double offset = span.token.is(Kind::subscripted) ? -nearest(0.18 * p) : nearest(0.33 * p);
        storage.addAttributes(Attributes{{Key::Font, current.withSize(std::max(nearest(0.7 * p), 9.0))},
                                         {Key::BaselineOffset, offset}},
                              r);
        break;
    }
    case Kind::code:
        storage.addAttributes(
            Attributes{{Key::Font, mono}, {Key::BackgroundColor, Color::text().withAlpha(0.06)}}, r);
        break;
    case Kind::codeBlock:
        storage.addAttributes(Attributes{{Key::Font, mono}, {Key::CodeBlockFill, true}}, r);
        break;
    case Kind::table:
        storage.addAttribute(Key::Font, mono, r);
        break;
    case Kind::link: {
        Attributes attributes{{Key::ForegroundColor, Color::link()}, {Key::Underline, 1}};
        if (const SpanText url = span.url())
            attributes.set(Key::Link, *url);
        storage.addAttributes(attributes, r);
        break;
    }
    case Kind::image:
        storage.addAttribute(Key::ForegroundColor, Color::secondaryLabel(), r);
        break;
    case Kind::lineBreak: {
        const double size = std::max(nearest(0.52 * b), 6.0);
        storage.addAttributes(Attributes{{Key::ForegroundColor, Color::clear()},
                                         {Key::HardBreak, MarkerPtr(std::make_shared<HardBreakMark>(size))}},
                              r);
        break;
    }
    case Kind::marker:
        storage.addAttribute(Key::ForegroundColor, Color::tertiaryLabel(), r);
        break;
    case Kind::color: {
        const ColorLiteral& literal = span.token.colorLiteral();
        const double size = std::max(nearest(0.95 * b), 11.0);
        const double gap = std::max(nearest(0.25 * b), 2.0);
        const Color color = Color::srgb(literal.red, literal.green, literal.blue, 1);
        storage.addAttribute(Key::ColorSwatch, MarkerPtr(std::make_shared<ColorMark>(color, size, gap, mono.capHeight())),
                             r);
        // The swatch's room is opened in front of the literal, not on it.
        if (r.location >= 1)
            storage.addAttribute(Key::Kern, size + gap, Range{r.location - 1, 1});
        break;
    }
    case Kind::codeSyntax:
        storage.addAttribute(Key::ForegroundColor, codeTokenColor(span.token.codeKind()), r);
        break;
    case Kind::alert:
        storage.addAttribute(Key::AlertBlock, MarkerPtr(std::make_shared<AlertMark>(span.token.alertKind(), 0, 0)), r);
        break;
    case Kind::alertLabel: {
        const AlertKind kind = span.token.alertKind();
        const double size = std::max(nearest(1.15 * b), 12.0);
        const double gap = nearest(0.3 * b);
        storage.addAttributes(Attributes{{Key::Font, FontFamily::font(family, b, true, false)},
                                         {Key::ForegroundColor, AlertKinds::labelColor(kind)},
                                         {Key::AlertIcon, MarkerPtr(std::make_shared<AlertMark>(kind, size, gap))}},
                              r);
        if (r.location >= 1)
            storage.addAttribute(Key::Kern, size + gap, Range{r.location - 1, 1});
        break;
    }
    case Kind::footnoteRef:
        storage.addAttributes(
            Attributes{{Key::Font, FontFamily::font(family, std::max(nearest(0.72 * b), 9.0), false, false)},
                       {Key::BaselineOffset, nearest(0.3 * b)},
                       {Key::ForegroundColor, Color::link()},
                       {Key::FootnoteReference, span.token.label()}},
            r);
        break;
    case Kind::footnoteLabel:
        storage.addAttributes(Attributes{{Key::Font, FontFamily::font(family, b, true, false)},
                                         {Key::ForegroundColor, Color::link()},
                                         {Key::FootnoteDefinition, span.token.label()}},
                              r);
        break;
    }
}

} // namespace velkin
