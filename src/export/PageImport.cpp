#include "export/PageImport.h"

#include "export/MarkdownHTML.h"
#include "export/PictureFile.h"
#include "platform/text/CharacterClass.h"
#include "platform/text/TextOps.h"
#include "platform/text/Utf.h"

#include <QVariant>

namespace velkin::PageImport {

namespace {

QString qstring(U16View text)
{
    return QString::fromUtf16(text.data(), qsizetype(text.size()));
}

// Every picture of the page is loaded by pictureSources() before import and
// registered under a name of ours. Qt's importer loads a source that its
// document does not answer by itself (as a file relative to the working
// directory, where a pipe would block it for ever), so this document answers
// every picture request: an unknown one with an empty picture, other resources
// (style sheets, remote addresses) with nothing.
class ImportedDocument : public QTextDocument {
protected:
    QVariant loadResource(int type, const QUrl&) override
    {
        if (type != QTextDocument::ImageResource)
            return {};
        static const QImage none = [] {
            QImage image(1, 1, QImage::Format_ARGB32_Premultiplied);
            image.fill(Qt::transparent);
            return image;
        }();
        return none;
    }
};

U16String unescapedAttribute(U16View value)
{
    static const std::pair<std::u16string_view, char16_t> entities[] = {
        {u"&amp;", u'&'}, {u"&lt;", u'<'}, {u"&gt;", u'>'}, {u"&quot;", u'"'}};
    U16String out;
    out.reserve(value.size());
    for (size_t i = 0; i < value.size();) {
        bool replaced = false;
        if (value[i] == u'&')
            for (const auto& [entity, c] : entities)
                if (value.substr(i, entity.size()) == entity) {
                    out += c;
                    i += entity.size();
                    replaced = true;
                    break;
                }
        if (!replaced)
            out += value[i++];
    }
    return out;
}

// The picture of an image source of the page: a base64 data address, or a
// local file read by our rules (regular files only, size cap, decodable).
// Relative and remote sources are never loaded here.
QImage pictureAt(const U16String& source)
{
    const U16View text(source);
    if (TextOps::hasPrefix(text, u"data:")) {
        const size_t comma = text.find(u',');
        if (comma == U16View::npos || !TextOps::hasSuffix(text.substr(0, comma), u";base64"))
            return {};
        QByteArray encoded;
        encoded.reserve(qsizetype(text.size() - comma));
        for (size_t i = comma + 1; i < text.size(); ++i)
            if (text[i] < 0x80)
                encoded += char(text[i]);
        return PictureFile::decode(QByteArray::fromBase64(encoded));
    }
    std::string path;
    if (TextOps::hasPrefix(text, u"file:")) {
        const QUrl url(qstring(text));
        if (url.isLocalFile())
            path = url.toLocalFile().toStdString();
    } else if (TextOps::hasPrefix(text, u"/")) {
        path = u8(text);
    }
    if (path.empty())
        return {};
    auto picture = PictureFile::read(path);
    return picture ? std::move(picture->image) : QImage();
}

// The page with every <img> of the renderer pointing at a picture registered
// in `document`; a picture that cannot be loaded gives way to its alt text
// (or to nothing where a caption below already shows that text).
U16String pictureSources(const U16String& html, QTextDocument& document)
{
    static constexpr std::u16string_view open = u"<img src=\"";
    static constexpr std::u16string_view caption = u"</p>\n<p class=\"figcaption\"";
    if (html.find(open) == U16String::npos)
        return html;
    U16String out;
    out.reserve(html.size());
    size_t pos = 0;
    int count = 0;
    for (size_t at = html.find(open); at != U16String::npos; at = html.find(open, pos)) {
        const size_t valueStart = at + open.size();
        const size_t valueEnd = html.find(u'"', valueStart);
        const size_t tagEnd = valueEnd == U16String::npos ? valueEnd : html.find(u'>', valueEnd);
        if (tagEnd == U16String::npos)
            break;
        out.append(html, pos, at - pos);
        const U16View tag(html.data() + at, tagEnd + 1 - at);
        const QImage image = pictureAt(unescapedAttribute(U16View(html).substr(valueStart, valueEnd - valueStart)));
        if (!image.isNull()) {
            const QString name = QStringLiteral("velkin-picture:%1").arg(++count);
            document.addResource(QTextDocument::ImageResource, QUrl(name), image);
            out += open;
            out += U16View(reinterpret_cast<const char16_t*>(name.utf16()), size_t(name.size()));
            out += tag.substr(valueEnd - at);
        } else if (U16View(html).substr(tagEnd + 1, caption.size()) != caption) {
            const size_t alt = TextOps::find(tag, u" alt=\"") >= 0 ? size_t(TextOps::find(tag, u" alt=\"")) + 6 : tag.size();
            const size_t altEnd = alt < tag.size() ? tag.find(u'"', alt) : alt;
            if (altEnd != U16View::npos)
                out += tag.substr(alt, altEnd - alt);  // still escaped, as page text is
        }
        pos = tagEnd + 1;
    }
    out.append(html, pos, U16String::npos);
    return out;
}

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

std::unique_ptr<QTextDocument> load(U16View page)
{
    auto document = std::make_unique<ImportedDocument>();
    document->setUseDesignMetrics(true);
    document->setDocumentMargin(0);
    document->setHtml(qstring(pictureSources(importableHTML(page), *document)));
    return document;
}

} // namespace velkin::PageImport
