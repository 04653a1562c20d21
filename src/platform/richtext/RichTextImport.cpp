#include "platform/richtext/RichTextImport.h"

#include "platform/FilePath.h"
#include "platform/graphics/PictureFile.h"
#include "platform/text/TextOps.h"
#include "platform/text/Utf.h"

#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocumentFragment>
#include <QUrl>
#include <QVariant>

#include <algorithm>
#include <filesystem>
#include <list>
#include <map>
#include <unordered_map>
#include <vector>

namespace velkin::RichTextImport {

namespace {

QString qstring(U16View text)
{
    return QString::fromUtf16(text.data(), qsizetype(text.size()));
}

QImage nothing()
{
    static const QImage none = [] {
        QImage image(1, 1, QImage::Format_ARGB32_Premultiplied);
        image.fill(Qt::transparent);
        return image;
    }();
    return none;
}

// The picture scaled to `kept` pixels, when it is to be. Its device-independent
// size stays the decoded picture's, so that it is fitted to the page as the
// decoded picture would be.
QImage scaledTo(const QImage& image, QSize kept)
{
    if (kept.isEmpty() || image.isNull())
        return image;
    QImage scaled = image.scaled(kept, Qt::KeepAspectRatio, Qt::SmoothTransformation);
    if (scaled.isNull())
        return image;
    scaled.setDevicePixelRatio(scaled.width() / std::max(1.0, image.deviceIndependentSize().width()));
    return scaled;
}

QByteArray bytesOfFile(const std::string& path)
{
    return PictureFile::readRegularFile(path, (long long)PictureFile::maximumBytes).value_or(QByteArray());
}

// Every picture of the page is loaded by pictureSources() before import and
// registered under a name of ours. Qt's importer loads a source that its
// document does not answer by itself (as a file relative to the working
// directory, where a pipe would block it for ever), so this document answers
// every picture request: an unknown one with an empty picture, other resources
// (style sheets, remote addresses) with nothing.
class ImportedDocument : public QTextDocument {
public:
    // A picture held until it is drawn: a file's path, or the compressed
    // bytes of a picture the page itself carries.
    struct Held {
        std::string path;
        QByteArray bytes;
        QSizeF size;  // the decoded picture's device-independent size
        QSize kept;   // the pixels it is kept at, or empty for as decoded
        bool photo = false;  // a JPEG
    };

    void hold(const QString& name, Held picture) { held_.insert_or_assign(name, std::move(picture)); }

    const Held* held(const QString& name) const
    {
        const auto found = held_.find(name);
        return found == held_.end() ? nullptr : &found->second;
    }

    void setAtHandLimit(long long bytes) { atHandLimit_ = bytes; }
    // What stands for a file that no longer gives its picture when drawn.
    void setFailed(const QImage& image) { failed_ = image; }

    // Whether a picture of `bytes` would stay at hand with all those at hand now.
    bool hasRoomFor(long long bytes) const { return atHandBytes_ + bytes <= atHandLimit_; }

    // The picture decoded last stays at hand, and as many before it as the limit allows.
    void keepAtHand(const QString& name, const QImage& image)
    {
        if (const auto found = atHandByName_.find(name); found != atHandByName_.end())
            dropAtHand(found->second);
        if (image.sizeInBytes() > atHandLimit_)
            return;
        atHand_.emplace_front(name, image);
        atHandByName_.insert_or_assign(name, atHand_.begin());
        atHandBytes_ += image.sizeInBytes();
        while (atHandBytes_ > atHandLimit_)
            dropAtHand(std::prev(atHand_.end()));
    }

protected:
    QVariant loadResource(int type, const QUrl& url) override
    {
        if (type != QTextDocument::ImageResource)
            return {};
        const QString name = url.toString();
        const Held* picture = held(name);
        if (!picture)
            return nothing();
        // Looked up by name: a page of thousands of small pictures keeps them all at hand.
        if (const auto found = atHandByName_.find(name); found != atHandByName_.end())
            return found->second->second;
        const QByteArray bytes = picture->path.empty() ? picture->bytes : bytesOfFile(picture->path);
        const QImage image = scaledTo(PictureFile::decode(bytes), picture->kept);
        if (image.isNull())
            return failed_.isNull() ? nothing() : failed_;
        keepAtHand(name, image);
        return image;
    }

private:
    using AtHand = std::list<std::pair<QString, QImage>>;

    void dropAtHand(AtHand::iterator entry)
    {
        atHandBytes_ -= entry->second.sizeInBytes();
        atHandByName_.erase(entry->first);
        atHand_.erase(entry);
    }

