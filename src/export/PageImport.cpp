#include "export/PageImport.h"

#include "export/MarkdownHTML.h"
#include "platform/richtext/RichTextImport.h"
#include "platform/richtext/TableParts.h"
#include "platform/text/CharacterClass.h"
#include "platform/text/TextOps.h"

#include <QTextBlock>
#include <QTextCursor>
#include <QTextFrame>
#include <QTextList>
#include <QTextTable>

#include <algorithm>
#include <functional>
#include <optional>
#include <vector>

namespace velkin::PageImport {

namespace {

// The most items one list of the imported page holds.
constexpr size_t kListPart = 200;

// Whether a tag is the element `name` opening ("<ul" followed by a blank or ">").
bool opens(U16View tag, std::u16string_view name)
{
    return TextOps::hasPrefix(tag, name) && tag.size() > name.size()
           && (tag[name.size()] == u' ' || tag[name.size()] == u'>');
}

bool opensList(U16View tag)
{
    return opens(tag, u"<ul") || opens(tag, u"<ol");
}

// The tag without its id attribute. Qt turns an id into an anchor name, which
// neither PDF nor RTF uses, and its format collection files every list-valued
// property under one hash: each distinct name would make every later lookup
// compare against all earlier ones.
void appendWithoutId(U16String& out, U16View tag)
{
    const int at = TextOps::find(tag, u" id=\"");
    const size_t end = at < 0 ? U16View::npos : tag.find(u'"', size_t(at) + 5);
    if (end == U16View::npos) {
        out += tag;
        return;
    }
    out += tag.substr(0, size_t(at));
    out += tag.substr(end + 1);
}

// An element that may stand before an item's first text (a paragraph, a
// heading, a quotation, an alert, a code block, after `previous`): an item
// that begins with one shows its marker beside that text. A code span that
// begins a paragraph does not take the marker in.
bool leadsToText(U16View tag, U16View previous)
{
    static constexpr std::u16string_view names[] = {u"<p", u"<h1", u"<h2", u"<h3", u"<h4", u"<h5", u"<h6",
                                                    u"<blockquote", u"<div", u"<pre"};
    return std::any_of(std::begin(names), std::end(names), [&](std::u16string_view name) { return opens(tag, name); })
           || (opens(tag, u"<code") && opens(previous, u"<pre"));
}

// Whether what follows an item's opening tag at `pos` is a list before any text.
bool opensWithList(U16View html, size_t pos)
{
    for (;;) {
        while (pos < html.size() && html[pos] == u'\n')
            ++pos;
        if (pos >= html.size() || html[pos] != u'<')
            return false;
        const size_t gt = html.find(u'>', pos);
        if (gt == U16View::npos)
            return false;
        const U16View tag = html.substr(pos, gt - pos + 1);
        if (opensList(tag))
            return true;
        if (!leadsToText(tag, {}))
            return false;
        pos = gt + 1;
    }
}

struct ListShape {
    size_t items = 0;            // items directly in the list
    bool itemOpensList = false;  // one of them begins with a list
    bool tasks = false;          // some of them are task items
};

bool isTaskItem(U16View tag)
{
    return TextOps::find(tag, u"class=\"task-item\"") >= 0;
}

// The shape of each list, in the order the lists open.
std::vector<ListShape> listShapes(const U16String& html)
{
    std::vector<ListShape> shapes;
    std::vector<size_t> open;
    for (size_t lt = html.find(u'<'); lt != U16String::npos; lt = html.find(u'<', lt + 1)) {
        const U16View rest = U16View(html).substr(lt, 4);
        if (opensList(rest)) {
            open.push_back(shapes.size());
            shapes.emplace_back();
        } else if ((rest == u"</ul" || rest == u"</ol") && !open.empty()) {
            open.pop_back();
        } else if (opens(rest, u"<li") && !open.empty()) {
            ListShape& shape = shapes[open.back()];
            ++shape.items;
            const size_t gt = html.find(u'>', lt);
            if (!shape.itemOpensList)
                shape.itemOpensList = gt != U16String::npos && opensWithList(html, gt + 1);
            if (!shape.tasks && gt != U16String::npos)
                shape.tasks = isTaskItem(U16View(html).substr(lt, gt - lt + 1));
        }
    }
    return shapes;
}

struct OpenList {
    long long number;   // the next item's number when the items carry their numbers as text, else -1
    size_t remaining;   // items still to come
    size_t inPart;      // items in the part written so far
    bool bullets;       // written as <ul>
    bool textMarkers;   // its items carry their numbers or bullets as text
};

// The list's opening for a part of it: a part that more parts follow keeps no
// space below it, one that follows another none above it.
void appendListOpening(U16String& out, const OpenList& list, bool continued)
{
    const bool more = list.remaining > kListPart;
    out += list.bullets || list.textMarkers ? U16View(u"<ul") : U16View(u"<ol");
    if (!list.textMarkers && !more && !continued) {
        out += u'>';
        return;
    }
    out += u" style=\"";
    if (list.textMarkers)
        out += u"list-style-type: none; ";
    if (continued)
        out += u"margin-top: 0; ";
    if (more)
        out += u"margin-bottom: 0; ";
    out.pop_back();
    out.pop_back();
    out += u"\">";
}

// The bullet Qt draws for a bullet list at any depth.
constexpr std::u16string_view kBulletText = u"\u2022 ";

// Qt's importer numbers every ordered list from 1, and registering an item
// with a list costs as much as the items already in it. So a list that starts
// elsewhere, a very long ordered one, or one with task items (whose number
// goes before the box, where Qt would leave it out), becomes an unmarked list whose items
// carry their numbers as text (see ItemNumbers); and a very long list is written as consecutive
// lists of at most kListPart items each, with no space between them, which
// lays out as the one list it is. A number goes where the item's text begins,
// inside a leading paragraph, quotation or code block, so that it shares that
// line. An item that begins with a list has no line of its own in Qt, which
// would drop its marker and number the items after it wrongly: its list
// carries its numbers as text too, and so does the inner list, whose first
// item begins with both markers ("1. \u2022 ").
U16String listsForImport(const U16String& html)
{
    const std::vector<ListShape> shapes = listShapes(html);
    U16String out;
    out.reserve(html.size() + 256);
    std::vector<OpenList> lists;
    U16String pending;  // markers written as text, waiting for the item's text
    U16View previous;   // the tag before this one
    size_t listIndex = 0;
    size_t pos = 0;
    const auto placePending = [&] {
        out += pending;
        pending.clear();
    };
    while (pos < html.size()) {
        const size_t lt = html.find(u'<', pos);
        if (!pending.empty()) {
            size_t text = pos;
            // After the line ends between elements, not after a code line's own blanks.
            while (text < std::min(lt, html.size()) && html[text] == u'\n')
                ++text;
            if (text < std::min(lt, html.size())) {
                out.append(html, pos, text - pos);
                placePending();
                pos = text;
            }
        }
        if (lt == U16String::npos) {
            out.append(html, pos, U16String::npos);
            break;
        }
        out.append(html, pos, lt - pos);
        const size_t gt = html.find(u'>', lt);
        if (gt == U16String::npos) {
            out.append(html, lt, U16String::npos);
            break;
        }
        const U16View tag(html.data() + lt, gt - lt + 1);
        pos = gt + 1;
        if (opensList(tag)) {
            const ListShape& shape = shapes[listIndex++];
            OpenList list{-1, shape.items, 0, opens(tag, u"<ul"), false};
            if (TextOps::hasPrefix(tag, u"<ol start=\"")) {
                list.number = 0;
                for (size_t k = 11; k < tag.size() && CharacterClass::isAsciiDigit(tag[k]) && list.number < 1000000000LL; ++k)
                    list.number = list.number * 10 + (tag[k] - u'0');
            } else if (!list.bullets
                       && (list.remaining > kListPart || shape.itemOpensList || shape.tasks || !pending.empty())) {
                list.number = 1;
            }
            list.textMarkers = list.number >= 0 || (list.bullets && !pending.empty());
            if (!list.textMarkers && list.remaining <= kListPart)
                out += tag;
            else
                appendListOpening(out, list, false);
            lists.push_back(list);
        } else if ((tag == u"</ol>" || tag == u"</ul>") && !lists.empty()) {
            if (!pending.empty())
                placePending();
            const OpenList& list = lists.back();
            out += list.textMarkers || list.bullets ? U16View(u"</ul>") : U16View(u"</ol>");
            lists.pop_back();
        } else if (opens(tag, u"<li") && !lists.empty()) {
            // Markers pending here are those of the item this list opens.
            OpenList& list = lists.back();
            if (list.inPart == kListPart) {
                out += list.textMarkers || list.bullets ? U16View(u"</ul>\n") : U16View(u"</ol>\n");
                appendListOpening(out, list, true);
                list.inPart = 0;
            }
            ++list.inPart;
            --list.remaining;
            out += tag;
            // A task item shows its box instead of a bullet, as on the page
            // (and as unlistTaskItems() makes a marked list's); in a numbered
            // list its number, then its box.
            const bool task = isTaskItem(tag);
            if (list.number >= 0) {
                pending += TextOps::number(list.number++);
                pending += u". ";
            } else if (list.textMarkers && !task) {
                pending += kBulletText;
            }
        } else {
            // Markers go before the first thing that is not a leading block's opening.
            if (!pending.empty() && !leadsToText(tag, previous))
                placePending();
            appendWithoutId(out, tag);
        }
        previous = tag;
    }
    if (!pending.empty())
        placePending();
    return out;
}

// Qt's table code costs more than in proportion to a table's rows (importing,
// laying out and drawing each go over the rows already placed), so a table of
// more than kTallTable rows is written as consecutive tables of about
// kTablePart rows each. Only the first has the header; joinTableParts() makes
// the parts read as one table, and TableParts::cutAtPages() print as one.
constexpr size_t kTallTable = 300;
constexpr size_t kTablePart = 120;

U16String tablesForImport(U16String html)
{
    static constexpr std::u16string_view bodyOpen = u"<tbody>\n";
    static constexpr std::u16string_view bodyClose = u"</tbody>\n</table>";
    static constexpr std::u16string_view partOpen = u"<table width=\"100%\" cellspacing=\"0\" border=\"0\">\n<tbody>\n";
    U16String out;
    size_t pos = 0;
    for (size_t body = html.find(bodyOpen); body != U16String::npos; body = html.find(bodyOpen, pos)) {
        const size_t end = html.find(bodyClose, body);
        if (end == U16String::npos)
            break;
        std::vector<size_t> rowStarts;
        for (size_t tr = html.find(u"<tr>", body); tr < end; tr = html.find(u"<tr>", tr + 4))
            rowStarts.push_back(tr);
        if (rowStarts.size() <= kTallTable) {
            pos = end;
            continue;
        }
        if (out.empty())
            out.reserve(html.size() + html.size() / 16);
        out.append(html, pos, rowStarts.front() - pos);
        // Parts of even size, so that none is short enough to be kept whole on
        // a page of its own.
        const size_t parts = (rowStarts.size() + kTablePart - 1) / kTablePart;
        for (size_t part = 0; part < parts; ++part) {
            const size_t from = rowStarts[rowStarts.size() * part / parts];
            const size_t to = part + 1 < parts ? rowStarts[rowStarts.size() * (part + 1) / parts] : end;
            if (part > 0) {
                out += bodyClose;
                out += u'\n';
                out += partOpen;
            }
            out.append(html, from, to - from);
        }
        pos = end;
    }
    if (out.empty())
        return html;
    out.append(html, pos, U16String::npos);
    return out;
}

// Qt lays out and draws a table cell whole on every page it reaches, so a
// cell taller than a page costs its height for every page it runs over. For
// print, a row (of the header or the body) whose cells run to more than
// kTallCell lines ("<br>") becomes consecutive rows of kCellLines lines of
// each cell, the cells of each without the border and padding between them:
// every column is parted at the same lines, so each line stays beside the
// lines it stood beside, and each row is a page or less. An inline element
// open at a part's end is closed there and opened again in the next part.
// Only a row whose parts meet level may stay so cut: a line that wraps in
// one column more than beside it, or a picture, would make one part of a
// column taller than the others' and move the next part's lines away from
// their neighbours. Whether a line wraps is known only once its column's
// width is, so every row of plain lines is cut here; once laid out, the parts
// are measured, and a row whose parts do not meet level is made one row again
// (TableParts::joinUnevenRowParts); it and any other tall row are cut where
// the pages break (TableParts::cutTallRows). A row cut here and joined again
// costs about what it costs laid out whole; one that stays cut, much less.
constexpr size_t kTallCell = 40;
constexpr size_t kCellLines = 20;

bool isVoidElement(U16View tag);

// Calls `visit(position, tag, depth)` for each tag of inline HTML, with the
// number of elements open before it.
template <typename Visit>
void walkTags(U16View html, Visit&& visit)
{
    int depth = 0;
    for (size_t lt = html.find(u'<'); lt != U16View::npos; lt = html.find(u'<', lt + 1)) {
        const size_t gt = html.find(u'>', lt);
        if (gt == U16View::npos)
            break;
        const U16View tag = html.substr(lt, gt - lt + 1);
        visit(lt, tag, depth);
        if (tag.size() > 1 && tag[1] == u'/')
            depth = std::max(0, depth - 1);
        else if (!isVoidElement(tag))
            ++depth;
        lt = gt;
    }
}

// A cell of a row, with its line breaks and what is open at every
// kCellLines-th of them.
struct RowCell {
    U16View opening;  // "<td" or "<th" and its attributes, without the ">"
    U16View name;     // "td" or "th"
    U16View content;
    std::vector<size_t> breaks;            // every "<br>", at any depth
    std::vector<std::vector<U16View>> open;  // the opening tags open at break kCellLines * (k + 1) - 1
    bool plain = true;                     // no picture nor other element of its own height
};

void readCell(RowCell& cell)
{
    std::vector<U16View> open;
    walkTags(cell.content, [&](size_t at, U16View tag, int) {
        if (tag == u"<br>") {
            if (cell.breaks.size() % kCellLines == kCellLines - 1)
                cell.open.push_back(open);
            cell.breaks.push_back(at);
        } else if (tag.size() > 1 && tag[1] == u'/') {
            if (!open.empty())
                open.pop_back();
        } else if (isVoidElement(tag)) {
            cell.plain = false;
        } else {
            open.push_back(tag);
        }
    });
}

// The closing tag of an opening one.
void appendClosing(U16String& out, U16View opening)
{
    size_t end = 1;
    while (end < opening.size() && opening[end] != u' ' && opening[end] != u'>')
        ++end;
    out += u"</";
    out += opening.substr(1, end - 1);
    out += u'>';
}

// A row's cells cut into rows of kCellLines lines; nothing when it is not
// tall or cannot be cut so.
std::optional<U16String> tallRowInRows(U16View row)
{
    std::vector<RowCell> cells;
    size_t lines = 0;
    bool plain = true;
    for (size_t at = row.find(u"<t"); at != U16View::npos; at = row.find(u"<t", at + 1)) {
        const U16View name = row.substr(at + 1, 2);
        if ((name != u"td" && name != u"th") || at + 3 >= row.size() || (row[at + 3] != u' ' && row[at + 3] != u'>'))
            continue;
        const size_t gt = row.find(u'>', at);
        const U16String closing = u"</" + U16String(name) + u">";
        const size_t close = gt == U16View::npos ? U16View::npos : row.find(closing, gt);
        if (close == U16View::npos)
            return std::nullopt;
        RowCell cell{row.substr(at, gt - at), name, row.substr(gt + 1, close - gt - 1), {}, {}, true};
        readCell(cell);
        lines = std::max(lines, cell.breaks.size() + 1);
        plain = plain && cell.plain;
        cells.push_back(std::move(cell));
        at = close + closing.size() - 1;
    }
    if (lines <= kTallCell || cells.empty() || !plain)
        return std::nullopt;
    const size_t rows = (lines + kCellLines - 1) / kCellLines;
    U16String out;
    out.reserve(row.size() + rows * cells.size() * 200);
    for (size_t r = 0; r < rows; ++r) {
        out += u"<tr>";
        for (const RowCell& cell : cells) {
            out += cell.opening;
            // The sheet's border and padding, but where the cell goes on in the next row or came from the last.
            out += u" style=\"border: 1px solid #d2d2d7; padding: 4px";
            if (r > 0)
                out += u"; border-top-width: 0px; border-top-style: none; padding-top: 0px";
            if (r + 1 < rows)
                out += u"; border-bottom-width: 0px; border-bottom-style: none; padding-bottom: 0px";
            out += u"\">";
            const size_t first = r * kCellLines;
            if (first <= cell.breaks.size()) {
                // What was open where the part before ended opens again.
                if (r > 0)
                    for (U16View opening : cell.open[r - 1])
                        out += opening;
                const size_t from = first == 0 ? 0 : cell.breaks[first - 1] + 4;
                const size_t last = first + kCellLines;
                const bool ends = last > cell.breaks.size();
                const size_t to = ends ? cell.content.size() : cell.breaks[last - 1];
                out += cell.content.substr(from, to - from);
                // The break's mark (TableParts::kCutBreak), so that the last line keeps its height.
                if (!ends)
                    out += u"&#8203;";
                if (!ends)
                    for (auto it = cell.open[r].rbegin(); it != cell.open[r].rend(); ++it)
                        appendClosing(out, *it);
            }
            out += u"</";
            out += cell.name;
            out += u'>';
        }
        out += u"</tr>\n";
    }
    out.pop_back();
    return out;
}

// Every tall row of the tables, header and body, cut into rows of kCellLines lines.
U16String tallCellsInRows(U16String html)
{
    U16String out;
    size_t copied = 0;
    const auto nextSection = [&](size_t from) {
        return std::min(html.find(u"<thead>", from), html.find(u"<tbody>", from));
    };
    for (size_t section = nextSection(0); section != U16String::npos; section = nextSection(section + 1)) {
        const bool head = html.compare(section, 7, u"<thead>") == 0;
        const size_t end = html.find(head ? u"</thead>" : u"</tbody>", section);
        if (end == U16String::npos)
            break;
        for (size_t tr = html.find(u"<tr>", section); tr < end; tr = html.find(u"<tr>", tr + 4)) {
            const size_t trEnd = html.find(u"</tr>", tr);
            if (trEnd == U16String::npos || trEnd > end)
                break;
            // A row of fewer characters than a tall cell's breaks cannot hold one.
            if (trEnd - tr < kTallCell * 4)
                continue;
            std::optional<U16String> rows = tallRowInRows(U16View(html).substr(tr, trEnd + 5 - tr));
            if (!rows)
                continue;
            out.append(html, copied, tr - copied);
            out += *rows;
            copied = trEnd + 5;
        }
        section = end;
    }
    if (copied == 0)
        return html;
    out.append(html, copied, U16String::npos);
    return out;
}

// Consecutive parts of one tall table, marked as such, with no space between
// them.
void joinParts(QTextDocument& document, const std::vector<QTextTable*>& parts)
{
    QTextCursor cursor(&document);
    for (size_t k = 0; k < parts.size(); ++k) {
        QTextTableFormat format = parts[k]->format();
        format.setProperty(TableParts::kPartIndex, int(k));
        if (k > 0)
            format.setTopMargin(0);
        if (k + 1 < parts.size()) {
            format.setBottomMargin(0);
            // The paragraph that stands between two tables takes no room.
            cursor.setPosition(parts[k]->lastPosition() + 1);
            QTextBlockFormat between = cursor.blockFormat();
            between.setTopMargin(0);
            between.setBottomMargin(0);
            between.setLineHeight(0, QTextBlockFormat::FixedHeight);
            cursor.setBlockFormat(between);
        }
        parts[k]->setFormat(format);
    }
}

// Qt's HTML parser keeps a node of some hundred bytes for every element and
// text run until the whole page is imported, so a paragraph of many emphases
// would take hundreds of times its text. A top-level paragraph of more than
// kLongInline characters is imported apart, in pieces of about kInlinePiece
// characters inserted one after another into its place.
constexpr size_t kLongInline = 1 << 16;
constexpr size_t kInlinePiece = 1 << 14;

// What stands in the place of a paragraph imported apart.
constexpr std::u16string_view kSetAside = u"\u2063velkin\u2063";

bool isVoidElement(U16View tag)
{
    static constexpr std::u16string_view names[] = {u"<br", u"<img", u"<hr", u"<input", u"<meta", u"<link", u"<col", u"<wbr"};
    return tag.ends_with(u"/>") || std::any_of(std::begin(names), std::end(names), [&](std::u16string_view name) {
               return opens(tag, name);
           });
}

struct LongParagraphs {
    U16String context;                        // the page up to where its paragraphs stand
    std::vector<std::vector<U16String>> pieces;  // each paragraph's inline HTML, in pieces
};

// The inline HTML cut before opening tags outside any element, where no blank
// is lost at the cut, every kInlinePiece characters or so.
std::vector<U16String> piecesOf(U16View inner)
{
    std::vector<U16String> pieces;
    size_t from = 0;
    walkTags(inner, [&](size_t lt, U16View tag, int depth) {
        const bool closing = tag.size() > 1 && tag[1] == u'/';
        if (!closing && depth == 0 && lt - from >= kInlinePiece && lt > 0) {
            pieces.emplace_back(inner.substr(from, lt - from));
            from = lt;
        }
    });
    pieces.emplace_back(inner.substr(from));
    return pieces;
}

// Takes every long top-level paragraph out of the page, leaving kSetAside.
LongParagraphs setAsideLongParagraphs(U16String& html)
{
    LongParagraphs result;
    static constexpr std::u16string_view article = u"<body>\n<div>\n";
    const size_t start = html.find(article);
    if (start == U16String::npos || html.size() < kLongInline)
        return result;
    const size_t body = start + article.size();
    U16String out;
    size_t copied = 0;
    int depth = 0;
    for (size_t lt = html.find(u'<', body); lt != U16String::npos; lt = html.find(u'<', lt + 1)) {
        const size_t gt = html.find(u'>', lt);
        if (gt == U16String::npos)
            break;
        const U16View tag(html.data() + lt, gt - lt + 1);
        if (depth == 0 && tag == u"<p>") {
            const size_t close = html.find(u"</p>", gt);
            if (close == U16String::npos)
                break;
            const U16View inner(html.data() + gt + 1, close - gt - 1);
            if (inner.size() > kLongInline && TextOps::find(inner, u"<img") < 0) {
                if (result.pieces.empty())
                    out.reserve(html.size());
                out.append(html, copied, gt + 1 - copied);
                out += kSetAside;
                copied = close;
                result.pieces.push_back(piecesOf(inner));
            }
            lt = close + 3;
            continue;
        }
        if (tag.size() > 1 && tag[1] == u'/')
            --depth;
        else if (!isVoidElement(tag))
            ++depth;
        lt = gt;
    }
    if (result.pieces.empty())
        return result;
    out.append(html, copied, U16String::npos);
    result.context = html.substr(0, body);
    html = std::move(out);
    return result;
}

// Each paragraph set aside inserted in its place, piece by piece, each piece
// read in the page's context so that it takes the page's styles.
void restoreLongParagraphs(QTextDocument& document, const LongParagraphs& paragraphs)
{
    if (paragraphs.pieces.empty())
        return;
    const QString marker = QString::fromUtf16(kSetAside.data(), qsizetype(kSetAside.size()));
    std::vector<QTextBlock> places;
    for (QTextBlock block = document.begin(); block.isValid(); block = block.next())
        if (block.text().startsWith(marker) && block.text().trimmed() == marker)
            places.push_back(block);
    if (places.size() != paragraphs.pieces.size())
        return;
    const QString before = QString::fromUtf16(paragraphs.context.data(), qsizetype(paragraphs.context.size()))
                           + QStringLiteral("<p>");
    const QString after = QStringLiteral("</p>\n</div>\n</body>\n</html>");
    QTextCursor cursor(&document);
    cursor.beginEditBlock();
    // From the end, so that earlier positions stay where they are.
    for (size_t k = places.size(); k-- > 0;) {
        cursor.setPosition(places[k].position());
        // Only the marker: a blank after it is the page's own, unless the
        // paragraph ends in a blank, which stands for that one.
        const U16String& last = paragraphs.pieces[k].back();
        const bool endsInBlank = !last.empty() && (CharacterClass::isAsciiBlank(last.back()) || last.back() == u'\n');
        const int extra = endsInBlank && places[k].text().size() > marker.size() ? 1 : 0;
        cursor.setPosition(places[k].position() + int(marker.size()) + extra, QTextCursor::KeepAnchor);
        cursor.removeSelectedText();
        for (const U16String& piece : paragraphs.pieces[k])
            cursor.insertHtml(before + QString::fromUtf16(piece.data(), qsizetype(piece.size())) + after);
    }
    cursor.endEditBlock();
}

void markTableParts(QTextDocument& document)
{
    std::vector<QTextTable*> parts;
    const auto join = [&] {
        if (parts.size() > 1)
            joinParts(document, parts);
        parts.clear();
    };
    QTextCursor cursor(&document);
    cursor.beginEditBlock();
    for (QTextFrame* frame : document.rootFrame()->childFrames()) {
        auto* table = qobject_cast<QTextTable*>(frame);
        if (!table)
            continue;
        // A table of the page always has a header row: one without continues
        // the table just before it.
        const bool continues = table->format().headerRowCount() == 0 && !parts.empty()
                               && table->columns() == parts.front()->columns()
                               && table->firstPosition() <= parts.back()->lastPosition() + 3;
        if (!continues)
            join();
        parts.push_back(table);
    }
    join();
    cursor.endEditBlock();
}

// A page's table has one header row: one of more is a tall header row cut
// into rows, which is printed once, where it stands, as a body row is (see
// TableParts::printTallHeadersOnce). Told after the parts are marked, which
// tells a part that continues a table by its having no header row.
void printCutHeadersOnce(QTextDocument& document)
{
    std::vector<QTextTable*> cut;
    for (QTextFrame* frame : document.rootFrame()->childFrames())
        if (auto* table = qobject_cast<QTextTable*>(frame); table && table->format().headerRowCount() > 1)
            cut.push_back(table);
    if (!cut.empty())
        TableParts::stopRepeatingHeaders(document, cut);
}

} // namespace

void joinTableParts(QTextDocument& document)
{
    markTableParts(document);
    TableParts::matchColumns(document);
}

MarkdownFontFamily familyOf(U16View page)
{
    const int at = TextOps::find(page, u"--body: ");
    if (at < 0)
        return MarkdownFontFamily::sansSerif;
    const U16View stack = page.substr(size_t(at) + 8, 16);
    if (TextOps::hasPrefix(stack, u"\"New York\""))
        return MarkdownFontFamily::serif;
    if (TextOps::hasPrefix(stack, u"ui-monospace"))
        return MarkdownFontFamily::monospace;
    return MarkdownFontFamily::sansSerif;
}

namespace {

// What comes before the page's elements and after them.
constexpr std::u16string_view kArticleOpen = u"<body>\n<article class=\"velkin\">\n";
constexpr std::u16string_view kArticleClose = u"\n</article>\n</body>\n</html>";

// The page up to its elements, with the style sheet Qt's importer understands.
U16String importableHead(U16View head)
{
    U16String out;
    const int open = TextOps::find(head, u"<style>\n");
    const int close = open < 0 ? -1 : TextOps::find(head, u"\n</style>", open);
    if (open >= 0 && close >= 0) {
        out.reserve(head.size());
        out += head.substr(0, size_t(open) + 8);
        out += MarkdownHTML::importStyleSheet(familyOf(head));
        out += head.substr(size_t(close));
    } else {
        out = U16String(head);
    }
    return out;
}

// Elements of the page, and what stands around them, with the element
// spellings Qt's importer does not know mapped to ones it does, and lists and
// tables written for import.
U16String importableElements(U16View elements, bool forPrint = false)
{
    // Every text of the document is escaped in the page, so these element
    // spellings can only be the renderer's own.
    static const std::pair<std::u16string_view, std::u16string_view> mapped[] = {
        {u"<article class=\"velkin\">", u"<div>"},
        {u"</article>", u"</div>"},
        {u"<figure>", u"<p class=\"figure\" align=\"center\">"},
        {u"<figcaption>", u"</p>\n<p class=\"figcaption\" align=\"center\">"},
        {u"</figcaption></figure>", u"</p>"},
        {u"</figure>", u"</p>"},
        {u"<section class=\"footnotes\">", u"<div class=\"footnotes\">"},
        {u"</section>", u"</div>"},
        {u"<del>", u"<s>"},
        // A style attribute of its own would hide the cell's borders from the sheet.
        {u"<th style=\"text-align:center\">", u"<th align=\"center\">"},
        {u"<th style=\"text-align:right\">", u"<th align=\"right\">"},
        {u"<td style=\"text-align:center\">", u"<td align=\"center\">"},
        {u"<td style=\"text-align:right\">", u"<td align=\"right\">"},
        {u"<table>", u"<table width=\"100%\" cellspacing=\"0\" border=\"0\">"},
        {u"</del>", u"</s>"},
    };
    // One pass from tag to tag: no spelling a mapping gives starts another,
    // and the longer spelling of a pair comes first.
    U16String out;
    out.reserve(elements.size() + elements.size() / 8);
    size_t copied = 0;
    for (size_t lt = elements.find(u'<'); lt != U16View::npos; lt = elements.find(u'<', lt + 1)) {
        const U16View rest = elements.substr(lt);
        for (const auto& [from, to] : mapped)
            if (TextOps::hasPrefix(rest, from)) {
                out.append(elements.substr(copied, lt - copied));
                out.append(to);
                copied = lt + from.size();
                lt = copied - 1;
                break;
            }
    }
    out.append(elements.substr(copied));
    return tablesForImport(forPrint ? tallCellsInRows(listsForImport(out)) : listsForImport(out));
}

// The end of the element whose opening tag starts at `from`: just past its
// closing tag (the page's elements are all closed, and its text all escaped).
size_t elementEnd(U16View html, size_t from)
{
    int depth = 0;
    for (size_t lt = from; lt < html.size(); lt = html.find(u'<', lt + 1)) {
        const size_t gt = html.find(u'>', lt);
        if (gt == U16View::npos)
            break;
        const U16View tag = html.substr(lt, gt - lt + 1);
        if (tag.size() > 1 && tag[1] == u'/')
            --depth;
        else if (!isVoidElement(tag))
            ++depth;
        if (depth <= 0)
            return gt + 1;
        lt = gt;
    }
    return html.size();
}

// Calls `each` with every element of `html` and the blanks after it, in order
// (and with what comes before the first element, when anything does). Qt puts
// a blank line before a closing </div> into the paragraph above it as a space:
// blanks stay with the element before them, as in the page.
template<typename Each>
void forEachElement(U16View html, Each&& each)
{
    size_t from = html.find(u'<');
    if (from == U16View::npos) {
        each(html);
        return;
    }
    if (from > 0)
        each(html.substr(0, from));
    while (from < html.size()) {
        const size_t end = elementEnd(html, from);
        const size_t next = std::min(html.find(u'<', end), html.size());
        each(html.substr(from, next - from));
        from = next;
    }
}

// The page's elements, in pieces of about kPiece characters that Qt's
// importer reads one at a time. Elements go whole into a piece where they fit;
// a longer code block, quote or division is cut into consecutive ones, each
// closing what it opened and the next opening it again, the cut ones without
// space below and the continued ones without space above, so that they lay
// out as the one element they are.
constexpr size_t kPiece = 1 << 17;

class Pieces {
public:
    // How a piece goes on from the one before it.
    struct Continuation {
        enum Kind {
            none,     // after a whole element
            element,  // in a quote or division, after one of its elements
            line,     // in a code block, after one of its lines
        } kind = none;
        size_t lines = 0;  // for a line: the code block's lines the piece holds
    };
    explicit Pieces(std::function<void(U16String, Continuation)> done) : done_(std::move(done)) {}

