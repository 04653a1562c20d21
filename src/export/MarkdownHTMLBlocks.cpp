#include "export/MarkdownHTMLBlocks.h"

#include "document/ImageInsertion.h"
#include "document/LinkRouter.h"
#include "platform/graphics/PictureFile.h"
#include "markdown/Alert.h"
#include "markdown/ImageBlock.h"
#include "markdown/PipeTable.h"
#include "markdown/TaskList.h"
#include "platform/text/CharacterClass.h"
#include "platform/text/Lines.h"
#include "platform/text/TextOps.h"
#include "platform/text/Utf.h"

#include <QByteArray>

#include <unicode/uchar.h>

#include <cstring>
#include <filesystem>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace velkin::MarkdownHTML {

using namespace std::literals;

using MarkdownSyntax::LineFlags;

namespace {

// A picture's file as the page names it for the importer to read: its path, or where
// that is no UTF-8 (a name need not be) its file address, whose escapes keep the bytes.
U16String pictureSource(const std::string& path)
{
    return decodeUtf8Strict(path) ? u16(path) : u16(Url::fileURL(path).string());
}

bool blank(U16View line)
{
    return isBlank(line, TrimSet::Whitespace);
}

U16String joinedLines(const std::vector<U16View>& lines, int from, int to)
{
    U16String out;
    size_t size = 0;
    for (int k = from; k < to; ++k)
        size += lines[size_t(k)].size() + 1;
    out.reserve(size);
    for (int k = from; k < to; ++k) {
        if (k > from)
            out += u'\n';
        out += lines[size_t(k)];
    }
    return out;
}

void appendNumber(U16String& out, long long n)
{
    out += TextOps::number(n);
}

// Whether the line holds a character other than `marker`, a space and a tab.
bool holdsOtherThan(U16View line, char16_t marker)
{
    for (char16_t c : line)
        if (c != marker && c != u' ' && c != u'\t')
            return true;
    return false;
}

bool isBullet(char16_t c)
{
    return c == u'-' || c == u'*' || c == u'+';
}

// The list marker's kind: "-", "*", "+", or "#" for any number, whatever its digits' script.
char16_t markerKind(U16View marker)
{
    if (marker.empty())
        return u'\0';
    return isBullet(marker.front()) ? marker.front() : u'#';
}

// The value of an ordered marker's digits (in any script the list pattern
// accepts), clamped to what nine digits can hold.
long long markerNumber(U16View marker)
{
    constexpr long long largest = 999'999'999;
    long long n = 0;
    for (size_t c = 0; c + 1 < marker.size();) {
        const char32_t digit = codePointAt(marker, int(c));
        const int value = u_charDigitValue(UChar32(digit));
        if (value < 0)
            break;
        n = std::min(n * 10 + value, largest);
        c += size_t(codePointLength(marker, int(c)));
    }
    return n;
}

std::optional<AlertKind> alertOf(U16View line)
{
    const auto label = Alert::parseLabel(line);
    if (!label)
        return std::nullopt;
    return label->kind;
}

const char16_t* alertTitle(AlertKind kind)
{
    switch (kind) {
    case AlertKind::note: return u"Note";
    case AlertKind::tip: return u"Tip";
    case AlertKind::important: return u"Important";
    case AlertKind::warning: return u"Warning";
    case AlertKind::caution: return u"Caution";
    }
    return u"Note";
}

// The line without one quote marker (up to three spaces, a run of ">" and one
// blank). Unlike the quote pattern it never fails on a line that starts a
// quote, so every level of nesting takes at least one character off.
U16View quotedText(U16View line)
{
    size_t k = 0;
    while (k < 3 && k < line.size() && line[k] == u' ')
        ++k;
    if (k == line.size() || line[k] != u'>')
        return line;
    while (k < line.size() && line[k] == u'>')
        ++k;
    if (k < line.size() && CharacterClass::isAsciiBlank(line[k]))
        ++k;
    return line.substr(k);
}

U16String base64(const QByteArray& data)
{
    const QByteArray encoded = data.toBase64();
    U16String out;
    out.resize(size_t(encoded.size()));
    for (qsizetype k = 0; k < encoded.size(); ++k)
        out[size_t(k)] = char16_t(static_cast<unsigned char>(encoded[k]));
    return out;
}

struct Item {
    std::optional<long long> number;
    std::optional<bool> task;
    int firstLine = 0;  // the item's lines in the list's line texts
    int lineCount = 0;
};

// What opens an item's element, up to where its content begins.
void appendItemOpening(U16String& out, const Item& item)
{
    out += u"<li"sv;
    if (item.task)
        out += u" class=\"task-item\">"sv;
    else
        out += u'>';
}

void appendTaskBox(U16String& out, bool checked)
{
    out += checked ? u"<span class=\"task task-done\">&#9745;</span> "sv : u"<span class=\"task\">&#9744;</span> "sv;
}

void appendItem(U16String& out, const Item& item, U16View content)
{
    appendItemOpening(out, item);
    if (item.task) {
        // In a loose item the box opens the first paragraph, so that it stands on the text's line.
        if (TextOps::hasPrefix(content, u"<p>")) {
            out += u"<p>"sv;
            content.remove_prefix(3);
        }
        appendTaskBox(out, *item.task);
    }
    out += content;
    out += u"</li>\n"sv;
}

} // namespace

