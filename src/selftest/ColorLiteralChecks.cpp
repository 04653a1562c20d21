#include "markdown/ColorLiteral.h"
#include "markdown/ColorSwatch.h"
#include "markdown/TableGrid.h"
#include "selftest/CheckUtilities.h"
#include "selftest/OffscreenEditor.h"
#include "selftest/SelfTestContext.h"

#include "platform/attributed/Color.h"
#include "platform/text/TextOps.h"

#include <QImage>
#include <QPainter>

#include <cmath>

namespace velkin {

namespace {

// The literal's colour as whole sRGB bytes, or nothing when the text is no literal.
std::optional<std::vector<int>> bytes(U16View text)
{
    const auto literal = ColorLiteral::parse(text);
    if (!literal)
        return std::nullopt;
    Color::RGBA c;
    if (!Color::srgb(literal->red, literal->green, literal->blue, 1).fixedComponents(c))
        return std::nullopt;
    return std::vector<int>{int(std::lround(c.red * 255)), int(std::lround(c.green * 255)),
                            int(std::lround(c.blue * 255))};
}

std::vector<ColorLiteral> colorLiterals(U16View text)
{
    std::vector<ColorLiteral> out;
    for (const MarkdownSpan& s : MarkdownSyntax::spans(text))
        if (s.token.is(MarkdownToken::Kind::color))
            out.push_back(s.token.colorLiteral());
    return out;
}

bool isBytes(U16View text, std::vector<int> expected)
{
    const auto b = bytes(text);
    return b && *b == expected;
}

// The centre of the square drawn in `color` when the layout paints its text, in
// text-container coordinates: the layout is painted at four pixels a point.
std::optional<QPointF> drawnSwatchCentre(LayoutManager& layout, const QColor& color)
{
    constexpr int scale = 4;
    const QSizeF size(layout.textContainer().width, std::ceil(layout.usedRect().bottom()) + 4);
    QImage image(int(size.width()) * scale, int(size.height()) * scale, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::white);
    {
        QPainter painter(&image);
        painter.scale(scale, scale);
        layout.draw(painter, QRectF(QPointF(0, 0), size), QPointF(0, 0));
    }
    int left = image.width(), top = image.height(), right = -1, bottom = -1;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x) {
            const QColor c = image.pixelColor(x, y);
            if (std::abs(c.red() - color.red()) <= 8 && std::abs(c.green() - color.green()) <= 8 &&
                std::abs(c.blue() - color.blue()) <= 8) {
                left = std::min(left, x);
                right = std::max(right, x);
                top = std::min(top, y);
                bottom = std::max(bottom, y);
            }
        }
    if (right < 0)
        return std::nullopt;
    return QPointF((left + right + 1) / 2.0 / scale, (top + bottom + 1) / 2.0 / scale);
}

// A swatch clicked and a colour picked in a window-less editor bound to a box.
void colorEditingChecks(SelfTestContext& t)
{
    auto box = std::make_shared<TextBox>();
    OffscreenEditor editor(OffscreenEditor::bound(box));
    MarkdownTextView& view = *editor.view;
    box->value = u"brand `#ff8800`\ntail";
    editor.load(box->value);
    editor.caretAt(u"tail");
    editor.restyle();
    editor.layOut();
    LayoutManager& layout = *view.layoutManager();

    const int literal = editor.find(u"#ff8800");
    const Range literalRange{literal, 7};
    const QRectF fragment = layout.lineFragmentRect(literal);
    const double baseline = fragment.top() + layout.location(literal).y();
    const Font* font = editor.storage().font(literal);
    const double capCentre = baseline - (font ? font->capHeight() / 2 : 0);
    const QPointF centre = drawnSwatchCentre(layout, QColor(255, 136, 0)).value_or(QPointF(-1, -1));
    t.check("the swatch is centred on the literal's cap height", std::abs(centre.y() - capCentre) < 0.5,
            "swatch " + TextOps::formatDouble(centre.y()) + ", cap centre " + TextOps::formatDouble(capCentre));
    t.check("the line fragment's own centre would sit lower", capCentre < fragment.center().y());
    const std::optional<Range> hit = view.colorSwatchRange(centre);
    t.check("a click on the swatch resolves the literal's range", hit == literalRange);
    t.check("a click on the literal itself is left to the caret", !view.colorSwatchRange(centre + QPointF(30, 0)));
    t.check("a click far from any swatch resolves nothing", !view.colorSwatchRange(QPointF(380, 60)));
    const bool began = view.beginColorEditing(hit.value_or(literalRange), false);
    t.check("clicking the swatch opens a picking session", began && view.isEditingColor());
    const Color blue = Color::srgb(0, 0, 1);
    view.applyPickedColor(blue);
    t.check("picking a colour rewrites the literal", editor.serialized() == u"brand `#0000ff`\ntail");
    t.check("picking a colour updates the generated (bound) Markdown", box->value == u"brand `#0000ff`\ntail");
    const int picked = editor.find(u"#0000ff");
    const auto mark = picked >= 0 ? editor.storage().marker<ColorMark>(AttributeKey::ColorSwatch, picked) : nullptr;
    Color::RGBA c;
    t.check("the swatch follows the new colour", mark && mark->color.fixedComponents(c) && c.blue == 1.0);
    view.applyPickedColor(Color::srgb(1, 0, 0));
    t.check("a second pick rewrites the literal again", editor.serialized() == u"brand `#ff0000`\ntail");
    view.endColorEditing();
    t.check("clicking away ends the session", !view.isEditingColor());
    view.applyPickedColor(blue);
    t.check("a pick after the session ends changes nothing", editor.serialized() == u"brand `#ff0000`\ntail");
    t.check("a range that isn't a colour opens no session", !view.beginColorEditing({editor.find(u"brand"), 5}, false));
}

} // namespace