    std::map<QString, Held> held_;
    AtHand atHand_;  // the most recently decoded first
    std::unordered_map<QString, AtHand::iterator> atHandByName_;
    long long atHandBytes_ = 0;
    long long atHandLimit_ = 0;
    QImage failed_;
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

// An image source of the page: a base64 data address, with its bytes, or a
// local file read by our rules (regular files only, size cap), with its path
// and bytes. Relative and remote sources are never read here.
struct Source {
    std::string path;  // empty for a data address
    QByteArray bytes;
    bool tooLarge = false;  // a file past PictureFile::maximumBytes, left unread
};

Source sourceAt(const U16String& source)
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
        return {{}, QByteArray::fromBase64(encoded)};
    }
    std::string path;
    if (TextOps::hasPrefix(text, u"file:")) {
        const QUrl url(qstring(text));
        if (url.isLocalFile())
            path = FilePath::ofLocalURL(url).string();
    } else if (TextOps::hasPrefix(text, u"/")) {
        path = u8(text);
    }
    if (path.empty())
        return {};
    QByteArray bytes = bytesOfFile(path);
    std::error_code error;
    const bool tooLarge = bytes.isEmpty() && std::filesystem::is_regular_file(path, error)
                          && std::filesystem::file_size(path, error) > PictureFile::maximumBytes && !error;
    return {std::move(path), std::move(bytes), tooLarge};
}

// The pixels a picture is kept at: no more than its drawn size asks; empty for as decoded.
QSize keptSize(const QImage& image, const Pictures& pictures)
{
    if (!pictures.drawnSize)
        return {};
    const QSizeF drawn = pictures.drawnSize(image.deviceIndependentSize()) * Pictures::kPixelsPerPoint;
    if (!(drawn.width() >= 1) || !(drawn.height() >= 1) || (image.width() <= drawn.width() && image.height() <= drawn.height()))
        return {};
    return drawn.toSize();
}

} // namespace

// Every <img> of the renderer pointed at a picture registered in the document;
// a picture that cannot be loaded gives way to its alt text (or to nothing
// where a caption below already shows that text). Kept over the pieces of a
// page, so that each source is read once and the budget holds for all.
class PictureRouter {
public:
    // (`document` is an ImportedDocument.)
    PictureRouter(QTextDocument& document, Pictures* pictures) : document_(document), pictures_(pictures) {}

    U16String route(U16String html);

private:
    QTextDocument& document_;
    Pictures* pictures_;
    int count_ = 0;
    std::map<U16String, QString> names_;  // a source's registered name, or empty when it has none
    QString placeholderName_;
    long long held_ = 0;  // the bytes of the pictures held
};

U16String PictureRouter::route(U16String html)
{
    ImportedDocument& document = static_cast<ImportedDocument&>(document_);
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
            // A file is read again when its picture is drawn: only the bytes
            // of a picture the page carries are held, and count.
            const bool overBudget = pictures_ && held_ > pictures_->budget;
            Source read = overBudget ? Source() : sourceAt(source);
            const QImage image = PictureFile::decode(read.bytes);
            const long long holds = read.path.empty() ? read.bytes.size() : 0;
            if (pictures_ && read.tooLarge)
                ++pictures_->tooLarge;
            if (pictures_ && (overBudget || (!image.isNull() && held_ + holds > pictures_->budget))) {
                ++pictures_->leftOut;
                if (placeholderName_.isEmpty() && !pictures_->placeholder.isNull()) {
                    placeholderName_ = QStringLiteral("velkin-picture:placeholder");
                    document.addResource(QTextDocument::ImageResource, QUrl(placeholderName_), pictures_->placeholder);
                }
                name = placeholderName_;
            } else if (!image.isNull()) {
                name = QStringLiteral("velkin-picture:%1").arg(++count_);
                if (pictures_) {
                    const QSize kept = keptSize(image, *pictures_);
                    held_ += holds;
                    const bool photo = read.bytes.startsWith("\xFF\xD8\xFF");
                    if (!read.path.empty())
                        read.bytes.clear();
                    document.hold(name, {std::move(read.path), std::move(read.bytes), image.deviceIndependentSize(), kept, photo});
                    // The first pictures stay at hand for the first pages; scaling the
                    // others now would only be undone.
                    const long long keptBytes = kept.isEmpty() ? image.sizeInBytes()
                                                               : (long long)kept.width() * kept.height() * image.depth() / 8;
                    if (document.hasRoomFor(keptBytes))
                        document.keepAtHand(name, scaledTo(image, kept));
                } else {
                    document.addResource(QTextDocument::ImageResource, QUrl(name), image);
                }
            }
            found = names_.emplace(source, name).first;
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

std::unique_ptr<ImportedDocument> newDocument(Pictures* pictures)
{
    auto document = std::make_unique<ImportedDocument>();
    if (pictures) {
        document->setAtHandLimit(pictures->budget / 8);
        document->setFailed(pictures->placeholder);
    }
    document->setUseDesignMetrics(true);
    document->setDocumentMargin(0);
    // Nobody undoes an import: recorded, each later insertion and format change
    // would keep a command for every fragment it touched.
    document->setUndoRedoEnabled(false);
    return document;
}

void setHtml(QTextDocument& document, const U16String& html)
{
    document.setHtml(qstring(html));
}

} // namespace

