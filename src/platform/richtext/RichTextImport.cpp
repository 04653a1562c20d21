#include "platform/richtext/RichTextImport.h"

#include "platform/graphics/PictureFile.h"
#include "platform/text/TextOps.h"
#include "platform/text/Utf.h"

#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocumentFragment>
#include <QUrl>
#include <QVariant>

#include <algorithm>
#include <map>
#include <vector>

namespace velkin::RichTextImport {

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

// A piece of a page, imported apart: its pictures are those registered in
// the page's document.
class PieceDocument : public QTextDocument {
public:
    explicit PieceDocument(const QTextDocument& page) : page_(page) {}

protected:
    QVariant loadResource(int type, const QUrl& name) override { return page_.resource(type, name); }

private:
    const QTextDocument& page_;
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

// The picture as it is kept: no larger than its drawn size asks. Its
// device-independent size stays the decoded picture's, so that it is fitted
// to the page as the decoded picture would be.
QImage keptPicture(QImage image, const Pictures& pictures)
{
    if (!pictures.drawnSize)
        return image;
    const QSizeF drawn = pictures.drawnSize(image) * Pictures::kPixelsPerPoint;
    const QSizeF original = image.deviceIndependentSize();
    if (!(drawn.width() >= 1) || !(drawn.height() >= 1) || (image.width() <= drawn.width() && image.height() <= drawn.height()))
        return image;
    QImage scaled = image.scaled(drawn.toSize(), Qt::KeepAspectRatio, Qt::SmoothTransformation);
    if (scaled.isNull())
        return image;
    scaled.setDevicePixelRatio(scaled.width() / std::max(1.0, original.width()));
    return scaled;
}

} // namespace

// Every <img> of the renderer pointed at a picture registered in the document;
// a picture that cannot be loaded gives way to its alt text (or to nothing
// where a caption below already shows that text). Kept over the pieces of a
// page, so that each source is decoded once and the budget holds for all.
class PictureRouter {
public:
    PictureRouter(QTextDocument& document, Pictures* pictures) : document_(document), pictures_(pictures) {}

