#include "markdown/MarkdownSyntax.h"

#include "markdown/Footnote.h"
#include "markdown/MarkdownSyntaxDetail.h"
#include "markdown/ReferenceLink.h"
#include "platform/text/CharacterClass.h"
#include "platform/text/Utf.h"

#include <algorithm>

namespace velkin {

bool MarkdownToken::isInline() const
{
    switch (kind_) {
    case Kind::heading:
    case Kind::codeSyntax:
    case Kind::alert:
    case Kind::alertLabel:
    case Kind::footnoteLabel:
    case Kind::codeBlock:
    case Kind::table:
        return false;
    default:
        return true;
    }
}

bool MarkdownToken::operator==(const MarkdownToken& other) const
{
    if (kind_ != other.kind_ || small_ != other.small_)
        return false;
    if (large_ == other.large_ || kind_ == Kind::link || kind_ == Kind::image)
        return true;
    if (!large_ || !other.large_)
        return false;
    return kind_ == Kind::color ? colorLiteral() == other.colorLiteral() : label() == other.label();
}

namespace MarkdownSyntax {

// ---- Patterns ----

const Regex& setextUnderlineRegex()
{
    static const Regex r("^[ ]{0,3}(?:=+|-+)[ \\t]*$");
    return r;
}
const Regex& headingRegex()
{
    static const Regex r("^(#{1,6})([ \\t]+)(.*)$");
    return r;
}
const Regex& thematicBreakRegex()
{
    static const Regex r("^[ ]{0,3}(?:(?:\\*[ \\t]*){3,}|(?:-[ \\t]*){3,}|(?:_[ \\t]*){3,})$");
    return r;
}
const Regex& quoteRegex()
{
    static const Regex r("^([ ]{0,3}>+[ \\t]?)(.*)$");
    return r;
}
const Regex& listRegex()
{
    static const Regex r("^([ \\t]*)([-*+]|\\d{1,9}[.)])([ \\t]+)(.*)$");
    return r;
}
const Regex& codeSpanRegex()
{
    static const Regex r("(?<!`)(`+)(?!`)([^\\n]+?)(\\1)(?!`)");
    return r;
}
const Regex& escapeRegex()
{
    static const Regex r("(\\\\)([!-/:-@\\[-`{-~])");
    return r;
}
const Regex& imageRegex()
{
    static const Regex r("(!\\[)([^\\]\\n]*?)(\\]\\()(<[^<>\\n]*>|(?:[^()\\s]|\\((?:[^()\\s]|\\((?:[^()\\s]|\\((?:[^()\\s]|\\([^()\\s]*\\))*\\))*\\))*\\))*)"
                         "((?:[ \\t]+(?:\"[^\"\\n]*\"|'[^'\\n]*'|\\([^()\\n]*\\)))?[ \\t]*)(\\))");
    return r;
}
const Regex& linkRegex()
{
    static const Regex r("(\\[)([^\\]\\n]*?)(\\]\\()(<[^<>\\n]*>|(?:[^()\\s]|\\((?:[^()\\s]|\\((?:[^()\\s]|\\((?:[^()\\s]|\\([^()\\s]*\\))*\\))*\\))*\\))*)"
                         "((?:[ \\t]+(?:\"[^\"\\n]*\"|'[^'\\n]*'|\\([^()\\n]*\\)))?[ \\t]*)(\\))");
    return r;
}
const Regex& autolinkRegex()
{
    static const Regex r("(<)([A-Za-z][A-Za-z0-9+.\\-]{1,31}:[^<>\\s]*)(>)");
    return r;
}
const Regex& emailAutolinkRegex()
{
    static const Regex r("(<)([A-Za-z0-9._%+\\-]+@[A-Za-z0-9\\-]+(?:\\.[A-Za-z0-9\\-]+)+)(>)");
    return r;
}
const Regex& fullReferenceRegex()
{
    static const Regex r("(\\[)([^\\]\\n]+?)(\\]\\[)([^\\]\\n]*?)(\\])");
    return r;
}
const Regex& shortcutReferenceRegex()
{
    static const Regex r("(\\[)([^\\]\\n]+?)(\\])(?![(\\[:])");
    return r;
}
const Regex& imageReferenceRegex()
{
    static const Regex r("(!\\[)([^\\]\\n]+?)(\\]\\[)([^\\]\\n]*?)(\\])");
    return r;
}
const Regex& imageShortcutRegex()
{
    static const Regex r("(!\\[)([^\\]\\n]+?)(\\])(?![(\\[:])");
    return r;
}
const Regex& boldItalicStar()
{
    static const Regex r("(\\*\\*\\*)([^*]+?)(\\*\\*\\*)");
    return r;
}
const Regex& boldItalicUnder()
{
    static const Regex r("(___)([^_]+?)(___)");
    return r;
}
const Regex& boldStar()
{
    static const Regex r("(\\*\\*)((?:[^*]|\\*(?!\\*))+?)(\\*\\*)");
    return r;
}
const Regex& boldUnder()
{
    static const Regex r("(__)((?:[^_]|_(?!_))+?)(__)");
    return r;
}
const Regex& italicStar()
{
    static const Regex r("(\\*)([^*]+?)(\\*)");
    return r;
}
const Regex& italicUnder()
{
    static const Regex r("(?<![A-Za-z0-9_])(_)([^_]+?)(_)(?![A-Za-z0-9_])");
    return r;
}
const Regex& strikeRegex()
{
    static const Regex r("(~~)([^~]+?)(~~)");
    return r;
}

// ---- Per-line matches ----
//
// The block patterns are tried on every line of every restyle, so they are
// matched by hand here. Each function gives what the pattern gives; a line
// that still holds a line terminator after its trailing CR/LF is dropped is
// left to the pattern itself, whose "." and "$" treat terminators specially.

namespace {

Range groupOrNothing(const Regex::Match& m, int g)
{
    return m.range(g);
}

} // namespace

std::optional<HeadingMatch> matchHeading(U16View line)
{
    const U16View s = detail::withoutTerminator(line);
    if (s.empty() || s[0] != u'#')
        return std::nullopt;
    if (detail::holdsTerminator(s)) {
        auto m = headingRegex().firstMatch(s);
        if (!m)
            return std::nullopt;
        return HeadingMatch{groupOrNothing(*m, 1), groupOrNothing(*m, 2), groupOrNothing(*m, 3)};
    }
    const int n = int(s.size());
    int h = 0;
    while (h < n && s[size_t(h)] == u'#')
        ++h;
    if (h > 6)
        return std::nullopt;
    int b = h;
    while (b < n && CharacterClass::isAsciiBlank(s[size_t(b)]))
        ++b;
    if (b == h)
        return std::nullopt;
    return HeadingMatch{Range{0, h}, Range::fromTo(h, b), Range::fromTo(b, n)};
}

bool isThematicBreak(U16View line)
{
    const U16View s = detail::withoutTerminator(line);
    const int n = int(s.size());
    int i = 0;
    while (i < n && s[size_t(i)] == u' ')
        ++i;
    if (i > 3 || i == n)
        return false;
    const char16_t c = s[size_t(i)];
    if (c != u'*' && c != u'-' && c != u'_')
        return false;
    // A line holding a line terminator is the expression's to read (its "$" may stand
    // before one), but only the marker and blanks come before the first it could
    // match at: a long item's line ends the search at its first word.
    int count = 0;
    for (; i < n; ++i) {
        const char16_t u = s[size_t(i)];
        if (u == c)
            ++count;
        else if (detail::isLineTerminatorUnit(u))
            return thematicBreakRegex().isMatch(s);
        else if (!CharacterClass::isAsciiBlank(u))
            return false;
    }
    return count >= 3;
}

bool isSetextUnderline(U16View line)
{
    const U16View s = detail::withoutTerminator(line);
    const int n = int(s.size());
    int i = 0;
    while (i < n && s[size_t(i)] == u' ')
        ++i;
    if (i > 3 || i == n)
        return false;
    const char16_t c = s[size_t(i)];
    if (c != u'=' && c != u'-')
        return false;
    // As for a thematic break: the expression reads a line only where a terminator follows the underline.
    while (i < n && s[size_t(i)] == c)
        ++i;
    while (i < n && CharacterClass::isAsciiBlank(s[size_t(i)]))
        ++i;
    if (i < n && detail::isLineTerminatorUnit(s[size_t(i)]))
        return setextUnderlineRegex().isMatch(s);
    return i == n;
}

std::optional<ListMatch> matchList(U16View line)
{
    const U16View s = detail::withoutTerminator(line);
    const int n = int(s.size());
    int i = 0;
    while (i < n && CharacterClass::isAsciiBlank(s[size_t(i)]))
        ++i;
    if (i == n)
        return std::nullopt;
    const char16_t first = s[size_t(i)];
    // Cheap refusal: a bullet, an ASCII digit or a non-ASCII unit (other scripts' digits).
    if (first != u'-' && first != u'*' && first != u'+' && !CharacterClass::isAsciiDigit(first) && first < 0x80)
        return std::nullopt;
    if (detail::holdsTerminator(s)) {
        auto m = listRegex().firstMatch(s);
        if (!m)
            return std::nullopt;
        return ListMatch{m->range(1), m->range(2), m->range(3), m->range(4)};
    }
    const int indentEnd = i;
    int bulletEnd;
    if (first == u'-' || first == u'*' || first == u'+') {
        bulletEnd = i + 1;
    } else {
        int digits = 0;
        int j = i;
        while (j < n) {
            const char32_t c = codePointAt(s, j);
            if (!CharacterClass::isDecimalDigit(c))
                break;
            j += codePointLength(s, j);
            ++digits;
        }
        if (digits == 0 || digits > 9 || j == n || (s[size_t(j)] != u'.' && s[size_t(j)] != u')'))
            return std::nullopt;
        bulletEnd = j + 1;
    }
    int b = bulletEnd;
    while (b < n && CharacterClass::isAsciiBlank(s[size_t(b)]))
        ++b;
    if (b == bulletEnd)
        return std::nullopt;
    return ListMatch{Range{0, indentEnd}, Range::fromTo(indentEnd, bulletEnd), Range::fromTo(bulletEnd, b),
                     Range::fromTo(b, n)};
}

std::optional<QuoteMatch> matchQuote(U16View line)
{
    const U16View s = detail::withoutTerminator(line);
    const int n = int(s.size());
    int i = 0;
    while (i < n && s[size_t(i)] == u' ')
        ++i;
    if (i > 3 || i == n || s[size_t(i)] != u'>')
        return std::nullopt;
    if (detail::holdsTerminator(s)) {
        auto m = quoteRegex().firstMatch(s);
        if (!m)
            return std::nullopt;
        return QuoteMatch{m->range(1), m->range(2)};
    }
    while (i < n && s[size_t(i)] == u'>')
        ++i;
    if (i < n && CharacterClass::isAsciiBlank(s[size_t(i)]))
        ++i;
    return QuoteMatch{Range{0, i}, Range::fromTo(i, n)};
}

// ---- Line classifiers ----

std::vector<U16View> lineTexts(U16View text, const std::vector<LineRange>& lines)
{
    std::vector<U16View> out;
    out.reserve(lines.size());
    for (const auto& l : lines)
        out.push_back(substring(text, l.content));
    return out;
}

QuoteLeader quoteLeader(U16View line)
{
    const int n = int(line.size());
    int pos = 0;
    int depth = 0;
    for (;;) {
        int p = pos;
        int spaces = 0;
        while (spaces < 3 && p < n && line[size_t(p)] == u' ') {
            ++p;
            ++spaces;
        }
        if (p < n && line[size_t(p)] == u'>') {
            ++p;
            if (p < n && CharacterClass::isAsciiBlank(line[size_t(p)]))
                ++p;
            ++depth;
            pos = p;
        } else {
            break;
        }
    }
    return QuoteLeader{depth >= 1 ? pos : 0, depth};
}

int containerLeader(U16View line)
{
    // A few levels, each unindented: an indented marker's block hangs on the lines above.
    int at = 0;
    for (int level = 0; level < 8 && at < int(line.size()) && !CharacterClass::isAsciiBlank(line[size_t(at)]); ++level) {
        const U16View rest = line.substr(size_t(at));
        if (const QuoteLeader quote = quoteLeader(rest); quote.depth > 0) {
            at += quote.offset;
            continue;
        }
        const U16View head = rest.substr(0, std::min<size_t>(rest.size(), 16));
        const auto item = matchList(head);
        if (!item || item->blanks.length != 1 || item->text.location >= int(head.size()))
            break;
        at += item->text.location;
    }
    return at;
}

namespace {

struct FenceDelimiter {
    char16_t character;
    int run;
    std::optional<U16View> info;
};

// A fence line: three or more backticks or tildes after any indentation. The
// trim takes line breaks too, so a CRLF line's carriage return never becomes
// an info string that would keep a fence from closing.
std::optional<FenceDelimiter> fenceDelimiter(U16View trimmedLine)
{
    if (trimmedLine.empty())
        return std::nullopt;
    const char16_t c = trimmedLine[0];
    if (c != u'`' && c != u'~')
        return std::nullopt;
    int run = 0;
    const int n = int(trimmedLine.size());
    while (run < n && trimmedLine[size_t(run)] == c)
        ++run;
    if (run < 3)
        return std::nullopt;
    const U16View info = trimmed(trimmedLine.substr(size_t(run)), TrimSet::WhitespaceAndNewlines);
    if (c == u'`' && info.find(u'`') != U16View::npos)
        return std::nullopt;
    FenceDelimiter d{c, run, std::nullopt};
    if (!info.empty())
        d.info = info;
    return d;
}

std::optional<U16String> infoLanguage(U16View info)
{
    size_t i = 0;
    while (i < info.size() && CharacterClass::isAsciiBlank(info[i]))
        ++i;
    size_t j = i;
    while (j < info.size() && !CharacterClass::isAsciiBlank(info[j]))
        ++j;
    if (j == i)
        return std::nullopt;
    return U16String(info.substr(i, j - i));
}

} // namespace

namespace {

// Whether only what a list marker is made of comes before the line's first
// fence character ("- ```", "12. ~~~"): most lines with a backtick fail here.
// Digits beyond the first plane pass as their surrogates.
bool mayOpenItemFence(U16View line)
{
    for (const char16_t c : line) {
        if (c == u'`' || c == u'~')
            return true;
        if (!(c == u' ' || c == u'\t' || c == u'-' || c == u'*' || c == u'+' || c == u'.' || c == u')'
              || CharacterClass::isAsciiDigit(c) || (c >= 0xD800 && c <= 0xDFFF)
              || (c >= 0x80 && CharacterClass::isDecimalDigit(c))))
            return false;
    }
    return false;
}

} // namespace

std::optional<int> quoteLevelsEnd(U16View line, int levels)
{
    const int n = int(line.size());
    int pos = 0;
    for (int level = 0; level < levels; ++level) {
        int p = pos;
        while (p - pos < 3 && p < n && line[size_t(p)] == u' ')
            ++p;
        if (p >= n || line[size_t(p)] != u'>')
            return std::nullopt;
        ++p;
        if (p < n && CharacterClass::isAsciiBlank(line[size_t(p)]))
            ++p;
        pos = p;
    }
    return pos;
}

namespace {

bool holdsFenceCharacter(U16View line)
{
    return line.find(u'`') != U16View::npos || line.find(u'~') != U16View::npos;
}

// The columns a line's start takes (an item's bullet and blanks): a tab
// advances to the next multiple of four, anything else counts one.
int columnsOf(U16View prefix)
{
    int w = 0;
    for (const char16_t c : prefix)
        w = c == u'\t' ? (w / 4 + 1) * 4 : w + 1;
    return w;
}

// Whether a line holds nothing but white space: most lines say so, or not, by
// their first unit that is no ASCII blank.
bool blankLine(U16View line)
{
    size_t i = 0;
    while (i < line.size() && CharacterClass::isAsciiBlank(line[i]))
        ++i;
    return i == line.size() || (line[i] >= 0x80 || line[i] < 0x20 ? isBlank(line.substr(i), TrimSet::WhitespaceAndNewlines) : false);
}

// A line that ends a list rather than going on as an item's lazy line.
bool interruptsItem(U16View line)
{
    return matchHeading(line) || isThematicBreak(line) || isSetextUnderline(line) || Footnote::parseDefinition(line)
        || ReferenceLink::parseDefinition(line);
}

} // namespace

FenceLine FenceReader::read(U16View line)
{
    FenceLine rec;
    const bool fenceCharacter = holdsFenceCharacter(line);
    if (open_) {
        // The usual inside line: no fence character in a fence that only its closing line ends.
        if (!fenceCharacter && depth_ == 0 && column_ < 0) {
            rec.isInside = true;
            return rec;
        }
        const QuoteLeader q = quoteLeader(line);
        const U16View rest = q.offset >= 1 ? line.substr(size_t(q.offset)) : line;
        if (fenceCharacter) {
            const auto d = fenceDelimiter(trimmed(rest, TrimSet::WhitespaceAndNewlines));
            if (d && d->character == character_ && d->run >= run_ && !d->info) {
                rec.isDelimiter = rec.isInside = true;
                rec.quoted = q.depth >= 1;
                open_ = false;
                // A closing line left of every item's text ends their list.
                if (!items_.empty() && (q.depth != itemsDepth_ || indentWidth(rest) < items_.front()))
                    items_.clear();
                sawBlank_ = false;
                afterFence_ = true;
                return rec;
            }
        }
        if (!leavesContainer(line, q)) {
            rec.isInside = true;
            if (blankLine(rest)) {
                sawBlank_ = sawBlank_ || !items_.empty();
            } else {
                sawBlank_ = false;
                afterFence_ = true;
            }
            return rec;
        }
        // The fence ended with its item or quotation: the line reads afresh.
        open_ = false;
        readAfresh(q, rest, fenceCharacter, rec);
        return rec;
    }
    // Outside fences only a line that may start or go on a list item matters,
    // or one holding a fence character.
    if (!fenceCharacter && !readsItems_)
        return rec;
    if (!fenceCharacter && items_.empty()) {
        size_t i = 0;
        while (i < line.size() && CharacterClass::isAsciiBlank(line[i]))
            ++i;
        if (i == line.size())
            return rec;
        const char16_t c = line[i];
        // A quoted line may open an item in its quotation.
        if (c != u'-' && c != u'*' && c != u'+' && c != u'>' && !CharacterClass::isAsciiDigit(c) && c < 0x80) {
            afterFence_ = false;
            return rec;
        }
    }
    const QuoteLeader q = quoteLeader(line);
    readAfresh(q, q.offset >= 1 ? line.substr(size_t(q.offset)) : line, fenceCharacter, rec);
    return rec;
}

bool FenceReader::leavesContainer(U16View line, const QuoteLeader& q) const
{
    if (q.depth < depth_)
        return true;
    if (column_ < 0)
        return false;
    // The item's text columns count after the quote leaders the fence opened under.
    const std::optional<int> start = depth_ >= 1 ? quoteLevelsEnd(line, depth_) : std::optional<int>(0);
    if (!start)
        return true;
    const U16View content = line.substr(size_t(*start));
    return indentWidth(content) < column_ && !blankLine(content);
}

void FenceReader::readAfresh(const QuoteLeader& q, U16View rest, bool fenceCharacter, FenceLine& rec)
{
    std::optional<FenceDelimiter> d;
    std::optional<ListMatch> item;
    if (fenceCharacter) {
        d = fenceDelimiter(trimmed(rest, TrimSet::WhitespaceAndNewlines));
        // A fence may open a list item's text ("- ```"): its lines are the item's.
        if (!d && mayOpenItemFence(rest)) {
            if ((item = matchList(rest)))
                d = fenceDelimiter(trimmed(substring(rest, item->text), TrimSet::WhitespaceAndNewlines));
        }
    }
    if (!d) {
        trackItems(rest, q.depth, false);
        return;
    }
    rec.isDelimiter = rec.isInside = rec.opens = true;
    if (d->info)
        rec.language = infoLanguage(*d->info);
    rec.quoted = q.depth >= 1;
    rec.listed = item.has_value();
    open_ = true;
    character_ = d->character;
    run_ = d->run;
    depth_ = q.depth;
    column_ = -1;
    if (item) {
        column_ = columnsOf(rest.substr(0, size_t(item->blanks.end())));
        trackItems(rest, q.depth, false);
    } else {
        // An indented fence belongs to the innermost item whose text it stands
        // under, in the quotation it stands in.
        if (q.depth == itemsDepth_) {
            const int w = indentWidth(rest);
            for (size_t k = items_.size(); k-- > 0;)
                if (items_[k] <= w) {
                    column_ = items_[k];
                    break;
                }
        }
        trackItems(rest, q.depth, true);
    }
    sawBlank_ = false;
    afterFence_ = true;
}

void FenceReader::trackItems(U16View rest, int depth, bool fenceLine)
{
    if (!readsItems_)
        return;
    // A line with more or fewer quote leaders ends the list, as the export reads
    // a quotation (its lines without their leaders) and what stands around it.
    if (depth != itemsDepth_) {
        items_.clear();
        sawBlank_ = false;
        afterFence_ = false;
        itemsDepth_ = depth;
    }
    if (blankLine(rest)) {
        sawBlank_ = sawBlank_ || !items_.empty();
        return;
    }
    const bool afterFence = afterFence_;
    afterFence_ = false;
    const int w = indentWidth(rest);
    // Outside a list, a marker indented four columns or more starts no item.
    if (items_.empty() && w >= 4)
        return;
    if (const auto m = matchList(rest)) {
        while (!items_.empty() && items_.back() > w)
            items_.pop_back();
        items_.push_back(columnsOf(rest.substr(0, size_t(m->blanks.end()))));
        sawBlank_ = false;
        return;
    }
    if (items_.empty())
        return;
    // The columns grow from the outermost item in.
    const bool found = items_.front() <= w;
    // Left of every item's text: a lazy line of the last item's paragraph, unless
    // a blank line, a fence or a block that interrupts a paragraph comes between.
    if (!found && (sawBlank_ || fenceLine || afterFence || interruptsItem(rest)))
        items_.clear();
    sawBlank_ = false;
}

std::vector<FenceLine> fenceLines(const std::vector<U16View>& lines)
{
    std::vector<FenceLine> out(lines.size());
    // List items matter only to a fence indented under one (after its quote
    // leaders); most texts hold none.
    const bool indentedFence = std::any_of(lines.begin(), lines.end(), [](U16View line) {
        size_t i = 0;
        while (i < 3 && i < line.size() && line[i] == u' ')
            ++i;
        i = i < line.size() && line[i] == u'>' ? size_t(quoteLeader(line).offset) : 0;
        if (i >= line.size() || !CharacterClass::isAsciiBlank(line[i]))
            return false;
        ++i;
        while (i < line.size() && CharacterClass::isAsciiBlank(line[i]))
            ++i;
        return i < line.size() && (line[i] == u'`' || line[i] == u'~');
    });
    FenceReader reader(indentedFence);
    for (size_t i = 0; i < lines.size(); ++i)
        out[i] = reader.read(lines[i]);
    return out;
}

LineFlags fenceFlags(const std::vector<U16View>& lines)
{
    const auto records = fenceLines(lines);
    LineFlags out(records.size());
    for (size_t i = 0; i < records.size(); ++i)
        out[i] = records[i].isInside;
    return out;
}

bool isDelimiterRow(U16View line)
{
    const U16View t = trimmed(line, TrimSet::WhitespaceAndNewlines);
    bool pipe = false;
    bool dash = false;
    for (char16_t c : t) {
        if (c == u'|')
            pipe = true;
        else if (c == u'-')
            dash = true;
        else if (c != u':' && c != u' ' && c != u'\t')
            return false;
    }
    return pipe && dash;
}

LineFlags detectTableLines(const std::vector<U16View>& lines, const LineFlags& fenced)
{
    const size_t n = lines.size();
    LineFlags out(n);
    auto hasPipe = [&](size_t i) { return lines[i].find(u'|') != U16View::npos; };
    // Body rows end at the same line for every delimiter row of one table, so
    // each line is walked once however many delimiter rows a table holds.
    size_t walkedTo = 0;
    for (size_t i = 0; i < n; ++i)
        out[i] = !lines[i].empty() && !fenced[i]
            && std::all_of(lines[i].begin(), lines[i].end(), [](char16_t c) { return c == gridRowStandIn; });
    for (size_t i = 1; i < n; ++i) {
        if (fenced[i] || !isDelimiterRow(lines[i]))
            continue;
        if (fenced[i - 1] || !hasPipe(i - 1))
            continue;
        out[i - 1] = true;
        out[i] = true;
        if (i >= walkedTo) {
            size_t j = i + 1;
            while (j < n && !fenced[j] && hasPipe(j) && !isBlank(lines[j])) {
                out[j] = true;
                ++j;
            }
            walkedTo = j;
        }
    }
    return out;
}

int indentWidth(U16View line)
{
    int width = 0;
    for (char16_t c : line) {
        if (c == u' ')
            width += 1;
        else if (c == u'\t')
            width = (width / 4 + 1) * 4;
        else
            break;
    }
    return width;
}

LineFlags indentedCodeLines(const std::vector<U16View>& lines, const LineFlags& fenced)
{
    const int n = int(lines.size());
    LineFlags out(static_cast<size_t>(n));
    bool previousBlank = true;
    bool inList = false;
    int i = 0;
    while (i < n) {
        const U16View line = lines[size_t(i)];
        if (fenced[size_t(i)]) {
            previousBlank = false;
            ++i;
            continue;
        }
        if (isBlank(line)) {
            previousBlank = true;
            ++i;
            continue;
        }
        if (indentWidth(line) < 4) {
            inList = matchList(line).has_value();
            previousBlank = false;
            ++i;
            continue;
        }
        if (inList) {
            previousBlank = false;
            ++i;
            continue;
        }
        if (!previousBlank) {
            previousBlank = false;
            inList = false;
            ++i;
            continue;
        }
        // An indented block starts here and grows over blank lines to the next indented line.
        const int first = i;
        int last = i;
        for (;;) {
            int j = last + 1;
            while (j < n && !fenced[size_t(j)] && isBlank(lines[size_t(j)]))
                ++j;
            if (j >= n || fenced[size_t(j)] || indentWidth(lines[size_t(j)]) < 4)
                break;
            last = j;
        }
        for (int k = first; k <= last; ++k)
            out[size_t(k)] = true;
        i = last + 1;
        previousBlank = false;
        inList = false;
    }
    return out;
}

namespace {

bool passesParagraphTest(U16View line, size_t k, const LineFlags& fenced, const LineFlags& tables,
                         const LineFlags& code)
{
    if (fenced[k] || tables[k] || code[k] || isBlank(line))
        return false;
    if (quoteLeader(line).offset != 0)
        return false;
    if (matchHeading(line) || isThematicBreak(line) || isSetextUnderline(line) || matchList(line))
        return false;
    if (Footnote::parseDefinition(line) || ReferenceLink::parseDefinition(line))
        return false;
    return true;
}

} // namespace

SetextMap setextLines(const std::vector<U16View>& lines, const LineFlags& fenced, const LineFlags& tables,
                      const LineFlags& code)
{
    const size_t n = lines.size();
    SetextMap out(n);
    for (size_t i = 1; i < n; ++i) {
        if (fenced[i] || tables[i] || code[i])
            continue;
        if (!isSetextUnderline(lines[i]) || quoteLeader(lines[i]).offset != 0)
            continue;
        if (!passesParagraphTest(lines[i - 1], i - 1, fenced, tables, code))
            continue;
        const int level = lines[i].find(u'=') != U16View::npos ? 1 : 2;
        out[i - 1] = SetextLine{level, false};
        for (size_t k = i - 1; k-- > 0;) {
            if (out[k] || !passesParagraphTest(lines[k], k, fenced, tables, code))
                break;
            out[k] = SetextLine{level, false};
        }
        out[i] = SetextLine{level, true};
    }
    return out;
}

std::vector<SetextHeading> setextHeadings(U16View text)
{
    const BlockLines b(text);
    std::vector<SetextHeading> out;
    for (int i = 0; i < b.count(); ++i) {
        const auto& e = b.setext[size_t(i)];
        if (!e || !e->isUnderline)
            continue;
        int k = i;
        while (k > 0 && b.setext[size_t(k - 1)] && !b.setext[size_t(k - 1)]->isUnderline)
            --k;
        if (k == i)
            continue;
        out.push_back(SetextHeading{e->level, Range::fromTo(b.line(k).content.location, b.line(i - 1).content.end()),
                                    b.line(i).content});
    }
    return out;
}

std::optional<U16String> linkDestination(U16View raw, U16View prefix)
{
    U16View d = raw;
    if (d.size() >= 2 && d.front() == u'<' && d.back() == u'>')
        d = d.substr(1, d.size() - 2);
    if (d.empty())
        return std::nullopt;
    U16String out;
    out.reserve(prefix.size() + d.size());
    out.append(prefix);
    out.append(d);
    return out;
}

std::optional<Range> hardBreakRun(U16View line)
{
    const int n = int(line.size());
    if (n == 0)
        return std::nullopt;
    if (line[size_t(n - 1)] != u'\\') {
        int k = n;
        while (k > 0 && line[size_t(k - 1)] == u' ')
            --k;
        const int run = n - k;
        if (run >= 2 && run < n)
            return Range{k, run};
        return std::nullopt;
    }
    int k = n;
    while (k > 0 && line[size_t(k - 1)] == u'\\')
        --k;
    const int run = n - k;
    if (run == n || run % 2 == 0)
        return std::nullopt;
    return Range{n - 1, 1};
}

BlockLines::BlockLines(U16View source)
    : text(source)
    , index(source)
    , texts(lineTexts(source, index.lines()))
    , fences(fenceLines(texts))
{
    fenced.resize(fences.size());
    for (size_t i = 0; i < fences.size(); ++i)
        fenced[i] = fences[i].isInside;
    tables = detectTableLines(texts, fenced);
    code = indentedCodeLines(texts, fenced);
    setext = setextLines(texts, fenced, tables, code);
}

} // namespace MarkdownSyntax

} // namespace velkin