    // An element and the blanks after it.
    void add(U16View element)
    {
        const size_t end = element.rfind(u'>') + 1;
        if (element.empty() || element[0] != u'<' || end == 0) {
            current_ += element;
            return;
        }
        const U16View tag = element.substr(0, end);
        const U16View blanks = element.substr(end);
        // A quote that opens a continued one is its own first block, as in the whole page.
        if (firstAfterCut_ && continuation_.kind == Continuation::element && opens(tag, u"<blockquote"))
            continuation_ = {};
        firstAfterCut_ = false;
        if (tag.size() > kPiece && (opens(tag, u"<blockquote") || opens(tag, u"<div")) && addCut(tag)) {
            current_ += blanks;
            return;
        }
        if (tag.size() > kPiece && opens(tag, u"<pre") && addCutCode(tag)) {
            current_ += blanks;
            return;
        }
        // After a table Qt may put what follows into the block after the
        // table, or not, as the table ended: only another table starts a
        // piece there. A picture's caption shares the picture's paragraph.
        if ((!afterTable_ || opens(tag, u"<table")) && !TextOps::hasPrefix(tag, u"<p class=\"figcaption\""))
            cutWhenFull();
        current_ += element;
        afterTable_ = TextOps::hasSuffix(tag, u"</table>");
    }