// ---- Text helpers ----

namespace RendererText {

bool holdsLineEnd(U16View text)
{
    for (char16_t c : text)
        if (c == u'\n' || c == u'\r' || c == 0x85 || c == 0x2028 || c == 0x2029)
            return true;
    return false;
}

std::vector<U16View> lineTexts(U16View text)
{
    std::vector<U16View> out;
    const char16_t* data = text.data();
    const size_t n = text.size();
    size_t start = 0;
    size_t i = 0;
    while (i < n) {
#if defined(__SSE2__)
        // Eight units at a time are passed over when none is at or below CR, NEL or LS/PS.
        const __m128i low = _mm_set1_epi16(0x0D);
        const __m128i nextLine = _mm_set1_epi16(short(0x85));
        const __m128i separators = _mm_set1_epi16(0x2028);
        const __m128i pairMask = _mm_set1_epi16(short(0xFFFE));
        while (i + 8 <= n) {
            const __m128i units = _mm_loadu_si128(reinterpret_cast<const __m128i*>(data + i));
            const __m128i hits = _mm_or_si128(
                _mm_or_si128(_mm_cmpeq_epi16(_mm_subs_epu16(units, low), _mm_setzero_si128()),
                             _mm_cmpeq_epi16(units, nextLine)),
                _mm_cmpeq_epi16(_mm_and_si128(units, pairMask), separators));
            const int mask = _mm_movemask_epi8(hits);
            if (mask) {
                i += size_t(__builtin_ctz(unsigned(mask)) / 2);
                break;
            }
            i += 8;
        }
        if (i >= n)
            break;
#endif
        const char16_t c = data[i];
        if (c != u'\n' && c != u'\r' && c != 0x85 && c != 0x2028 && c != 0x2029) {
            ++i;
            continue;
        }
        out.push_back(text.substr(start, i - start));
        i += (c == u'\r' && i + 1 < n && data[i + 1] == u'\n') ? 2 : 1;
        start = i;
    }
    if (start < n)
        out.push_back(text.substr(start));
    return out;
}

LineFlags tableRows(const std::vector<U16View>& lines, const LineFlags& fenced)
{
    const int count = int(lines.size());
    LineFlags rows(lines.size(), false);
    // Every delimiter row of one table reaches the same last row, so the body
    // rows are walked once however many rows look like delimiters.
    int walkedTo = 0;
    for (int i = 0; i < count; ++i) {
        if (fenced[size_t(i)])
            continue;
        bool pipe = false;
        bool dash = false;
        bool delimiter = true;
        for (char16_t c : lines[size_t(i)]) {
            if (c == u'|')
                pipe = true;
            else if (c == u'-')
                dash = true;
            else if (c != u':' && c != u' ' && c != u'\t') {
                delimiter = false;
                break;
            }
        }
        if (!delimiter || !pipe || !dash)
            continue;
        if (i == 0 || fenced[size_t(i - 1)])
            continue;
        const U16View header = lines[size_t(i - 1)];
        // A table on a list marker's or a quote's line is that container's, read with its text.
        if (TextOps::find(header, u'|') < 0 || blank(header) || PipeTable::opensContainer(header))
            continue;
        rows[size_t(i - 1)] = true;
        rows[size_t(i)] = true;
        if (i < walkedTo)
            continue;
        int j = i + 1;
        for (; j < count; ++j) {
            const U16View row = lines[size_t(j)];
            if (fenced[size_t(j)] || TextOps::find(row, u'|') < 0 || blank(row) || PipeTable::opensContainer(row))
                break;
            rows[size_t(j)] = true;
        }
        walkedTo = j;
    }
    return rows;
}

U16String trimmingBlankEdges(U16View text)
{
    const std::vector<U16View> lines = splitAt(text, u'\n');
    int first = 0;
    int last = int(lines.size());
    while (first < last && blank(lines[size_t(first)]))
        ++first;
    while (last > first && blank(lines[size_t(last - 1)]))
        --last;
    return joinedLines(lines, first, last);
}

U16View strippingIndent(U16View line, int columns)
{
    int column = 0;
    size_t k = 0;
    while (k < line.size() && column < columns) {
        if (line[k] == u' ')
            column += 1;
        else if (line[k] == u'\t')
            column = (column / 4 + 1) * 4;
        else
            break;
        ++k;
    }
    return line.substr(k);
}

U16View trimmingClosingHashes(U16View text)
{
    const U16View t = trimmed(text, TrimSet::Whitespace);
    if (t.empty() || t.back() != u'#')
        return text;
    size_t end = t.size();
    while (end > 0 && t[end - 1] == u'#')
        --end;
    const U16View rest = t.substr(0, end);
    if (rest.empty() || rest.back() == u' ')
        return trimmed(rest, TrimSet::Whitespace);
    return text;
}

} // namespace RendererText

