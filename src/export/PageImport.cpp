#include "export/PageImport.h"

#include "export/MarkdownHTML.h"
#include "platform/richtext/RichTextImport.h"
#include "platform/text/CharacterClass.h"
#include "platform/text/TextOps.h"

#include <QTextBlock>
#include <QTextCursor>
#include <QTextList>

#include <vector>

namespace velkin::PageImport {

namespace {

// Qt's importer numbers every ordered list from 1. A list that starts
// elsewhere becomes an unmarked list whose items carry their numbers as text.
U16String numberingOrderedLists(const U16String& html)
{
    if (TextOps::find(html, u"<ol start=\"") < 0)
        return html;
    U16String out;
    out.reserve(html.size() + 256);
    std::vector<long long> counters;  // -1 for a list Qt numbers itself
    size_t pos = 0;
    while (pos < html.size()) {
        const size_t lt = html.find(u'<', pos);
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
        if (TextOps::hasPrefix(tag, u"<ol start=\"")) {
            long long start = 0;
            for (size_t k = 11; k < tag.size() && CharacterClass::isAsciiDigit(tag[k]) && start < 1000000000LL; ++k)
                start = start * 10 + (tag[k] - u'0');
            counters.push_back(start);
            out += u"<ul style=\"list-style-type: none\">";
        } else if (TextOps::hasPrefix(tag, u"<ol") || TextOps::hasPrefix(tag, u"<ul")) {
            counters.push_back(-1);
            out += tag;
        } else if (tag == u"</ol>" || tag == u"</ul>") {
            const bool numbered = !counters.empty() && counters.back() >= 0;
            if (!counters.empty())
                counters.pop_back();
            out += numbered ? U16View(u"</ul>") : tag;
        } else if (TextOps::hasPrefix(tag, u"<li") && !counters.empty() && counters.back() >= 0) {
            out += tag;
            out += TextOps::number(counters.back()++);
            out += u". ";
        } else {
            out += tag;
        }
        pos = gt + 1;
    }
    return out;
}

} // namespace

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

U16String importableHTML(U16View page)
{
    U16String out;
    const int open = TextOps::find(page, u"<style>\n");
    const int close = open < 0 ? -1 : TextOps::find(page, u"\n</style>", open);
    if (open >= 0 && close >= 0) {
        out.reserve(page.size());
        out += page.substr(0, size_t(open) + 8);
        out += MarkdownHTML::importStyleSheet(familyOf(page));
        out += page.substr(size_t(close));
    } else {
        out = U16String(page);
    }
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
    for (const auto& [from, to] : mapped)
        out = TextOps::replacingAll(out, from, to);
    return numberingOrderedLists(out);
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

std::unique_ptr<QTextDocument> load(U16View page)
{
    auto document = RichTextImport::load(importableHTML(page));
    unlistTaskItems(*document);
    return document;
}

} // namespace velkin::PageImport