    void finish()
    {
        if (current_.find_first_not_of(u" \n") != U16String::npos)
            done_(std::move(current_), continuation_);
        current_.clear();
        start_ = inner_ = 0;
    }

private:
    struct Open {
        U16View opening;
        U16View closing;
        bool block;          // takes the margins of a cut
        size_t at = 0;       // where its opening tag's name ends in the piece being written
        bool continued = false;
    };

    static size_t nameEnd(U16View opening)
    {
        size_t k = 1;
        while (k < opening.size() && opening[k] != u' ' && opening[k] != u'>')
            ++k;
        return k;
    }

    void push(U16View opening, U16View closing, bool block)
    {
        open_.push_back({opening, closing, block, current_.size() + nameEnd(opening)});
        current_ += opening;
        inner_ = current_.size();
    }

    void pop()
    {
        const Open element = open_.back();
        open_.pop_back();
        current_ += element.closing;
        inner_ = 0;
        if (element.continued && element.block)
            current_.insert(element.at, u" style=\"margin-top: 0\"");
    }

    void cutWhenFull(Continuation::Kind next = Continuation::element)
    {
        if (current_.size() < start_ + kPiece || current_.find_first_not_of(u" \n", inner_) == U16String::npos)
            return;
        U16String part = std::move(current_);
        current_.clear();
        // A code block's margin below is on its last line, so a cut one has
        // none; a quote's or division's is taken over by its last element.
        for (auto it = open_.rbegin(); it != open_.rend(); ++it) {
            part += it->closing;
            if (it->block && opens(it->opening, u"<pre"))
                part.insert(it->at, it->continued ? U16View(u" style=\"margin-top: 0; margin-bottom: 0\"")
                                                  : U16View(u" style=\"margin-bottom: 0\""));
            else if (it->block && it->continued)
                part.insert(it->at, u" style=\"margin-top: 0\"");
        }
        for (Open& element : open_) {
            element.at = current_.size() + nameEnd(element.opening);
            element.continued = true;
            current_ += element.opening;
        }
        start_ = inner_ = current_.size();
        afterTable_ = false;
        const Continuation continuation = continuation_;
        continuation_ = {open_.empty() ? Continuation::none : next, 1};
        firstAfterCut_ = true;
        done_(std::move(part), continuation);
    }