using namespace RendererText;

// ---- Notes ----

void Notes::record(U16View label, U16String text)
{
    U16String key = Footnote::normalizedLabel(label);
    if (markdown.count(key))
        return;
    order.emplace_back(label);
    markdown.emplace(std::move(key), std::move(text));
}

int Notes::countReference(U16View label)
{
    return ++references[Footnote::normalizedLabel(label)];
}

const U16String& Notes::anchorOf(U16View label)
{
    U16String key = Footnote::normalizedLabel(label);
    if (const auto found = anchors.find(key); found != anchors.end())
        return found->second;
    const U16String plain = escaped(anchor(label));
    U16String chosen = plain;
    for (int n = 2; anchorsTaken.count(chosen); ++n)
        chosen = plain + u"_" + TextOps::number(n);
    anchorsTaken.emplace(chosen, true);
    return anchors.emplace(std::move(key), std::move(chosen)).first->second;
}

// ---- Renderer ----

Renderer::Renderer(U16View markdown, const Options& options, const Footnote::Labels& footnoteLabels,
                   const ReferenceLink::Table& linkDefinitions, Notes& notes, Pictures& pictures)
    : options_(options), footnoteLabels_(footnoteLabels), linkDefinitions_(linkDefinitions), notes_(notes),
      pictures_(pictures), text_(markdown)
{
    classify();
}

Renderer::Renderer(U16String text, MarkdownSyntax::LineFlags definitions, const Renderer& parent)
    : options_(parent.options_), footnoteLabels_(parent.footnoteLabels_), linkDefinitions_(parent.linkDefinitions_),
      notes_(parent.notes_), pictures_(parent.pictures_), depth_(parent.depth_ + 1), text_(std::move(text)), definitions_(std::move(definitions))
{
    classify();
}

void Renderer::classify()
{
    // Lines end where the editor's lines end (LF, CR, CRLF, NEL, LS, PS), so
    // that a document renders the same whatever its line ends.
    lines_ = lineTexts(text_);
    fences_ = MarkdownSyntax::fenceLines(lines_);
    fenced_.assign(lines_.size(), false);
    for (size_t k = 0; k < fences_.size() && k < lines_.size(); ++k)
        fenced_[k] = fences_[k].isInside;
    indentedCode_ = MarkdownSyntax::indentedCodeLines(lines_, fenced_);
    tableLines_ = tableRows(lines_, fenced_);
    setext_ = MarkdownSyntax::setextLines(lines_, fenced_, tableLines_, indentedCode_);
    indentedCode_.resize(lines_.size(), false);
    setext_.resize(lines_.size());
}

U16String Renderer::renderAll()
{
    U16String out;
    renderAll(out);
    return out;
}

void Renderer::renderAll(U16String& out)
{
    out.reserve(out.size() + text_.size() + text_.size() / 4);
    const int count = int(lines_.size());
    for (int i = 0; i < count;)
        i = block(i, out);
}

U16String Renderer::renderChild(U16String text, MarkdownSyntax::LineFlags definitions) const
{
    U16String out;
    if (!holdsLineEnd(text) && renderPlainLine(text, false, out))
        return out;
    if (depth_ + 1 > maximumDepth) {
        out += u"<p>"sv;
        appendInlineHTML(out, text);
        out += u"</p>\n"sv;
        return out;
    }
    return Renderer(std::move(text), std::move(definitions), *this).renderAll();
}

bool Renderer::renderPlainLine(U16View text, bool tight, U16String& out) const
{
    if (text.empty())
        return false;
    // Every block but a paragraph, a figure and the two kinds of definition
    // begins with one of these characters, with a digit, or with indentation;
    // a single line is never a table or a setext heading.
    const char16_t first = text.front();
    switch (first) {
    case u' ': case u'\t': case u'#': case u'>': case u'=': case u'|': case u'`': case u'~':
        return false;
    case u'*': case u'-': case u'+': case u'_':
        // Emphasis opens many lines; a list item, a rule or a line of the
        // marker alone (a setext underline's shape) takes the full dispatch.
        if (!holdsOtherThan(text, first) || MarkdownSyntax::isThematicBreak(text) || MarkdownSyntax::matchList(text))
            return false;
        break;
    default:
        break;
    }
    // Ordered items take a digit of any script ("١. x").
    if (CharacterClass::isAsciiDigit(first)
        || (first >= 0x80
            && (CharacterClass::isWhitespaceOrNewline(first) || CharacterClass::isDecimalDigit(codePointAt(text, 0)))))
        return false;
    if (first == u'[' || first == u'!') {
        if (Footnote::parseDefinition(text) || ReferenceLink::parseDefinition(text) || ImageBlock::parseBlockImage(text))
            return false;
    }
    if (!tight)
        out += u"<p>"sv;
    appendInlineHTML(out, text);
    if (!tight)
        out += u"</p>\n"sv;
    return true;
}