    U16String route(U16String html);

private:
    QTextDocument& document_;
    Pictures* pictures_;
    int count_ = 0;
    std::map<U16String, QString> names_;  // a source's registered name, or empty when it has none
    QString placeholderName_;
    long long kept_ = 0;
};

U16String PictureRouter::route(U16String html)
{
    static constexpr std::u16string_view open = u"<img src=\"";
    static constexpr std::u16string_view caption = u"</p>\n<p class=\"figcaption\"";
    if (html.find(open) == U16String::npos)
        return html;
    U16String out;
    out.reserve(html.size());
    size_t pos = 0;
    for (size_t at = html.find(open); at != U16String::npos; at = html.find(open, pos)) {
        const size_t valueStart = at + open.size();
        const size_t valueEnd = html.find(u'"', valueStart);
        const size_t tagEnd = valueEnd == U16String::npos ? valueEnd : html.find(u'>', valueEnd);
        if (tagEnd == U16String::npos)
            break;
        out.append(html, pos, at - pos);
        const U16View tag(html.data() + at, tagEnd + 1 - at);
        const U16String source = unescapedAttribute(U16View(html).substr(valueStart, valueEnd - valueStart));
        auto found = names_.find(source);
        if (found == names_.end()) {
            QString name;
            const bool overBudget = pictures_ && kept_ > pictures_->budget;
            QImage image = overBudget ? QImage() : pictureAt(source);
            if (!image.isNull() && pictures_) {
                image = keptPicture(std::move(image), *pictures_);
                kept_ += image.sizeInBytes();
            }
            if (pictures_ && (overBudget || kept_ > pictures_->budget)) {
                ++pictures_->leftOut;
                if (placeholderName_.isEmpty() && !pictures_->placeholder.isNull()) {
                    placeholderName_ = QStringLiteral("velkin-picture:placeholder");
                    document_.addResource(QTextDocument::ImageResource, QUrl(placeholderName_), pictures_->placeholder);
                }
                found = names_.emplace(source, placeholderName_).first;
            } else {
                if (!image.isNull()) {
                    name = QStringLiteral("velkin-picture:%1").arg(++count_);
                    document_.addResource(QTextDocument::ImageResource, QUrl(name), image);
                }
                found = names_.emplace(source, name).first;
            }
        }
        if (!found->second.isEmpty()) {
            out += open;
            out += U16View(reinterpret_cast<const char16_t*>(found->second.utf16()), size_t(found->second.size()));
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

namespace {

std::unique_ptr<QTextDocument> newDocument()
{
    auto document = std::make_unique<ImportedDocument>();
    document->setUseDesignMetrics(true);
    document->setDocumentMargin(0);
    // Nobody undoes an import: recorded, each later insertion and format change
    // would keep a command for every fragment it touched.
    document->setUndoRedoEnabled(false);
    return document;
}

void setHtml(QTextDocument& document, const U16String& html)
{
    document.setHtml(QString::fromUtf16(html.data(), qsizetype(html.size())));
}

} // namespace

std::unique_ptr<QTextDocument> load(U16View html, Pictures* pictures)
{
    auto document = newDocument();
    PictureRouter router(*document, pictures);
    setHtml(*document, router.route(U16String(html)));
    return document;
}

PieceImport::PieceImport(Pictures* pictures) : document_(newDocument()), router_(std::make_unique<PictureRouter>(*document_, pictures))
{
}

PieceImport::~PieceImport() = default;

QTextBlock PieceImport::add(U16String html)
{
    html = router_->route(std::move(html));
    if (!started_) {
        setHtml(*document_, html);
        started_ = true;
        // One edit for all the pieces: each edit that ends makes Qt go over the
        // whole document for its frames, and a cursor outside one lays out the
        // paragraph it stands in.
        edit_ = QTextCursor(document_.get());
        edit_.beginEditBlock();
        return document_->begin();
    }
    // Imported as the whole page would be, in a document of its own that
    // takes its pictures from this one, then copied to the end of this one.
    PieceDocument piece(*document_);
    piece.setUndoRedoEnabled(false);
    setHtml(piece, html);
    html = U16String();
    const QTextBlock mark = piece.begin();
    QTextCursor from(&piece);
    // The piece's first paragraph stands for what precedes it: from its end on,
    // every block comes with its own format, as it did in the whole page.
    if (mark.text().trimmed() == QString::fromUtf16(kPieceMark.data(), qsizetype(kPieceMark.size())))
        from.setPosition(mark.position() + mark.length() - 1);
    QTextCursor to(document_.get());
    to.movePosition(QTextCursor::End);
    // Between two tables the paragraph that stands after the first takes no
    // format of the closing tags that ended the piece before.
    const int end = to.position();
    // (U+FDD0 and U+FDD1 are the characters Qt begins and ends a frame with.)
    if (end > 0 && to.block().length() == 1 && document_->characterAt(end - 1) == QChar(0xFDD1)
        && piece.characterAt(from.position()) == QChar(0xFDD0))
        to.setBlockFormat(QTextBlockFormat());
    from.movePosition(QTextCursor::End, QTextCursor::KeepAnchor);
    to.insertFragment(QTextDocumentFragment(from));
    return document_->findBlock(end).next();
}

std::unique_ptr<QTextDocument> PieceImport::take()
{
    if (started_)
        edit_.endEditBlock();
    router_.reset();
    return std::move(document_);
}

void resizePictures(QTextDocument& document, const std::function<QSizeF(const QImage&)>& sizeOf)
{
    struct Picture {
        int position;
        QTextImageFormat format;
    };
    std::vector<Picture> pictures;
    for (QTextBlock block = document.begin(); block.isValid(); block = block.next())
        for (auto it = block.begin(); !it.atEnd(); ++it) {
            const QTextFragment fragment = it.fragment();
            if (fragment.isValid() && fragment.charFormat().isImageFormat())
                for (int i = 0; i < fragment.length(); ++i)
                    pictures.push_back({fragment.position() + i, fragment.charFormat().toImageFormat()});
        }
    QTextCursor cursor(&document);
    for (Picture& picture : pictures) {
        const QVariant resource = document.resource(QTextDocument::ImageResource, QUrl(picture.format.name()));
        const QImage image = resource.value<QImage>();
        // An attachment without a decodable picture is left as it is.
        if (image.isNull())
            continue;
        const QSizeF size = sizeOf(image);
        picture.format.setWidth(size.width());
        picture.format.setHeight(size.height());
        cursor.setPosition(picture.position);
        cursor.setPosition(picture.position + 1, QTextCursor::KeepAnchor);
        cursor.setCharFormat(picture.format);
    }
}

} // namespace velkin::RichTextImport