    // A quote or division: its elements one by one.
    bool addCut(U16View tag)
    {
        const size_t openingEnd = tag.find(u'>') + 1;
        const size_t closingStart = tag.rfind(u"</");
        if (TextOps::contains(tag.substr(0, openingEnd), u" style=") || closingStart < openingEnd)
            return false;
        if (!afterTable_)
            cutWhenFull();
        push(tag.substr(0, openingEnd), tag.substr(closingStart), true);
        forEachElement(tag.substr(openingEnd, closingStart - openingEnd), [&](U16View child) { add(child); });
        pop();
        afterTable_ = false;
        return true;
    }

    // A code block: cut between lines, where no token runs on.
    bool addCutCode(U16View tag)
    {
        static constexpr std::u16string_view closing = u"</code></pre>";
        const size_t preEnd = tag.find(u'>') + 1;
        if (!TextOps::hasPrefix(tag.substr(preEnd), u"<code") || !TextOps::hasSuffix(tag, closing))
            return false;
        const size_t codeEnd = tag.find(u'>', preEnd) + 1;
        if (tag.size() < codeEnd + closing.size())
            return false;
        if (!afterTable_)
            cutWhenFull();
        push(tag.substr(0, preEnd), u"</pre>", true);
        push(tag.substr(preEnd, codeEnd - preEnd), u"</code>", false);
        const U16View code = tag.substr(codeEnd, tag.size() - closing.size() - codeEnd);
        size_t from = 0;
        int tokens = 0;
        for (size_t k = 0; k < code.size(); ++k) {
            if (code[k] == u'<')
                tokens += k + 1 < code.size() && code[k + 1] == u'/' ? -1 : 1;
            // An empty line after the cut would start the next block as the
            // last one ended; a line of text starts it anew.
            else if (code[k] == u'\n' && tokens == 0 && k + 1 < code.size() && code[k + 1] != u'\n'
                     && current_.size() + (k - from) >= start_ + kPiece) {
                appendLines(code.substr(from, k - from));
                cutWhenFull(Continuation::line);
                from = k + 1;
            }
        }
        appendLines(code.substr(from));
        pop();
        pop();
        afterTable_ = false;
        return true;
    }