bool Renderer::isDefinition(int j) const
{
    // Definitions are read from the document's own lines: a line of a quote
    // or an item that only looks like one is text.
    if (depth_ == 0)
        return ReferenceLink::parseDefinition(lines_[size_t(j)]).has_value();
    return size_t(j) < definitions_.size() && definitions_[size_t(j)];
}

bool Renderer::isBlank(int j) const
{
    return blank(lines_[size_t(j)]);
}

int Renderer::block(int i, U16String& out)
{
    const U16View line = lines_[size_t(i)];
    const MarkdownSyntax::FenceLine& fence = fences_[size_t(i)];
    if (fence.isDelimiter && fence.opens) {
        // A fence that opens a quotation's text ("> ```") is the quotation's
        // first block, and one that opens an item's ("- ```") the list's.
        if (fence.quoted)
            return blockquote(i, out);
        if (!fence.listed)
            return fencedCode(i, out);
    } else if (fence.isInside) {
        return i + 1;
    }
    if (indentedCode_[size_t(i)])
        return indentedCodeBlock(i, out);
    if (isBlank(i))
        return i + 1;
    if (tableLines_[size_t(i)])
        return table(i, out);
    if (setext_[size_t(i)])
        return setextHeading(i, out);
    if (auto heading = MarkdownSyntax::matchHeading(line))
        return atxHeading(i, *heading, out);
    if (MarkdownSyntax::isThematicBreak(line)) {
        out += u"<hr>\n"sv;
        return i + 1;
    }
    if (auto definition = Footnote::parseDefinition(line); definition && !Footnote::normalizedLabel(definition->label).empty())
        return footnoteDefinition(i);
    if (isDefinition(i))
        return i + 1;
    if (MarkdownSyntax::quoteLeader(line).depth >= 1)
        return blockquote(i, out);
    if (MarkdownSyntax::matchList(line))
        return list(i, out);
    if (auto picture = ImageBlock::parseBlockImage(line))
        return figure(i, picture->alt, picture->url, out);
    return paragraph(i, out);
}

bool Renderer::startsBlock(int j) const
{
    const U16View line = lines_[size_t(j)];
    if (isBlank(j) || fenced_[size_t(j)] || indentedCode_[size_t(j)] || tableLines_[size_t(j)] || setext_[size_t(j)])
        return true;
    if (MarkdownSyntax::matchHeading(line) || MarkdownSyntax::isThematicBreak(line) || MarkdownSyntax::matchList(line))
        return true;
    if (MarkdownSyntax::quoteLeader(line).depth >= 1)
        return true;
    if (auto definition = Footnote::parseDefinition(line); definition && !Footnote::normalizedLabel(definition->label).empty())
        return true;
    if (isDefinition(j))
        return true;
    return ImageBlock::parseBlockImage(line).has_value();
}

int Renderer::fencedCode(int i, U16String& out)
{
    const int count = int(lines_.size());
    int end = i + 1;
    // To its closing fence, or to the end of the quotation or item it opened in
    // (where another fence may open at once).
    while (end < count && fences_[size_t(end)].isInside && !fences_[size_t(end)].isDelimiter)
        ++end;
    const bool closed = end < count && fences_[size_t(end)].isDelimiter && !fences_[size_t(end)].opens;
    // A quoted fence is read in its quotation, whose leaders are gone by then.
    U16String code;
    for (int k = i + 1; k < end; ++k) {
        if (k > i + 1)
            code += u'\n';
        code += lines_[size_t(k)];
    }
    out += codeBlock(code, fences_[size_t(i)].language);
    return closed ? end + 1 : end;
}

U16String Renderer::codeBlock(U16View code, const std::optional<U16String>& language) const
{
    const U16String text = trimmingBlankEdges(code);
    U16String out = u"<pre><code";
    if (language) {
        out += u" class=\"language-"sv;
        appendEscaped(out, *language);
        out += u'"';
    }
    out += u'>';
    out += highlighted(text, language);
    out += u"</code></pre>\n"sv;
    return out;
}

