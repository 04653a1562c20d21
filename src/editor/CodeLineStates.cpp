#include "editor/CodeLineStates.h"

#include <algorithm>

namespace velkin {

namespace {

// Kept line starts lie about this many units apart: an edit reads about twice
// as much again, and the list takes a few bytes per kilobyte of code.
constexpr int spacing = 1024;

bool before(const CodeLineStates::Entry& entry, int at) { return entry.at < at; }

} // namespace

void CodeLineStates::clear()
{
    opener = -1;
    language.clear();
    entries.clear();
    entries.shrink_to_fit();
    changed.reset();
}

void CodeLineStates::read(U16View text, int blockOpener, U16View blockLanguage, int codeStart, int bodyEnd)
{
    clear();
    opener = blockOpener;
    end = bodyEnd;
    language = U16String(blockLanguage);
    entries.push_back({codeStart, 0});
    CodeHighlighter::tokensFrom(substring(text, Range::fromTo(codeStart, bodyEnd)), language, 0,
                                [&](int at, CodeHighlighter::LineState state) {
                                    if (codeStart + at - entries.back().at >= spacing)
                                        entries.push_back({codeStart + at, state});
                                    return true;
                                });
}

void CodeLineStates::edited(Range range, int delta)
{
    if (opener < 0)
        return;
    // A state at a line start hangs on the text before it alone: those up to the
    // change hold, those it took in go, those after it are shifted and wait to be
    // compared with what the text reads there now.
    const int oldEnd = range.end() - delta;
    const auto map = [&](int p) { return p >= oldEnd ? p + delta : p > range.location ? std::min(p, range.end()) : p; };
    if (opener >= range.location && opener < std::max(oldEnd, range.location + 1)) {
        clear();
        return;
    }
    // Past the body the states are as they were; before the opening fence they all shift.
    if (range.location > end)
        return;
    const bool inBody = range.location > opener;
    opener = map(opener);
    end = map(end);
    std::erase_if(entries, [&](Entry& entry) {
        if (entry.at <= range.location)
            return false;
        if (entry.at <= oldEnd)
            return true;
        entry.at += delta;
        return false;
    });
    if (!inBody)
        return;
    changed = changed ? unionRange(Range::fromTo(map(changed->location), map(changed->end())), range) : range;
}

std::optional<CodeLineStates::Reading> CodeLineStates::reread(U16View text, int first, int last, int bodyEnd) const
{
    const int limit = changed ? std::min(first, changed->location) : first;
    auto after = std::upper_bound(entries.begin(), entries.end(), limit,
                                  [](int at, const Entry& entry) { return at < entry.at; });
    if (after == entries.begin())
        return std::nullopt;
    if (std::optional<Reading> reading = rereadFrom(text, std::prev(after), last, bodyEnd))
        return reading;
    // From the nearest line before it where the state is that of the text's start.
    auto fresh = std::prev(after);
    while (fresh != entries.begin() && fresh->state != 0)
        --fresh;
    return fresh->state == 0 ? rereadFrom(text, fresh, last, bodyEnd) : std::nullopt;
}

std::optional<CodeLineStates::Reading> CodeLineStates::rereadFrom(U16View text, std::vector<Entry>::const_iterator start,
                                                                  int last, int bodyEnd) const
{
    const int past = std::max(last, changed ? changed->end() + 1 : last);
    Reading reading{start->at, bodyEnd, {}};
    const U16View code = substring(text, Range::fromTo(start->at, bodyEnd));
    // Kept lines after the stretch are compared with the states read now.
    auto next = std::lower_bound(start + 1, entries.end(), past, before);
    const auto stopAt = [&](int at, CodeHighlighter::LineState state) {
        const int p = reading.from + at;
        while (next != entries.end() && next->at < p)
            ++next;
        if (p >= past && next != entries.end() && next->at == p && next->state == state) {
            reading.to = p;
            return false;
        }
        if (p - (reading.found.empty() ? reading.from : reading.found.back().at) >= spacing)
            reading.found.push_back({p, state});
        return true;
    };
    const std::optional<CodeTokens> carried = CodeHighlighter::tokensFrom(code, language, start->state, stopAt);
    if (!carried)
        return std::nullopt;
    // The stretch is styled as a block of its own, read from the state at the
    // text's start: that must give the same tokens.
    if (start->state != 0) {
        const U16View stretch = substring(text, Range::fromTo(reading.from, reading.to));
        if (CodeHighlighter::tokensFrom(stretch, language, 0, [](int, CodeHighlighter::LineState) { return true; })
            != carried)
            return std::nullopt;
    }
    return reading;
}

void CodeLineStates::adopt(const Reading& reading, int bodyEnd)
{
    end = bodyEnd;
    const auto from = std::upper_bound(entries.begin(), entries.end(), reading.from,
                                       [](int at, const Entry& entry) { return at < entry.at; });
    const auto to = std::lower_bound(from, entries.end(), reading.to, before);
    entries.insert(entries.erase(from, to), reading.found.begin(), reading.found.end());
    changed.reset();
}

} // namespace velkin