void colorLiteralChecks(SelfTestContext& t)
{
    using K = MarkdownToken::Kind;
    using M = ColorLiteral::Model;

    // Parsing.
    t.check("a six-digit hex parses", isBytes(u"#ff8800", {255, 136, 0}));
    t.check("hex case doesn't matter", isBytes(u"#FF8800", {255, 136, 0}));
    t.check("a three-digit hex expands", isBytes(u"#f80", {255, 136, 0}));
    t.check("rgb() parses", isBytes(u"rgb(255, 136, 0)", {255, 136, 0}));
    t.check("rgb() without spaces parses", isBytes(u"rgb(255,136,0)", {255, 136, 0}));
    t.check("hsl() parses", isBytes(u"hsl(120, 100%, 50%)", {0, 255, 0}));
    t.check("a grey hsl() parses", isBytes(u"hsl(0, 0%, 50%)", {128, 128, 128}));
    {
        const auto a = ColorLiteral::parse(u"#f80");
        const auto b = ColorLiteral::parse(u"rgb(1, 2, 3)");
        const auto c = ColorLiteral::parse(u"hsl(1, 2%, 3%)");
        t.check("the model is remembered",
                a && a->model == M::hex && b && b->model == M::rgb && c && c->model == M::hsl);
    }
    t.check("a five-digit hex is not a colour", !ColorLiteral::parse(u"#ff880"));
    t.check("a non-hex digit is not a colour", !ColorLiteral::parse(u"#gg8800"));
    t.check("an out-of-range rgb() is not a colour", !ColorLiteral::parse(u"rgb(300, 0, 0)"));
    t.check("an out-of-range hsl() is not a colour", !ColorLiteral::parse(u"hsl(0, 200%, 0%)"));
    t.check("hsl() needs its percent signs", !ColorLiteral::parse(u"hsl(120, 100, 50)"));
    t.check("a colour with trailing text is not a colour", !ColorLiteral::parse(u"#ff8800 orange"));
    t.check("ordinary code is not a colour", !ColorLiteral::parse(u"let x = 1"));

    // Rewriting a literal in its own notation.
    const Color blue = Color::srgb(0, 0, 1, 1);
    t.check("hex is rewritten as hex", ColorLiteral::formatted(blue, u"#ff8800") == u"#0000ff");
    t.check("upper-case hex stays upper case", ColorLiteral::formatted(blue, u"#FF8800") == u"#0000FF");
    t.check("shorthand hex stays short when it still fits", ColorLiteral::formatted(blue, u"#f80") == u"#00f");
    t.check("shorthand hex grows when it no longer fits",
            ColorLiteral::formatted(Color::srgb(1, 0.5, 0, 1), u"#f80") == u"#ff8000");
    t.check("rgb() is rewritten as rgb()", ColorLiteral::formatted(blue, u"rgb(255, 136, 0)") == u"rgb(0, 0, 255)");
    t.check("rgb() keeps the author's comma spacing",
            ColorLiteral::formatted(blue, u"rgb(255,136,0)") == u"rgb(0,0,255)");
    t.check("hsl() is rewritten as hsl()",
            ColorLiteral::formatted(blue, u"hsl(30, 100%, 50%)") == u"hsl(240, 100%, 50%)");
    t.check("a rewrite round-trips through the parser",
            isBytes(ColorLiteral::formatted(blue, u"hsl(30, 100%, 50%)").value_or(U16String()), {0, 0, 255}));
    t.check("a non-colour is never rewritten", !ColorLiteral::formatted(blue, u"hello"));

    // Scanner spans.
    {
        const U16String text = u"brand `#ff8800` here";
        t.check("a colour in a code span gets a swatch", colorLiterals(text).size() == 1);
        const MarkdownSpans spans = MarkdownSyntax::spans(text);
        const MarkdownSpan* color = firstOfKind(spans, K::color);
        t.check("the swatch span covers just the literal", color && spanText(text, *color) == u"#ff8800");
        t.check("the literal is still inline code", firstContent(text, MarkdownToken(K::code)) == u"#ff8800");
    }
    t.check("every model gets a swatch", colorLiterals(u"`#f80` `rgb(1, 2, 3)` `hsl(4, 5%, 6%)`").size() == 3);
    t.check("a bare colour in prose gets no swatch", colorLiterals(u"brand #ff8800 here").empty());
    t.check("a colour inside a fenced block gets no swatch",
            colorLiterals(u"```css\na { color: #ff8800 }\n```").empty());
    t.check("a code span with more than a colour gets no swatch", colorLiterals(u"`color: #ff8800`").empty());
    t.check("ordinary inline code gets no swatch", colorLiterals(u"`let x = 1`").empty());
    {
        const auto literal = ColorLiteral::parse(u"#f80");
        t.check("a swatch is inline (it may appear in a grid cell)",
                literal && MarkdownToken::color(*literal).isInline());
    }

    // Swatch marks on a rendered storage.
    {
        const U16String text = u"brand `#ff8800` and `rgb(0, 0, 255)`";
        const TextStorage storage = TableGrid::render(text, 13);
        const int hex = TextOps::find(storage.string(), u"#ff8800");
        const auto mark = hex >= 0 ? storage.marker<ColorMark>(AttributeKey::ColorSwatch, hex) : nullptr;
        Color::RGBA c;
        t.check("rendering a colour changes no characters", TableGrid::serialize(storage) == text);
        t.check("the literal carries a swatch mark", mark != nullptr);
        t.check("the swatch is the literal's colour", mark && mark->color.fixedComponents(c) && c.red == 1.0);
        const std::optional<double> kern =
            hex >= 1 ? storage.attributes(hex - 1).number(AttributeKey::Kern) : std::nullopt;
        t.check("the backtick before the literal reserves the swatch's slot",
                mark && kern && *kern == mark->size + mark->gap);
        const int rgb = TextOps::find(storage.string(), u"rgb(");
        const auto rgbMark = rgb >= 0 ? storage.marker<ColorMark>(AttributeKey::ColorSwatch, rgb) : nullptr;
        t.check("the rgb() literal gets its own mark", rgbMark && rgbMark->color.fixedComponents(c) && c.blue == 1.0);
        const int brand = TextOps::find(storage.string(), u"brand");
        t.check("text outside a literal carries no swatch",
                brand >= 0 && !storage.attributes(brand).has(AttributeKey::ColorSwatch));
    }

    colorEditingChecks(t);
}

} // namespace velkin