int Renderer::indentedCodeBlock(int i, U16String& out)
{
    const int count = int(lines_.size());
    int end = i;
    while (end < count && indentedCode_[size_t(end)])
        ++end;
    U16String code;
    for (int k = i; k < end; ++k) {
        if (k > i)
            code += u'\n';
        if (!isBlank(k))
            code += strippingIndent(lines_[size_t(k)], 4);
    }
    out += u"<pre><code>"sv;
    appendEscaped(out, trimmingBlankEdges(code));
    out += u"</code></pre>\n"sv;
    return std::max(end, i + 1);
}

int Renderer::table(int i, U16String& out)
{
    const int count = int(lines_.size());
    int end = i;
    while (end < count && tableLines_[size_t(end)])
        ++end;
    const std::vector<U16View> rows(lines_.begin() + i, lines_.begin() + end);
    const auto parsed = PipeTable::parse(rows);
    // Without a cell the lines are the paragraph they look like.
    if (!parsed || parsed->columnCount() == 0) {
        int j = std::max(end, i + 1);
        while (j < count && !startsBlock(j))
            ++j;
        out += u"<p>"sv;
        appendInlineHTML(out, joinedLines(lines_, i, j));
        out += u"</p>\n"sv;
        return j;
    }
    const int columns = parsed->columnCount();
    const auto alignment = [&](int c) -> std::u16string_view {
        if (c >= int(parsed->alignments.size()))
            return u"";
        switch (parsed->alignments[size_t(c)]) {
        case TextAlignment::Center: return u" style=\"text-align:center\"";
        case TextAlignment::Right: return u" style=\"text-align:right\"";
        default: return u"";
        }
    };
    const auto appendCell = [&](U16View cell) { appendCellHTML(out, cell); };
    out += u"<table>\n<thead>\n<tr>"sv;
    for (int c = 0; c < columns; ++c) {
        out += u"<th"sv;
        out += alignment(c);
        out += u'>';
        if (c < int(parsed->header.size()))
            appendCell(parsed->header[size_t(c)]);
        out += u"</th>"sv;
    }
    out += u"</tr>\n</thead>\n<tbody>\n"sv;
    for (const auto& row : parsed->rows) {
        out += u"<tr>"sv;
        for (int c = 0; c < columns; ++c) {
            out += u"<td"sv;
            out += alignment(c);
            out += u'>';
            if (c < int(row.size()))
                appendCell(row[size_t(c)]);
            out += u"</td>"sv;
        }
        out += u"</tr>\n"sv;
    }
    out += u"</tbody>\n</table>\n"sv;
    return std::max(end, i + 1);
}

int Renderer::setextHeading(int i, U16String& out)
{
    const auto& entry = setext_[size_t(i)];
    if (!entry || entry->isUnderline)
        return i + 1;
    const int count = int(lines_.size());
    const int level = std::clamp(entry->level, 1, 6);
    int j = i;
    while (j < count && setext_[size_t(j)] && !setext_[size_t(j)]->isUnderline)
        ++j;
    out += u"<h"sv;
    appendNumber(out, level);
    out += u'>';
    appendInlineHTML(out, joinedLines(lines_, i, j));
    out += u"</h"sv;
    appendNumber(out, level);
    out += u">\n"sv;
    return std::min(j + 1, count);
}

int Renderer::atxHeading(int i, const MarkdownSyntax::HeadingMatch& match, U16String& out)
{
    const U16View line = lines_[size_t(i)];
    const int level = match.hashes.length;
    out += u"<h"sv;
    appendNumber(out, level);
    out += u'>';
    appendInlineHTML(out, trimmingClosingHashes(substring(line, match.text)));
    out += u"</h"sv;
    appendNumber(out, level);
    out += u">\n"sv;
    return i + 1;
}

int Renderer::footnoteDefinition(int i)
{
    const auto definition = Footnote::parseDefinition(lines_[size_t(i)]);
    if (!definition || Footnote::normalizedLabel(definition->label).empty())
        return i + 1;
    const int count = int(lines_.size());
    int j = i + 1;
    while (j < count && !fenced_[size_t(j)] && Footnote::continuesNote(lines_[size_t(j)]))
        ++j;
    U16String note(substring(lines_[size_t(i)], definition->text));
    for (int k = i + 1; k < j; ++k) {
        note += u'\n';
        note += trimmed(lines_[size_t(k)], TrimSet::Whitespace);
    }
    notes_.record(definition->label, std::move(note));
    return j;
}

int Renderer::blockquote(int i, U16String& out)
{
    const int count = int(lines_.size());
    int end = i;
    while (end < count && MarkdownSyntax::quoteLeader(lines_[size_t(end)]).depth >= 1)
        ++end;
    end = std::max(end, i + 1);
    std::vector<U16View> inner;
    for (int k = i; k < end; ++k)
        inner.push_back(quotedText(lines_[size_t(k)]));
    const std::optional<AlertKind> kind = alertOf(lines_[size_t(i)]);
    if (kind)
        inner.erase(inner.begin());
    const U16String content = renderChild(joinedLines(inner, 0, int(inner.size())), {});
    if (kind) {
        out += u"<div class=\"alert alert-"sv;
        out += u16(AlertKinds::rawValue(*kind));
        out += u"\">\n<p class=\"alert-title\">"sv;
        appendEscaped(out, alertTitle(*kind));
        out += u"</p>\n"sv;
        out += content;
        out += u"</div>\n"sv;
    } else {
        out += u"<blockquote>\n"sv;
        out += content;
        out += u"</blockquote>\n"sv;
    }
    return end;
}

