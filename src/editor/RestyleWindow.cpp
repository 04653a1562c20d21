#include "editor/RestyleWindow.h"

#include "platform/text/TextOps.h"

#include <typeinfo>

namespace velkin::RestyleWindow {

int lineStart(U16View text, int position)
{
    return TextOps::findUnitBefore(text, u'\n', std::clamp(position, 0, int(text.size()))) + 1;
}

int nextLineStart(U16View text, int position)
{
    const int n = int(text.size());
    const int feed = TextOps::findUnit(text, u'\n', std::clamp(position, 0, n));
    return feed < 0 ? n : feed + 1;
}

namespace {

bool alikeValues(const AttributeValue& a, const AttributeValue& b)
{
    const auto* ma = std::get_if<MarkerPtr>(&a);
    const auto* mb = std::get_if<MarkerPtr>(&b);
    // Markers made anew by each restyle are alike by type; those that compare by value, by it.
    if (ma && mb && !(*ma && (*ma)->comparesByValue()))
        return *ma && *mb ? typeid(**ma) == typeid(**mb) : *ma == *mb;
    return attributeValuesEqual(a, b);
}

} // namespace

bool alike(const Attributes& a, const Attributes& b)
{
    if (&a == &b)
        return true;
    const auto& x = a.entries();
    const auto& y = b.entries();
    if (x.size() != y.size())
        return false;
    for (size_t i = 0; i < x.size(); ++i)
        if (x[i].first != y[i].first || !alikeValues(x[i].second, y[i].second))
            return false;
    return true;
}

bool agrees(const AttributedString& piece, int offset, const AttributedString& storage, Range range)
{
    for (int i = range.location; i < range.end();) {
        Range theirs, ours;
        const Attributes& kept = storage.attributes(i, &theirs);
        const Attributes& fresh = piece.attributes(i - offset, &ours);
        if (!alike(kept, fresh))
            return false;
        i = std::min(theirs.end(), ours.end() + offset);
    }
    return true;
}

void copyBack(const AttributedString& piece, int offset, TextStorage& storage, int skip, int end)
{
    const int n = end < 0 ? piece.length() : std::min(end, piece.length());
    for (int i = skip; i < n;) {
        Range ours;
        const AttributesPtr& fresh = piece.sharedAttributes(i, &ours);
        ours = Range::fromTo(std::max(ours.location, skip), std::min(ours.end(), n));
        // Compared piecewise: the storage's runs may be split differently. The
        // storage takes the piece's dictionaries, shared, not copies of them.
        for (int j = i; j < ours.end();) {
            Range theirs;
            const AttributesPtr& kept = storage.sharedAttributes(j + offset, &theirs);
            const int stop = std::min(ours.end(), theirs.end() - offset);
            if (kept != fresh && !(*kept == *fresh))
                storage.setAttributes(fresh, Range::fromTo(j + offset, stop + offset));
            j = stop;
        }
        i = ours.end();
    }
}

bool looksLikeFence(U16View text, int start)
{
    size_t p = size_t(start);
    int spaces = 0;
    while (p < text.size() && (text[p] == u' ' || text[p] == u'>' || text[p] == u'\t') && spaces < 40) {
        ++p;
        ++spaces;
    }
    return p + 2 < text.size() && (text[p] == u'`' || text[p] == u'~') && text[p + 1] == text[p]
        && text[p + 2] == text[p];
}

} // namespace velkin::RestyleWindow
