#include "markdown/Alert.h"

#include "markdown/MarkdownSyntax.h"
#include "markdown/MarkdownSyntaxDetail.h"
#include "platform/text/TextOps.h"

#include <functional>

namespace velkin {

namespace AlertKinds {

const char* rawValue(AlertKind kind)
{
    switch (kind) {
    case AlertKind::note:
        return "note";
    case AlertKind::tip:
        return "tip";
    case AlertKind::important:
        return "important";
    case AlertKind::warning:
        return "warning";
    case AlertKind::caution:
        return "caution";
    }
    return "note";
}

std::optional<AlertKind> fromRawValue(U16View raw)
{
    for (AlertKind k : all) {
        const char* name = rawValue(k);
        size_t i = 0;
        while (name[i] && i < raw.size() && raw[i] == char16_t(name[i]))
            ++i;
        if (!name[i] && i == raw.size())
            return k;
    }
    return std::nullopt;
}

const char* symbolName(AlertKind kind)
{
    switch (kind) {
    case AlertKind::note:
        return "info.circle";
    case AlertKind::tip:
        return "lightbulb";
    case AlertKind::important:
        return "exclamationmark.bubble";
    case AlertKind::warning:
        return "exclamationmark.triangle";
    case AlertKind::caution:
        return "exclamationmark.octagon";
    }
    return "info.circle";
}

Color color(AlertKind kind)
{
    switch (kind) {
    case AlertKind::note:
        return Color::role(Color::Role::SystemBlue);
    case AlertKind::tip:
        return Color::role(Color::Role::SystemGreen);
    case AlertKind::important:
        return Color::role(Color::Role::SystemPurple);
    case AlertKind::warning:
        return Color::role(Color::Role::SystemOrange);
    case AlertKind::caution:
        return Color::role(Color::Role::SystemRed);
    }
    return Color::role(Color::Role::SystemBlue);
}

namespace {

Color::RGBA blended(Color::RGBA c, Color::RGBA toward, double fraction)
{
    auto mix = [fraction](double a, double b) { return a * (1 - fraction) + b * fraction; };
    return Color::RGBA{mix(c.red, toward.red), mix(c.green, toward.green), mix(c.blue, toward.blue),
                       mix(c.alpha, toward.alpha)};
}

} // namespace

Color labelColor(AlertKind kind)
{
    const Color accent = color(kind);
    return Color::pair(blended(accent.resolved(Appearance::Light), Color::RGBA{0, 0, 0, 1}, 0.3),
                       blended(accent.resolved(Appearance::Dark), Color::RGBA{1, 1, 1, 1}, 0.15));
}

} // namespace AlertKinds

bool AlertMark::sameFields(const Marker& other) const
{
    const auto* mark = dynamic_cast<const AlertMark*>(&other);
    return mark && mark->kind == kind && mark->size == size && mark->gap == gap;
}

size_t AlertMark::fieldHash() const
{
    return std::hash<int>()(int(kind)) ^ (std::hash<double>()(size) << 1) ^ (std::hash<double>()(gap) << 2);
}

namespace Alert {

const Regex& labelRegex()
{
    static const Regex r("^([ ]{0,3}>[ \\t]?)(\\[!(NOTE|TIP|IMPORTANT|WARNING|CAUTION)\\])[ \\t]*$",
                         Regex::CaseInsensitive);
    return r;
}

const Regex& quoteLineRegex()
{
    static const Regex r("^[ ]{0,3}>");
    return r;
}

namespace {

// "^[ ]{0,3}>" by hand: it is asked of every line that follows a label.
bool isQuoteLine(U16View line)
{
    size_t i = 0;
    while (i < 3 && i < line.size() && line[i] == u' ')
        ++i;
    return i < line.size() && line[i] == u'>';
}

std::vector<Block> findBlocks(const std::vector<LineRange>& lines, const std::vector<U16View>& texts,
                              const MarkdownSyntax::LineFlags& fenced)
{
    std::vector<Block> out;
    const size_t n = texts.size();
    size_t i = 0;
    while (i < n) {
        if (fenced[i] || (i > 0 && !fenced[i - 1] && isQuoteLine(texts[i - 1]))) {
            ++i;
            continue;
        }
        const auto label = parseLabel(texts[i]);
        if (!label) {
            ++i;
            continue;
        }
        int end = lines[i].enclosing.end();
        size_t j = i + 1;
        while (j < n && !fenced[j] && isQuoteLine(texts[j])) {
            end = lines[j].enclosing.end();
            ++j;
        }
        const int start = lines[i].content.location;
        out.push_back(Block{label->kind, Range::fromTo(start, end),
                            Range{start + label->label.location, label->label.length},
                            Range{start + label->keyword.location, label->keyword.length}});
        i = j;
    }
    return out;
}

} // namespace

std::optional<Label> parseLabel(U16View line)
{
    // Cheap refusal: a quote marker and a "[!" must both be there.
    if (line.find(u"[!") == U16View::npos || !isQuoteLine(line))
        return std::nullopt;
    const auto m = labelRegex().firstMatch(line);
    if (!m || !m->has(2) || !m->has(3))
        return std::nullopt;
    const auto kind = AlertKinds::fromRawValue(TextOps::lowercased(m->text(line, 3)));
    if (!kind)
        return std::nullopt;
    return Label{*kind, m->range(2), m->range(3)};
}

std::vector<Block> blocks(U16View text)
{
    const auto lines = lineRanges(text);
    if (lines.empty())
        return {};
    const auto texts = MarkdownSyntax::lineTexts(text, lines);
    return findBlocks(lines, texts, MarkdownSyntax::fenceFlags(texts));
}

} // namespace Alert

namespace detail {

std::vector<Alert::Block> alertBlocks(const MarkdownSyntax::BlockLines& b)
{
    return Alert::findBlocks(b.index.lines(), b.texts, b.fenced);
}

} // namespace detail

} // namespace velkin