int Renderer::list(int i, U16String& out)
{
    const int count = int(lines_.size());
    const auto first = MarkdownSyntax::matchList(lines_[size_t(i)]);
    if (!first)
        return paragraph(i, out);
    const int base = MarkdownSyntax::indentWidth(lines_[size_t(i)]);
    const char16_t kind = markerKind(substring(lines_[size_t(i)], first->bullet));

    bool pendingBlank = false;
    bool loose = false;
    // The list pattern's match of each line the scan looked at, for the items below.
    std::vector<std::optional<MarkdownSyntax::ListMatch>> matches;
    // Where the text of the item read last starts: a fence in it ends with it.
    int itemColumn = 0;
    auto fenceEndsAt = [&](int j) {
        const MarkdownSyntax::FenceLine& before = fences_[size_t(j - 1)];
        const MarkdownSyntax::FenceLine& at = fences_[size_t(j)];
        return before.isInside && !(before.isDelimiter && !before.opens) && (!at.isInside || at.opens);
    };
    int j = i;
    while (j < count) {
        const U16View line = lines_[size_t(j)];
        if (isBlank(j)) {
            pendingBlank = true;
            matches.emplace_back();
            ++j;
            continue;
        }
        const int w = MarkdownSyntax::indentWidth(line);
        const auto match = w == base ? MarkdownSyntax::matchList(line) : std::nullopt;
        matches.push_back(match);
        // Inside a fence a line is code, whatever it looks like, unless the fence opens on it.
        if (fenced_[size_t(j)] && match && !(fences_[size_t(j)].opens && fences_[size_t(j)].listed))
            matches.back().reset();
        const bool sibling = match && w == base && markerKind(substring(line, match->bullet)) == kind;
        if (sibling) {
            itemColumn = 0;
            for (const char16_t c : line.substr(0, size_t(match->blanks.end())))
                itemColumn = c == u'\t' ? (itemColumn / 4 + 1) * 4 : itemColumn + 1;
        } else {
            // A fence that opens at the list's own indentation or left of it
            // starts a block of its own; the lines of a fence opened inside an
            // item belong to that item, and a line where that fence ended for
            // standing left of the item's text ends the item.
            const MarkdownSyntax::FenceLine& fence = fences_[size_t(j)];
            const bool opensOutside = fence.isDelimiter && fence.opens && w <= base;
            if (opensOutside || !(fence.isInside || w > base) || (j > i && w < itemColumn && fenceEndsAt(j)))
                break;
        }
        if (pendingBlank)
            loose = true;
        pendingBlank = false;
        ++j;
    }
    int end = j;
    while (end > i && isBlank(end - 1))
        --end;

    // Items of the list's lines.
    std::vector<Item> items;
    std::vector<U16View> itemLines;
    MarkdownSyntax::LineFlags itemDefinitions;  // which item lines are definitions of the document
    int contentColumn = 0;
    for (int k = i; k < end; ++k) {
        const U16View line = lines_[size_t(k)];
        const auto& match = matches[size_t(k - i)];
        if (match) {
            Item item;
            const U16View marker = substring(line, match->bullet);
            U16View text = substring(line, match->text);
            // A box can only stand where the item's text begins.
            const auto task = text.size() >= 3 && text.front() == u'[' ? TaskList::parse(line) : std::nullopt;
            if (task) {
                item.task = task->checked;
                const int offset = task->box.end() - match->text.location;
                if (offset >= 0 && offset <= int(text.size()))
                    text = trimmed(text.substr(size_t(offset)), TrimSet::Whitespace);
            }
            if (markerKind(marker) == u'#')
                item.number = markerNumber(marker);
            item.firstLine = int(itemLines.size());
            item.lineCount = 1;
            itemLines.push_back(text);
            itemDefinitions.push_back(false);
            items.push_back(item);
            contentColumn = match->blanks.end();
        } else if (!items.empty()) {
            itemLines.push_back(strippingIndent(line, contentColumn));
            itemDefinitions.push_back(isDefinition(k));
            ++items.back().lineCount;
        }
    }
    if (items.empty())
        return paragraph(i, out);

    const bool ordered = items.front().number.has_value();
    out += ordered ? u"<ol"sv : u"<ul"sv;
    if (ordered && *items.front().number != 1) {
        out += u" start=\""sv;
        appendNumber(out, *items.front().number);
        out += u'"';
    }
    out += u">\n"sv;
    for (const Item& item : items) {
        if (item.lineCount == 1) {
            // The common item, one plain line, goes straight into the page:
            // what appendItem makes of what renderPlainLine gives.
            const size_t mark = out.size();
            appendItemOpening(out, item);
            if (loose)
                out += u"<p>"sv;
            if (item.task)
                appendTaskBox(out, *item.task);
            if (renderPlainLine(itemLines[size_t(item.firstLine)], true, out)) {
                out += loose ? u"</p>\n</li>\n"sv : u"</li>\n"sv;
                continue;
            }
            out.resize(mark);
        }
        U16String content = renderChild(
            joinedLines(itemLines, item.firstLine, item.firstLine + item.lineCount),
            MarkdownSyntax::LineFlags(itemDefinitions.begin() + item.firstLine,
                                      itemDefinitions.begin() + item.firstLine + item.lineCount));
        if (!loose) {
            const U16View t = trimmed(content, TrimSet::WhitespaceAndNewlines);
            if (TextOps::hasPrefix(t, u"<p>")) {
                const int close = TextOps::find(t, u"</p>");
                if (close >= 0) {
                    U16String tight(t);
                    tight.erase(size_t(close), 4);
                    content = tight.substr(3);
                }
            }
        }
        appendItem(out, item, content);
    }
    out += ordered ? u"</ol>\n"sv : u"</ul>\n"sv;
    return std::max(end, i + 1);
}