    // Lines of a code block, counted when the piece began inside it.
    void appendLines(U16View code)
    {
        if (continuation_.kind == Continuation::line)
            continuation_.lines += size_t(std::count(code.begin(), code.end(), u'\n'));
        current_ += code;
    }

    std::function<void(U16String, Continuation)> done_;
    U16String current_;
    Continuation continuation_;  // of the piece being written
    bool firstAfterCut_ = false;
    size_t start_ = 0;  // where the piece's own content starts, after what it opens again
    size_t inner_ = 0;  // where the innermost open element's content starts: no cut before some
    std::vector<Open> open_;
    bool afterTable_ = false;
};

// The first blocks of a piece that goes on with an element of the one before
// given the formats they have in the whole page. Opened again, a quote gives
// the first block of the piece its mark of a quote's first block, which a
// later element of the quote does not have. The lines of a code block each
// take the format of the line before, all but their margins as the block's
// first line has it.
void continuePiece(QTextBlock first, const Pieces::Continuation& continuation)
{
    if (!first.isValid() || continuation.kind == Pieces::Continuation::none)
        return;
    QTextCursor cursor(first);
    if (continuation.kind == Pieces::Continuation::element) {
        QTextBlockFormat format = first.blockFormat();
        if (format.hasProperty(QTextFormat::BlockQuoteLevel)) {
            format.clearProperty(QTextFormat::BlockQuoteLevel);
            cursor.setBlockFormat(format);
        }
        return;
    }
    const QTextBlock previous = first.previous();
    if (!previous.isValid())
        return;
    // The margin below is the last line's, and a cut has none.
    QTextBlockFormat line = previous.blockFormat();
    line.clearProperty(QTextFormat::BlockBottomMargin);
    cursor.setPosition(previous.position());
    cursor.setBlockFormat(line);
    line.clearProperty(QTextFormat::BlockTopMargin);
    size_t count = 0;
    for (QTextBlock block = first; block.isValid() && count < continuation.lines; block = block.next(), ++count) {
        QTextBlockFormat format = line;
        if (block.blockFormat().bottomMargin() > 0)
            format.setBottomMargin(block.blockFormat().bottomMargin());
        cursor.setPosition(block.position());
        cursor.setBlockFormat(format);
    }
}

} // namespace

U16String importableHTML(U16View page)
{
    const int at = TextOps::find(page, kArticleOpen);
    const size_t start = at < 0 ? 0 : size_t(at);
    U16String out = importableHead(page.substr(0, start));
    out += importableElements(page.substr(start));
    return out;
}

void unlistTaskItems(QTextDocument& document)
{
    // A task item shows its box alone: the importer gives every item of a list
    // its bullet, so an item that begins with a box leaves the list and keeps
    // the list's indentation.
    std::vector<QTextBlock> tasks;
    for (QTextBlock block = document.begin(); block.isValid(); block = block.next()) {
        if (!block.textList())
            continue;
        const QString text = block.text();
        if (text.size() >= 1 && (text.front() == QChar(0x2610) || text.front() == QChar(0x2611)))
            tasks.push_back(block);
    }
    if (tasks.empty())
        return;
    QTextCursor cursor(&document);
    cursor.beginEditBlock();
    for (const QTextBlock& block : tasks) {
        QTextList* list = block.textList();
        if (!list)
            continue;
        const int indent = list->format().indent();
        list->remove(block);
        cursor.setPosition(block.position());
        QTextBlockFormat format = block.blockFormat();
        format.setIndent(indent);
        cursor.setBlockFormat(format);
    }
    cursor.endEditBlock();
}

std::unique_ptr<QTextDocument> load(U16View page, RichTextImport::Pictures* pictures, bool columnWidths, bool forPrint)
{
    const int article = TextOps::find(page, kArticleOpen);
    std::unique_ptr<QTextDocument> document;
    LongParagraphs longParagraphs;
    if (article < 0 || !TextOps::hasSuffix(page, kArticleClose)) {
        // Not a page of ours: whole.
        U16String html = importableHTML(page);
        longParagraphs = setAsideLongParagraphs(html);
        document = RichTextImport::load(html, pictures);
    } else {
        const U16String head = importableHead(page.substr(0, size_t(article))) + u"<body>\n<div>\n";
        // Each piece ends as the page does, after the blanks of its last element.
        static constexpr std::u16string_view closing = u"</div>\n</body>\n</html>";
        const U16String mark = u"<p>" + U16String(RichTextImport::PieceImport::kPieceMark) + u"</p>";
        RichTextImport::PieceImport pieces(pictures);
        bool first = true;
        Pieces cutter([&](U16String part, Pieces::Continuation continuation) {
            U16String html;
            html.reserve(head.size() + mark.size() + part.size() + closing.size());
            html += head;
            if (!first)
                html += mark;
            html += part;
            html += closing;
            part = U16String();
            LongParagraphs more = setAsideLongParagraphs(html);
            if (!more.pieces.empty()) {
                longParagraphs.context = std::move(more.context);
                for (auto& paragraph : more.pieces)
                    longParagraphs.pieces.push_back(std::move(paragraph));
            }
            continuePiece(pieces.add(std::move(html)), continuation);
            first = false;
        });
        // Consecutive elements made importable together, a few pieces' worth
        // at a time: a list or a table is always whole in one such group.
        const U16View elements = page.substr(size_t(article) + kArticleOpen.size(),
                                             page.size() - kArticleClose.size() + 1 - size_t(article) - kArticleOpen.size());
        size_t groupStart = 0;
        size_t groupEnd = 0;
        const auto importGroup = [&] {
            if (groupEnd > groupStart) {
                const U16String group = importableElements(elements.substr(groupStart, groupEnd - groupStart), forPrint);
                forEachElement(group, [&](U16View element) { cutter.add(element); });
            }
            groupStart = groupEnd;
        };
        forEachElement(elements, [&](U16View element) {
            if (groupEnd - groupStart >= 4 * kPiece)
                importGroup();
            groupEnd += element.size();
        });
        importGroup();
        cutter.finish();
        document = pieces.take();
    }
    restoreLongParagraphs(*document, longParagraphs);
    unlistTaskItems(*document);
    if (columnWidths)
        joinTableParts(*document);
    else
        markTableParts(*document);
    if (forPrint)
        printCutHeadersOnce(*document);
    return document;
}

} // namespace velkin::PageImport
