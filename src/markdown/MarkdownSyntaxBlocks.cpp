// The block scanner: every line gets the block spans of the first construct
// that claims it, inline content goes to the inline scanner, and hard breaks
// and alert blocks follow after the last line.
#include "markdown/MarkdownSyntax.h"

#include "markdown/MarkdownCodeTokens.h"
#include "markdown/MarkdownSyntaxDetail.h"
#include "markdown/PipeTable.h"
#include "platform/text/CharacterClass.h"

namespace velkin {

namespace MarkdownSyntax {

namespace {

// The line with its terminator when that terminator is a line feed (a CRLF
// counts as one, so CRLF documents style like LF ones), else the line alone.
Range withLineFeed(U16View text, const LineRange& line)
{
    const Range& e = line.enclosing;
    if (e.length > line.content.length && text[size_t(e.end() - 1)] == u'\n')
        return e;
    return line.content;
}

void appendCodeSyntax(U16View text, int codeStart, int codeEnd, const U16String& language, MarkdownSpans& out)
{
    if (codeStart >= codeEnd)
        return;
    const auto tokens = MarkdownCodeTokens::fenced(substring(text, Range::fromTo(codeStart, codeEnd)), language);
    if (!tokens)
        return;
    for (const CodeToken& t : *tokens)
        out.push_back(MarkdownSpan{Range{codeStart + t.range.location, t.range.length},
                                   MarkdownToken::codeSyntax(t.kind), std::nullopt});
}

void appendHardBreaks(const BlockLines& b, MarkdownSpans& out)
{
    const int n = b.count();
    for (int i = 0; i + 1 < n; ++i) {
        const U16View line = b.texts[size_t(i)];
        if (line.empty() || (line.back() != u' ' && line.back() != u'\\'))
            continue;
        const auto run = hardBreakRun(line);
        if (!run)
            continue;
        const size_t k = size_t(i);
        if (b.fenced[k] || b.tables[k] || b.code[k] || b.setext[k] || b.setext[k + 1])
            continue;
        const U16View next = b.texts[k + 1];
        if (b.fenced[k + 1] || b.tables[k + 1] || b.code[k + 1] || isBlank(next))
            continue;
        if (quoteLeader(next).offset != 0 || matchHeading(next) || isThematicBreak(next) ||
            isSetextUnderline(next) || matchList(next))
            continue;
        if (Footnote::parseDefinition(next) || ReferenceLink::parseDefinition(next))
            continue;
        out.push_back(MarkdownSpan{Range{b.line(i).content.location + run->location, run->length},
                                   MarkdownToken(MarkdownToken::Kind::lineBreak), std::nullopt});
    }
}

} // namespace

bool isPlainLine(const BlockLines& b, int i)
{
    // The scan's order: fences, code, tables, setext headings, headings, breaks,
    // definitions, then quotes and list items; what is left joins a paragraph.
    const size_t k = size_t(i);
    const U16View line = b.texts[k];
    if (line.empty() || b.fences[k].isDelimiter || b.fenced[k] || b.code[k] || b.tables[k] || b.setext[k])
        return false;
    if (matchHeading(line) || isThematicBreak(line) || Footnote::parseDefinition(line)
        || ReferenceLink::parseDefinition(line))
        return false;
    const QuoteLeader q = quoteLeader(line);
    return (q.depth < 1 || q.offset == 0) && !matchList(line);
}

unsigned paragraphRunningDelimiters(U16View text, const Definitions& definitions, unsigned* unenclosed)
{
    const BlockLines b(text);
    int last = b.count() - 1;
    if (last < 0)
        return 0;
    if (!isPlainLine(b, last)) {
        // A list item's or a quotation's line: its text after the marks, when that
        // reads as a plain line there.
        const size_t k = size_t(last);
        const U16View line = b.texts[k];
        const int leader = containerLeader(line);
        if (leader == 0 || b.fences[k].isDelimiter || b.fenced[k] || b.code[k] || b.tables[k] || b.setext[k])
            return 0;
        const U16View rest = line.substr(size_t(leader));
        if (rest.empty() || CharacterClass::isAsciiBlank(rest.front()) || matchHeading(rest) || isThematicBreak(rest)
            || rest.starts_with(u"```") || rest.starts_with(u"~~~"))
            return 0;
        const Range content = b.line(last).content;
        return runningDelimiters(substring(text, Range::fromTo(content.location + leader, content.end())), definitions,
                                 unenclosed);
    }
    int first = last;
    while (first > 0 && isPlainLine(b, first - 1))
        --first;
    return runningDelimiters(
        substring(text, Range::fromTo(b.line(first).content.location, b.line(last).content.end())), definitions,
        unenclosed);
}

std::optional<unsigned> waitingAfter(U16View head, U16View piece, unsigned bits, const Definitions& definitions)
{
    // A waiting opener is decided by the first like character (or pair, or
    // triple) after it, and pairs unless that one is taken by an earlier pass:
    // an opener of the same run length just before the piece is decided the
    // same way. Each stands for its own length only ("**x*x": the single pass
    // takes the "*x*"; a "_" after another opens nothing), or for the shorter
    // runs that the waiting one also is ("***x" is a double and a single too).
    // Openers of one character would pair with each other: one read per length.
    using K = MarkdownToken::Kind;
    // The characters the head ends in after its last blank stay next to the piece.
    size_t near = head.size();
    while (near > 0 && head[near - 1] != u' ' && head[near - 1] != u'\n')
        --near;
    const bool lineStart = near == 0 ? head.empty() : head[near - 1] == u'\n';
    auto leftAlone = [&](const U16String& openers) {
        U16String text(head.substr(0, near));
        text += openers;
        text += lineStart ? u'\n' : u' ';
        text += head.substr(near);
        const int boundary = int(text.size());
        text += piece;
        const BlockLines lines(text);
        // A pair reaching into the piece covers its place, if only with the closing run.
        for (const MarkdownSpan& span : spans(lines, definitions))
            if (span.range.location < boundary && span.range.end() >= boundary
                && (span.token.is(K::italic) || span.token.is(K::bold) || span.token.is(K::boldItalic)
                    || span.token.is(K::strikethrough)))
                return false;
        return true;
    };
    static const std::pair<unsigned, const char16_t*> openers[3][3] = {
        {{tripleStarBit, u"***x"}, {tripleUnderscoreBit, u"___x"}, {tildeBit, u"~~x"}},
        {{doubleStarBit, u"**x*x"}, {doubleUnderscoreBit, u"__x"}, {0, u""}},
        {{starBit, u"*x"}, {underscoreBit, u"_x"}, {0, u""}}};
    for (const auto& read : openers) {
        U16String line;
        for (const auto& [bit, opener] : read)
            if (bits & bit)
                line += (line.empty() ? u"" : u" ") + U16String(opener);
        if (!line.empty() && !leftAlone(line))
            return std::nullopt;
    }
    // A double run is decided by the first pair after it, the others by the first like character.
    unsigned decided = 0;
    for (const char16_t c : {u'*', u'_', u'~'})
        if (piece.find(c) != U16View::npos)
            decided |= delimiterBits(c) & ~(c == u'~' ? 0 : delimiterBit(c, 2));
    for (const char16_t* pair : {u"**", u"__"})
        if (piece.find(pair) != U16View::npos)
            decided |= delimiterBit(pair[0], 2);
    return bits & ~decided;
}

bool paragraphRunsOn(U16View text, const Definitions& definitions)
{
    return paragraphRunningDelimiters(text, definitions) != 0;
}

MarkdownSpans spans(U16View text)
{
    if (text.empty())
        return {};
    return spans(BlockLines(text));
}

Definitions definitions(const BlockLines& b)
{
    return Definitions{detail::definedFootnoteLabels(b.texts, b.fenced), detail::referenceDefinitions(b.texts, b.fenced)};
}

Definitions definitions(U16View text)
{
    // Every definition holds "]:"; most texts hold none.
    if (text.find(u"]:") == U16View::npos)
        return {};
    const LineIndex index(text);
    const std::vector<U16View> texts = lineTexts(text, index.lines());
    const LineFlags fenced = fenceFlags(texts);
    return Definitions{detail::definedFootnoteLabels(texts, fenced), detail::referenceDefinitions(texts, fenced)};
}

MarkdownSpans spans(const BlockLines& b)
{
    if (b.text.empty())
        return {};
    return spans(b, definitions(b));
}

MarkdownSpans spans(const BlockLines& b, const Definitions& definitions)
{
    MarkdownSpans out;
    const U16View text = b.text;
    if (text.empty())
        return out;
    const Footnote::Labels& footnotes = definitions.footnotes;
    const ReferenceLink::Table& links = definitions.links;
    out.reserve(size_t(b.count()) * 8);

    using K = MarkdownToken::Kind;
    auto push = [&out](Range r, MarkdownToken token, std::optional<U16String> url = std::nullopt) {
        out.push_back(MarkdownSpan{r, std::move(token), std::move(url)});
    };

    bool fenceOpen = false;
    std::optional<U16String> language;
    int codeStart = 0;

    // The open paragraph run: consecutive plain lines scanned as one piece.
    // Its spans stand where its first line stands, and nothing is appended
    // while it is open, so scanning it when it closes puts them there.
    int runFirst = -1;
    int runLast = -1;
    auto closeRun = [&] {
        if (runFirst < 0)
            return;
        const int start = b.line(runFirst).content.location;
        const int stop = b.line(runLast).content.end();
        const U16View piece = substring(text, Range::fromTo(start, stop));
        appendInline(piece, start, Range{0, int(piece.size())}, footnotes, links, out);
        runFirst = runLast = -1;
    };

    for (int i = 0; i < b.count(); ++i) {
        const size_t k = size_t(i);
        const LineRange& lr = b.line(i);
        const U16View line = b.texts[k];
        const int start = lr.content.location;
        const int length = lr.content.length;

        // A fence in a list item or a quotation ends with it, before this line
        // (which may open another).
        if (fenceOpen && (!b.fences[k].isInside || b.fences[k].opens)) {
            if (language && codeStart < start)
                appendCodeSyntax(text, codeStart, start, *language, out);
            language.reset();
            fenceOpen = false;
        }

        // 1. Fence lines.
        if (b.fences[k].isDelimiter) {
            closeRun();
            const Range full = withLineFeed(text, lr);
            push(full, MarkdownToken(K::codeBlock));
            push(lr.content, MarkdownToken(K::marker));
            if (b.fences[k].opens) {
                language = b.fences[k].quoted ? std::nullopt : b.fences[k].language;
                fenceOpen = true;
                codeStart = full.end();
            } else {
                if (language && codeStart < start)
                    appendCodeSyntax(text, codeStart, start, *language, out);
                language.reset();
                fenceOpen = false;
            }
            continue;
        }
        // 2-3. Inside a fence, indented code.
        if (b.fenced[k] || b.code[k]) {
            closeRun();
            push(withLineFeed(text, lr), MarkdownToken(K::codeBlock));
            continue;
        }
        // 4. Table lines.
        if (b.tables[k]) {
            closeRun();
            push(lr.content, MarkdownToken(K::table));
            if (isDelimiterRow(line)) {
                push(lr.content, MarkdownToken(K::marker));
                continue;
            }
            const auto pipes = PipeTable::separatorPipes(line);
            for (int p : pipes)
                push(Range{start + p, 1}, MarkdownToken(K::marker));
            int previous = 0;
            auto cell = [&](int boundary) {
                if (boundary - previous >= 1)
                    appendInline(line, start, Range::fromTo(previous, boundary), footnotes, links, out);
                previous = boundary + 1;
            };
            for (int p : pipes)
                cell(p);
            cell(length);
            continue;
        }
        // 5. Setext headings.
        if (const auto& s = b.setext[k]) {
            closeRun();
            if (s->isUnderline) {
                push(lr.content, MarkdownToken(K::marker));
            } else {
                push(lr.content, MarkdownToken::heading(s->level));
                appendInline(line, start, Range{0, length}, footnotes, links, out);
            }
            continue;
        }
        // 6. ATX headings.
        if (const auto h = matchHeading(line)) {
            closeRun();
            push(lr.content, MarkdownToken::heading(h->hashes.length));
            push(Range{start, h->blanks.end()}, MarkdownToken(K::marker));
            appendInline(line, start, h->text, footnotes, links, out);
            continue;
        }
        // 7. Thematic breaks.
        if (isThematicBreak(line)) {
            closeRun();
            push(lr.content, MarkdownToken(K::marker));
            continue;
        }
        // 8. Footnote definitions.
        if (const auto d = Footnote::parseDefinition(line)) {
            closeRun();
            push(Range{start + d->marker.location, d->marker.length}, MarkdownToken::footnoteLabel(d->label));
            push(Range::fromTo(start + d->marker.location, start + d->labelRange.location), MarkdownToken(K::marker));
            push(Range::fromTo(start + d->labelRange.end(), start + d->marker.end()), MarkdownToken(K::marker));
            appendInline(line, start, d->text, footnotes, links, out);
            continue;
        }
        // 9. Reference definitions.
        if (auto d = ReferenceLink::parseDefinition(line)) {
            closeRun();
            push(Range{start + d->labelRange.location, d->labelRange.length}, MarkdownToken(K::link),
                 std::move(d->url));
            push(Range::fromTo(start + d->marker.location, start + d->labelRange.location), MarkdownToken(K::marker));
            push(Range::fromTo(start + d->labelRange.end(), start + d->marker.end()), MarkdownToken(K::marker));
            push(Range{start + d->urlRange.location, d->urlRange.length}, MarkdownToken(K::marker));
            if (d->titleRange)
                push(Range{start + d->titleRange->location, d->titleRange->length}, MarkdownToken(K::marker));
            continue;
        }
        // 10. Quotes, list items, plain text and blank lines.
        const QuoteLeader q = quoteLeader(line);
        int contentStart = q.depth >= 1 ? q.offset : 0;
        const auto item = matchList(line.substr(size_t(contentStart)));
        if (contentStart == 0 && !item && length >= 1) {
            if (runFirst >= 0 && runLast == i - 1) {
                runLast = i;
            } else {
                closeRun();
                runFirst = runLast = i;
            }
            continue;
        }
        closeRun();
        if (q.depth >= 1)
            push(Range{start, q.offset}, MarkdownToken(K::marker));
        Range content = Range::fromTo(contentStart, length);
        if (item) {
            push(Range{start + contentStart, item->blanks.end()}, MarkdownToken(K::marker));
            content = Range{contentStart + item->text.location, item->text.length};
        }
        appendInline(line, start, content, footnotes, links, out);
    }
    closeRun();

    appendHardBreaks(b, out);
    if (fenceOpen && language && codeStart < int(text.size()))
        appendCodeSyntax(text, codeStart, int(text.size()), *language, out);
    for (const Alert::Block& block : detail::alertBlocks(b)) {
        push(block.range, MarkdownToken::alert(block.kind));
        push(block.label, MarkdownToken::alertLabel(block.kind));
        push(Range::fromTo(block.label.location, block.keyword.location), MarkdownToken(K::marker));
        push(Range::fromTo(block.keyword.end(), block.label.end()), MarkdownToken(K::marker));
    }
    return out;
}

} // namespace MarkdownSyntax

} // namespace velkin
