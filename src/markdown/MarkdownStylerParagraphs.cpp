// The styler's paragraph pass: spacing, heading space and hanging indents.
#include "markdown/Alert.h"
#include "markdown/Footnote.h"
#include "markdown/MarkdownList.h"
#include "markdown/MarkdownStyler.h"
#include "platform/layout/TextMeasure.h"
#include "platform/text/Lines.h"

#include <unordered_map>

namespace velkin {

namespace {

// Walks a list of ranges in text order alongside ascending positions.
template <class T, class RangeOf> class Cursor {
public:
    Cursor(const std::vector<T>& items, RangeOf rangeOf) : items_(items), rangeOf_(rangeOf) {}

    // The first item whose range holds `position`, or null; positions must not go back.
    const T* at(int position)
    {
        while (next_ < items_.size() && rangeOf_(items_[next_]).end() <= position)
            ++next_;
        if (next_ < items_.size() && rangeOf_(items_[next_]).contains(position))
            return &items_[next_];
        return nullptr;
    }

private:
    const std::vector<T>& items_;
    RangeOf rangeOf_;
    size_t next_ = 0;
};

// Paragraphs mostly share a handful of styles; equal values share one object.
class StyleCache {
public:
    ParagraphStylePtr get(const ParagraphStyle& style)
    {
        for (const auto& known : recent_)
            if (*known == style)
                return known;
        auto made = std::make_shared<const ParagraphStyle>(style);
        if (recent_.size() >= 8)
            recent_.erase(recent_.begin());
        recent_.push_back(made);
        return made;
    }

private:
    std::vector<ParagraphStylePtr> recent_;
};

} // namespace

void MarkdownStyler::applyParagraphStyles(AttributedString& storage, U16View text, const std::vector<Range>& cells) const
{
    const MarkdownSyntax::BlockLines lines(text);
    if (lines.count() == 0)
        return;
    const double b = baseSize;
    const Font base = baseFont();
    // List prefixes repeat ("- ", "  * ", "1. "): measure each once per pass.
    std::unordered_map<U16String, double> measured;
    auto width = [&](U16View s) {
        if (s.empty())
            return 0.0;
        U16String key(s);
        auto it = measured.find(key);
        if (it == measured.end())
            it = measured.emplace(std::move(key), TextMeasure::width(s, base)).first;
        return it->second;
    };

    const std::vector<Alert::Block> alerts = Alert::blocks(text);
    const std::vector<Footnote::Definition> footnotes = Footnote::definitions(text);
    const MarkdownList::LineMap lists = MarkdownList::lines(lines.texts, lines.fences);

    // Lines of a fenced block opened by a quoted fence line keep their quote indents;
    // other fenced lines are code, never headings or quotes.
    std::vector<bool> codeOnly(size_t(lines.count()), false);
    bool quotedFence = false;
    for (int i = 0; i < lines.count(); ++i) {
        const auto& fence = lines.fences[size_t(i)];
        if (fence.opens)
            quotedFence = fence.quoted;
        codeOnly[size_t(i)] = fence.isInside && !quotedFence;
    }

    Cursor footnoteAt(footnotes, [](const Footnote::Definition& d) { return d.block; });
    Cursor alertAt(alerts, [](const Alert::Block& a) { return a.range; });
    StyleCache styles;
    int line = 0;

    size_t cell = 0;  // the first cell not wholly before the paragraph
    for (const LineRange& paragraph : paragraphRanges(text)) {
        const Range r = paragraph.content;
        while (cell < cells.size() && cells[cell].end() <= r.location)
            ++cell;
        if (r.length == 0 || (cell < cells.size() && cells[cell].contains(r.location)))
            continue;
        while (line + 1 < lines.count() && lines.line(line + 1).content.location <= r.location)
            ++line;
        const U16View p = substring(text, r);

        ParagraphStyle style;
        style.lineSpacing = 0.08 * b;
        style.paragraphSpacing = 0.35 * b;
        // A line right under a grid keeps the gap a grid keeps from a line right above it
        // (that line's spacing after it): it does not touch the grid's border.
        if (cell > 0 && cells[cell - 1].end() == r.location)
            style.paragraphSpacingBefore = style.lineSpacing + style.paragraphSpacing;

        if (const Footnote::Definition* definition = footnoteAt.at(r.location)) {
            style.headIndent = 1.7 * b;
            style.firstLineHeadIndent = definition->line.contains(r.location) ? 0 : 1.7 * b;
            style.paragraphSpacing = 0.15 * b;
        } else if (alertAt.at(r.location)) {
            style.firstLineHeadIndent = style.headIndent = 1.4 * b;
            style.paragraphSpacing = 0.15 * b;
        } else if (const auto& setext = lines.setext[size_t(line)]) {
            // The heading's first text line gets space above; its text lines none below.
            if (!setext->isUnderline) {
                const auto& above = line > 0 ? lines.setext[size_t(line - 1)] : std::nullopt;
                if (!above || above->isUnderline)
                    style.paragraphSpacingBefore = 0.6 * b;
                style.paragraphSpacing = 0;
            }
        } else if (!codeOnly[size_t(line)] && MarkdownSyntax::matchHeading(p)) {
            style.paragraphSpacingBefore = 0.6 * b;
        } else if (const auto& item = lists[size_t(line)]) {
            const double hanging = width(MarkdownList::hangingPrefix(item->textIndent));
            style.headIndent = hanging;
            style.firstLineHeadIndent = item->isItemStart ? 0 : std::max(0.0, hanging - width(item->lineIndent));
            style.paragraphSpacing = item->isLoose ? 0.35 * b : 0.15 * b;
        } else if (!codeOnly[size_t(line)]) {
            const MarkdownSyntax::QuoteLeader leader = MarkdownSyntax::quoteLeader(p);
            if (leader.depth > 0) {
                const double indent = 1.1 * b * leader.depth;
                style.firstLineHeadIndent = style.headIndent = indent;
                const U16View rest = p.substr(std::min(size_t(leader.offset), p.size()));
                if (auto item = MarkdownSyntax::matchList(rest)) {
                    style.headIndent = indent + width(MarkdownList::hangingPrefix(rest.substr(0, size_t(item->blanks.end()))));
                    style.paragraphSpacing = 0.15 * b;
                }
            }
        }
        const ParagraphStylePtr shared = styles.get(style);
        int from = r.location;
        for (size_t c = cell; c < cells.size() && cells[c].location < r.end(); ++c) {
            if (cells[c].location > from)
                storage.addAttribute(AttributeKey::ParagraphStyle, shared, Range::fromTo(from, cells[c].location));
            from = std::max(from, cells[c].end());
        }
        if (from < r.end())
            storage.addAttribute(AttributeKey::ParagraphStyle, shared, Range::fromTo(from, r.end()));
    }
}

} // namespace velkin
