#include <QColor>
#include <QImage>

#include "platform/text/TextOps.h"
#include "selftest/CheckUtilities.h"

#include <algorithm>

namespace velkin {

U16String applyEdit(U16View text, const std::optional<TextEdit>& edit)
{
    if (!edit)
        return U16String(text);
    const long long n = static_cast<long long>(text.size());
    const long long start = std::clamp<long long>(edit->range.location, 0, n);
    const long long end = std::clamp<long long>(static_cast<long long>(edit->range.location) + edit->range.length, start, n);
    U16String out(text.substr(0, size_t(start)));
    out += edit->replacement;
    out += text.substr(size_t(end));
    return out;
}

bool hasMarker(U16View text, U16View marker)
{
    for (const MarkdownSpan& s : MarkdownSyntax::spans(text))
        if (s.token.is(MarkdownToken::Kind::marker) && substring(text, s.range) == marker)
            return true;
    return false;
}

std::optional<U16String> firstContent(U16View text, const MarkdownToken& token)
{
    for (const MarkdownSpan& s : MarkdownSyntax::spans(text))
        if (s.token == token)
            return U16String(substring(text, s.range));
    return std::nullopt;
}

U16String spanText(U16View text, const MarkdownSpan& span)
{
    return U16String(substring(text, span.range));
}

const MarkdownSpan* firstOfKind(const MarkdownSpans& spans, MarkdownToken::Kind kind)
{
    for (const MarkdownSpan& s : spans)
        if (s.token.is(kind))
            return &s;
    return nullptr;
}

bool hasKind(const MarkdownSpans& spans, MarkdownToken::Kind kind)
{
    return firstOfKind(spans, kind) != nullptr;
}

int countKind(const MarkdownSpans& spans, MarkdownToken::Kind kind)
{
    int n = 0;
    for (const MarkdownSpan& s : spans)
        n += s.token.is(kind) ? 1 : 0;
    return n;
}

std::string colorDescription(const QColor& color)
{
    const QColor c = color.toRgb();
    return "sRGB " + TextOps::formatDouble(c.redF(), 4) + " " + TextOps::formatDouble(c.greenF(), 4) + " "
        + TextOps::formatDouble(c.blueF(), 4) + " " + TextOps::formatDouble(c.alphaF(), 4);
}

std::optional<QColor> pixelColor(const QImage& image, int x, int y)
{
    if (image.isNull() || x < 0 || y < 0 || x >= image.width() || y >= image.height())
        return std::nullopt;
    return image.pixelColor(x, y);
}

} // namespace velkin
