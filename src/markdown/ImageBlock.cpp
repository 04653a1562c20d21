#include "markdown/ImageBlock.h"

#include "markdown/MarkdownSyntax.h"
#include "platform/strings/LocalizedStrings.h"
#include "platform/symbols/SymbolImage.h"
#include "platform/text/CharacterClass.h"

#include <QFontMetricsF>
#include <QPainter>
#include <QPainterPath>
#include <QPen>

#include <algorithm>
#include <cmath>

namespace velkin::ImageBlock {

std::optional<Parsed> parseBlockImage(U16View line)
{
    const U16View trimmed = velkin::trimmed(line, TrimSet::Whitespace);
    if (!trimmed.starts_with(u"!["))
        return std::nullopt;
    // The line is one image when the pattern's match at its start covers it.
    const std::optional<Regex::Match> m = MarkdownSyntax::matchImageAt(trimmed, 0);
    if (!m || m->range() != Range{0, int(trimmed.size())} || !m->has(4))
        return std::nullopt;
    std::optional<U16String> url = MarkdownSyntax::linkDestination(m->text(trimmed, 4), u"");
    if (!url)
        return std::nullopt;
    return Parsed{U16String(m->text(trimmed, 2)), std::move(*url)};
}

void enumerateImageLines(const AttributedString& text, const ImageLineVisitor& body)
{
    if (text.string().find(u"![") == U16String::npos)
        return;
    enumerateImageLines(ProseLines(text), body);
}

void enumerateImageLines(const ProseLines& lines, const ImageLineVisitor& body)
{
    if (lines.text.find(u"![") == U16View::npos)
        return;
    for (size_t i = 0; i < lines.count(); ++i) {
        if (lines.isCode(i))
            continue;
        if (std::optional<Parsed> image = parseBlockImage(lines.texts[i]))
            body(lines.lines[i].content, lines.lines[i].enclosing, image->alt, image->url);
    }
}

bool showsSource(Range line, Range enclosing, Range selection)
{
    if (selection.length == 0)
        return line.location <= selection.location && selection.location <= line.end();
    return overlaps(enclosing, selection);
}

QSizeF displaySize(const QImage* image, double available)
{
    return displaySize(image ? image->deviceIndependentSize() : QSizeF(), available);
}

QSizeF displaySize(QSizeF picture, double available)
{
    const double space = std::isnan(available) ? minimumAvailableWidth : std::max(available, minimumAvailableWidth);
    if (!(picture.width() > 0) || !(picture.height() > 0))
        return {space, placeholderHeight};
    // Whole points, but a side of a picture never rounds away: a picture
    // thinner than half a point still shows, one point thick.
    const auto whole = [](double side) { return std::max(1.0, std::round(side)); };
    const double w = std::min(space, picture.width());
    const double h = picture.height() * w / picture.width();
    if (h > maximumHeight)
        return {whole(picture.width() * maximumHeight / picture.height()), maximumHeight};
    return {whole(w), whole(h)};
}

void drawPlaceholder(QPainter& painter, const QRectF& rect, U16View alt, bool failed, Appearance appearance)
{
    if (!(rect.width() > 1) || !(rect.height() > 1))
        return;
    U16String caption;
    const char* symbol;
    if (failed) {
        caption = LocalizedStrings::text(u"Image unavailable");
        symbol = "photo.badge.exclamationmark";
    } else {
        caption = alt.empty() ? LocalizedStrings::text(u"Loading image\u2026") : U16String(alt);
        symbol = "photo";
    }
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing, true);

    QPainterPath box;
    box.addRoundedRect(rect.adjusted(0.5, 0.5, -0.5, -0.5), 8, 8);
    painter.fillPath(box, Color::text().withAlpha(0.06).toQColor(appearance));
    QPen border(Color::separator().toQColor(appearance));
    border.setWidthF(1);
    painter.strokePath(box, border);

    // The caption hangs 4 points below the symbol, or below the middle without one.
    const QColor secondary = Color::secondaryLabel().toQColor(appearance);
    double captionTop = rect.center().y();
    const QSizeF symbolSize = SymbolImage::size(symbol, 22);
    if (!symbolSize.isEmpty()) {
        const double bottom = rect.center().y() - 4;
        const QRectF place(rect.center().x() - symbolSize.width() / 2, bottom - symbolSize.height(),
                           symbolSize.width(), symbolSize.height());
        SymbolImage::draw(painter, symbol, place, secondary, SymbolWeight::Regular);
        captionTop = bottom;
    }
    const QRectF captionBox(rect.left() + 8, captionTop + 4, rect.width() - 16, 16);
    if (captionBox.width() > 0) {
        const QFont font = Font::system(11).toQFont();
        const QString text = QString::fromUtf16(caption.data(), qsizetype(caption.size()));
        const QString shown = QFontMetricsF(font).elidedText(text, Qt::ElideRight, captionBox.width());
        painter.setFont(font);
        painter.setPen(secondary);
        painter.drawText(captionBox, int(Qt::AlignHCenter | Qt::AlignTop | Qt::TextSingleLine), shown);
    }
    painter.restore();
}

QImage placeholderImage(U16View alt, bool failed, QSizeF size, Appearance appearance, double devicePixelRatio)
{
    const double ratio = devicePixelRatio > 0 ? devicePixelRatio : 1;
    const int w = std::max(1, int(std::ceil(std::max(0.0, size.width()) * ratio)));
    const int h = std::max(1, int(std::ceil(std::max(0.0, size.height()) * ratio)));
    QImage image(w, h, QImage::Format_ARGB32_Premultiplied);
    if (image.isNull())  // too large to allocate
        return image;
    image.setDevicePixelRatio(ratio);
    image.fill(Qt::transparent);
    if (size.width() > 1 && size.height() > 1) {
        QPainter painter(&image);
        drawPlaceholder(painter, QRectF(QPointF(0, 0), size), alt, failed, appearance);
    }
    return image;
}

void collapseLine(AttributedString& storage, Range line, Range enclosing, const std::string& key, U16View alt,
                  double height)
{
    storage.addAttributes(Attributes{{AttributeKey::Font, Font::system(0.1)},
                                     {AttributeKey::ForegroundColor, Color::clear()},
                                     {AttributeKey::CollapsedImage,
                                      MarkerPtr(std::make_shared<CollapsedImage>(key, U16String(alt)))}},
                          line);
    setCollapsedHeight(storage, enclosing, height);
}

void setCollapsedHeight(AttributedString& storage, Range enclosing, double height)
{
    const ParagraphStyle* found = storage.paragraphStyle(enclosing.location);
    auto style = std::make_shared<ParagraphStyle>(found ? *found : ParagraphStyle());
    style->lineSpacing = 0;
    style->paragraphSpacing = 0;
    style->paragraphSpacingBefore = 0;
    style->minimumLineHeight = height;
    style->maximumLineHeight = height;
    storage.addAttribute(AttributeKey::ParagraphStyle, ParagraphStylePtr(style), enclosing);
}

} // namespace velkin::ImageBlock