int Renderer::figure(int i, U16View alt, U16View url, U16String& out)
{
    out += u"<figure>"sv;
    out += image(alt, url);
    if (!alt.empty()) {
        out += u"<figcaption>"sv;
        appendInlineHTML(out, alt);
        out += u"</figcaption>"sv;
    }
    out += u"</figure>\n"sv;
    return i + 1;
}

int Renderer::paragraph(int i, U16String& out)
{
    const int count = int(lines_.size());
    int j = i + 1;
    while (j < count && !startsBlock(j))
        ++j;
    out += u"<p>"sv;
    appendInlineHTML(out, joinedLines(lines_, i, j));
    out += u"</p>\n"sv;
    return j;
}

U16String Renderer::image(U16View alt, U16View url) const
{
    const std::optional<Url> resolved = LinkRouter::resolvePicture(url, options_.baseURL);
    const Pictures::Written* picture = nullptr;
    const U16String* source = nullptr;
    // Only local files are read, and only pictures are taken from them.
    if (resolved && resolved->isFileURL()) {
        const std::string path = resolved->path();
        auto found = pictures_.byPath.find(path);
        if (found == pictures_.byPath.end()) {
            Pictures::Written written;
            if (const std::optional<PictureFile::Picture> read = PictureFile::read(path)) {
                if (options_.picturesByPath) {
                    written.source = pictureSource(path);
                } else if (options_.embedsImages) {
                    written.source = u"data:";
                    // Browsers take an SVG only under its own type, whatever the file's name says.
                    written.source += read->format == "svg" ? U16String(u"image/svg+xml")
                                                            : ImageInsertion::mimeType(u16(resolved->pathExtension()));
                    written.source += u";base64,";
                    if (pictures_.apart) {
                        // The page's writer reads the file again as it writes it.
                        written.source += PageApart::kPictureMark;
                        written.source += TextOps::number((long long)pictures_.apart->size());
                        written.source += PageApart::kPictureMark;
                        pictures_.apart->push_back({path, (long long)read->data.size()});
                    } else {
                        written.source += base64(read->data);
                    }
                }
                const QSizeF size = ImageBlock::displaySize(&read->image, 620);
                written.width = static_cast<long long>(size.width());
                written.height = static_cast<long long>(size.height());
            } else if (std::error_code error; std::filesystem::exists(path, error)
                                              && !std::filesystem::is_regular_file(path, error)) {
                // A folder, a pipe or a device where a picture is meant is never read, and is named.
                pictures_.unreadable.emplace_back(trimmed(url, TrimSet::Whitespace));
            } else if (std::filesystem::is_regular_file(path, error)) {
                if (std::filesystem::file_size(path, error) > PictureFile::maximumBytes && !error) {
                    // Too large to be read: the import finds it so by its path, and says so.
                    if (options_.picturesByPath)
                        written.source = pictureSource(path);
                } else if (!error) {
                    // A file that holds no picture this program can read: every format
                    // shows it as its description, and the export names it.
                    pictures_.unreadable.emplace_back(trimmed(url, TrimSet::Whitespace));
                }
            }
            found = pictures_.byPath.emplace(path, std::move(written)).first;
        }
        if (found->second.width >= 0)
            picture = &found->second;
        if (!found->second.source.empty())
            source = &found->second.source;
    }
    U16String out = u"<img src=\"";
    if (source)
        appendEscaped(out, *source);
    else
        appendEscaped(out, trimmed(url, TrimSet::Whitespace));
    out += u'"';
    if (picture) {
        out += u" width=\""sv;
        appendNumber(out, picture->width);
        out += u"\" height=\""sv;
        appendNumber(out, picture->height);
        out += u'"';
    }
    out += u" alt=\""sv;
    appendEscaped(out, alt);
    out += u"\">"sv;
    return out;
}

