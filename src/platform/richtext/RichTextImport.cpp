#include "platform/richtext/RichTextImport.h"

#include "platform/graphics/PictureFile.h"

#include <QTextBlock>
#include <QTextCursor>
#include <QVariant>

#include <vector>

namespace velkin::RichTextImport {

namespace {

// Only pictures: data addresses decoded here, local files read with the size
// cap; every other resource (style sheets, remote addresses) stays unloaded.
class ImportedDocument : public QTextDocument {
protected:
    QVariant loadResource(int type, const QUrl& name) override
    {
        if (type != QTextDocument::ImageResource)
            return {};
        QImage image;
        if (name.scheme() == QLatin1String("data")) {
            const QString text = name.toString(QUrl::FullyEncoded);
            const qsizetype comma = text.indexOf(u',');
            if (comma > 0 && text.left(comma).endsWith(QLatin1String(";base64"))) {
                const QByteArray data = QByteArray::fromBase64(text.mid(comma + 1).toLatin1());
                image = PictureFile::decode(data);
            }
        } else if (name.isLocalFile()) {
            if (auto picture = PictureFile::read(name.toLocalFile().toStdString()))
                image = std::move(picture->image);
        }
        if (image.isNull())
            return {};
        return image;
    }
};

} // namespace

std::unique_ptr<QTextDocument> load(U16View html)
{
    auto document = std::make_unique<ImportedDocument>();
    document->setUseDesignMetrics(true);
    document->setDocumentMargin(0);
    document->setHtml(QString::fromUtf16(html.data(), qsizetype(html.size())));
    return document;
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