std::unique_ptr<QTextDocument> load(U16View html, Pictures* pictures)
{
    auto document = newDocument(pictures);
    PictureRouter router(*document, pictures);
    setHtml(*document, router.route(U16String(html)));
    return document;
}

PieceImport::PieceImport(Pictures* pictures)
{
    auto document = newDocument(pictures);
    router_ = std::make_unique<PictureRouter>(*document, pictures);
    document_ = std::move(document);
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
    QTextCursor to(document_.get());
    to.movePosition(QTextCursor::End);
    const int end = to.position();
    // Between two tables the paragraph that stands after the first takes no
    // format of the closing tags that ended the piece before.
    // (U+FDD0 and U+FDD1 are the characters Qt begins and ends a frame with.)
    const bool afterTable = end > 0 && to.block().length() == 1 && document_->characterAt(end - 1) == QChar(0xFDD1);
    const QString mark = qstring(kPieceMark);
    // A rule that opens a division is its division's first paragraph in a
    // page, a paragraph after it in a fragment: such a piece is imported as a
    // page, in a document of its own, and copied from there.
    if (html.find(u"<hr") != U16String::npos) {
        PieceDocument piece(*document_);
        piece.setUndoRedoEnabled(false);
        setHtml(piece, html);
        html = U16String();
        const QTextBlock first = piece.begin();
        QTextCursor from(&piece);
        // The piece's first paragraph stands for what precedes it: from its end on,
        // every block comes with its own format, as it did in the whole page.
        if (first.text().trimmed() == mark)
            from.setPosition(first.position() + first.length() - 1);
        if (afterTable && piece.characterAt(from.position()) == QChar(0xFDD0))
            to.setBlockFormat(QTextBlockFormat());
        from.movePosition(QTextCursor::End, QTextCursor::KeepAnchor);
        to.insertFragment(QTextDocumentFragment(from));
        return document_->findBlock(end).next();
    }
    // Otherwise read straight into a fragment, which is what a page's import
    // makes of the same text, copied once to the end of the document; its
    // first paragraph, the mark, goes into the last one here and is taken out.
    QTextDocumentFragment piece = QTextDocumentFragment::fromHtml(qstring(html), document_.get());
    html = U16String();
    to.insertFragment(piece);
    piece = QTextDocumentFragment();
    const QTextBlock last = document_->findBlock(end);
    const int markEnd = last.position() + last.length() - 1;
    if (last.text().mid(end - last.position()).trimmed() == mark) {
        to.setPosition(end);
        if (afterTable && document_->characterAt(markEnd) == QChar(0xFDD0))
            to.setBlockFormat(QTextBlockFormat());
        to.setPosition(markEnd, QTextCursor::KeepAnchor);
        to.removeSelectedText();
    }
    return document_->findBlock(end).next();
}

std::unique_ptr<QTextDocument> PieceImport::take()
{
    if (started_)
        edit_.endEditBlock();
    router_.reset();
    return std::move(document_);
}

PictureToWrite pictureToWrite(const QTextDocument& document, const QString& name)
{
    PictureToWrite out;
    const auto* imported = dynamic_cast<const ImportedDocument*>(&document);
    if (const ImportedDocument::Held* picture = imported ? imported->held(name) : nullptr; picture && picture->photo) {
        out.photo = true;
        if (picture->kept.isEmpty()) {
            QByteArray bytes = picture->path.empty() ? picture->bytes : bytesOfFile(picture->path);
            // A file changed since it was imported is drawn as the document has it now.
            if (const std::optional<QSize> pixels = PictureFile::jpegShownAsStored(bytes);
                pixels && QSizeF(*pixels) == picture->size) {
                out.jpeg = std::move(bytes);
                out.pixels = *pixels;
                return out;
            }
        }
    }
    const QVariant resource = document.resource(QTextDocument::ImageResource, QUrl(name));
    if (resource.canConvert<QImage>())
        out.image = resource.value<QImage>();
    return out;
}

QSizeF pictureSize(const QTextDocument& document, const QString& name)
{
    if (const auto* imported = dynamic_cast<const ImportedDocument*>(&document))
        if (const ImportedDocument::Held* picture = imported->held(name))
            return picture->size;
    const QImage image = document.resource(QTextDocument::ImageResource, QUrl(name)).value<QImage>();
    return image.isNull() ? QSizeF() : image.deviceIndependentSize();
}

void resizePictures(QTextDocument& document, const std::function<QSizeF(QSizeF)>& sizeOf)
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
        const QSizeF original = pictureSize(document, picture.format.name());
        // An attachment without a decodable picture is left as it is.
        if (original.isEmpty())
            continue;
        const QSizeF size = sizeOf(original);
        picture.format.setWidth(size.width());
        picture.format.setHeight(size.height());
        cursor.setPosition(picture.position);
        cursor.setPosition(picture.position + 1, QTextCursor::KeepAnchor);
        cursor.setCharFormat(picture.format);
    }
}

} // namespace velkin::RichTextImport