U16String Renderer::notesHTML() const
{
    if (notes_.order.empty())
        return {};
    // The notes' texts first: a reference in one of them may be a note's only one.
    std::vector<U16String> texts;
    texts.reserve(notes_.order.size());
    for (const U16String& label : notes_.order) {
        const auto found = notes_.markdown.find(Footnote::normalizedLabel(label));
        texts.push_back(found == notes_.markdown.end() ? U16String() : inlineHTML(found->second));
    }
    U16String out = u"<section class=\"footnotes\">\n<hr>\n";
    for (size_t k = 0; k < notes_.order.size(); ++k) {
        const U16String& label = notes_.order[k];
        const U16String a = notes_.anchorOf(label);
        out += u"<p class=\"footnote\" id=\"fn-"sv;
        out += a;
        out += u"\"><span class=\"footnote-label\">"sv;
        appendEscaped(out, label);
        out += u"</span> "sv;
        out += texts[k];
        // A back link only to a reference the page holds: none where every one
        // stands in code or a link's address, or there is none.
        if (notes_.references.count(Footnote::normalizedLabel(label))) {
            out += u" <a class=\"footnote-back\" href=\"#fnref-"sv;
            out += a;
            out += u"\">&#8617;</a>"sv;
        }
        out += u"</p>\n"sv;
    }
    out += u"</section>\n"sv;
    return out;
}

namespace {

// Whether some line could be a definition: up to three spaces, "[" (with "^"
// for a footnote) and later "]:". Texts without one skip the definition scans.
bool mayHoldDefinition(U16View text, bool footnote)
{
    const auto* bytes = reinterpret_cast<const unsigned char*>(text.data());
    const size_t size = text.size() * 2;
    // The start of the line of the last hit, and how far back it was looked for:
    // the text is walked back at most once in all.
    size_t start = 0;
    size_t searched = 0;
    for (size_t from = 0; from < size;) {
        const void* hit = std::memchr(bytes + from, ']', size - from);
        if (!hit)
            return false;
        const size_t at = size_t(static_cast<const unsigned char*>(hit) - bytes);
        from = at + 1;
        const size_t k = at / 2;
        if (at % 2 != 0 || text[k] != u']' || k + 1 >= text.size() || text[k + 1] != u':')
            continue;
        for (size_t back = k; back > searched; --back) {
            if (CharacterClass::isNewline(text[back - 1])) {
                start = back;
                break;
            }
        }
        searched = k;
        size_t lead = start;
        while (lead < k && lead - start < 3 && text[lead] == u' ')
            ++lead;
        if (lead < k && text[lead] == u'[' && (!footnote || (lead + 1 < k && text[lead + 1] == u'^')))
            return true;
    }
    return false;
}

} // namespace

void appendBody(U16String& out, U16View markdown, const Options& options, std::vector<PageApart::Picture>* apart,
                std::vector<U16String>* unreadable)
{
    // A footnote definition holds "[^" and "]:", a link definition "]:"; a text
    // without them has no definitions to look for.
    const bool links = mayHoldDefinition(markdown, false);
    const bool notes = links && mayHoldDefinition(markdown, true);
    Footnote::Labels footnoteLabels = notes ? Footnote::definedLabels(markdown) : Footnote::Labels();
    const ReferenceLink::Table linkDefinitions = links ? ReferenceLink::definitions(markdown) : ReferenceLink::Table();
    Notes collected;
    Pictures pictures;
    const size_t start = out.size();
    pictures.apart = apart;
    Renderer renderer(markdown, options, footnoteLabels, linkDefinitions, collected, pictures);
    renderer.renderAll(out);
    // A note defined in a quotation or a list item is met only while its block
    // is written, after references above it were written as text: the text is
    // written once more with its label known (the renderer reads the labels
    // through its reference; pictures already read are kept).
    bool unknown = false;
    for (const U16String& label : collected.order)
        if (!footnoteLabels.names(label)) {
            footnoteLabels.insert(Footnote::normalizedLabel(label));
            unknown = true;
        }
    if (unknown) {
        out.resize(start);
        collected = Notes();
        renderer.renderAll(out);
    }
    out += renderer.notesHTML();
    if (unreadable)
        *unreadable = std::move(pictures.unreadable);
}

U16String body(U16View markdown, const Options& options)
{
    U16String out;
    appendBody(out, markdown, options);
    return out;
}

} // namespace velkin::MarkdownHTML
