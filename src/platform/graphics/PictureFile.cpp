#include "platform/graphics/PictureFile.h"

#include "platform/FileRead.h"


#include <QBuffer>
#include <QImageReader>
#include <QXmlStreamReader>

#include <cerrno>
#include <utility>



namespace velkin::PictureFile {

namespace fs = std::filesystem;

std::optional<QByteArray> readRegularFile(const std::string& path, long long limit)
{
    if (path.empty())
        return std::nullopt;
    auto file = FileRead::Regular::open(path, limit);
    QByteArray data;
    if (!file || !file->readAll(data, limit))
        return std::nullopt;
    return data;
}

namespace {

// Whether SVG text names no file outside itself. Qt's reader opens a file a
// picture element or a style sheet instruction names, where a pipe or a
// device would block it for ever; a browser shows a page's SVG picture
// without them anyway. A link's address is never opened.
bool standsAlone(const QByteArray& svg)
{
    QXmlStreamReader xml(svg);
    // As Qt's reader takes the names: as written, prefix and all.
    xml.setNamespaceProcessing(false);
    while (!xml.atEnd()) {
        switch (xml.readNext()) {
        case QXmlStreamReader::ProcessingInstruction:
            if (xml.processingInstructionTarget() == u"xml-stylesheet")
                return false;
            break;
        case QXmlStreamReader::StartElement:
            if (xml.qualifiedName() == u"a")
                break;
            for (const QXmlStreamAttribute& attribute : xml.attributes()) {
                const QString value = attribute.value().trimmed().toString();
                if (attribute.qualifiedName().endsWith(u"href") && !value.startsWith(u'#')
                    && !value.startsWith(u"data:", Qt::CaseInsensitive))
                    return false;
            }
            break;
        case QXmlStreamReader::Characters:
            if (xml.text().contains(u"@import", Qt::CaseInsensitive))
                return false;
            break;
        default:
            break;
        }
    }
    return !xml.hasError();
}

} // namespace

QImage decode(const QByteArray& data, QByteArray* format)
{
    if (data.isEmpty() || std::uintmax_t(data.size()) > maximumBytes)
        return {};
    QBuffer buffer;
    buffer.setData(data);
    buffer.open(QIODevice::ReadOnly);
    QImageReader reader(&buffer);
    // The format is told by the bytes, never by a file name.
    reader.setDecideFormatFromContent(true);
    reader.setAllocationLimit(decodeLimitMegabytes);
    // Upright as the file says (a photo's stored orientation), as it is shown.
    reader.setAutoTransform(true);
    // Asked before reading: some readers forget it once they have read.
    const QByteArray kind = reader.format();
    // A compressed SVG cannot be looked into before Qt reads it.
    if (kind == "svgz" || (kind == "svg" && !standsAlone(data)))
        return {};
    QImage image = reader.read();
    if (format)
        *format = image.isNull() ? QByteArray() : kind;
    return image;
}

std::optional<QSize> decodedSize(const QByteArray& data)
{
    if (data.isEmpty() || std::uintmax_t(data.size()) > maximumBytes)
        return std::nullopt;
    QBuffer buffer;
    buffer.setData(data);
    buffer.open(QIODevice::ReadOnly);
    QImageReader reader(&buffer);
    reader.setDecideFormatFromContent(true);
    QSize size = reader.canRead() ? reader.size() : QSize();
    if (size.isEmpty() || qint64(size.width()) * size.height() * 4 > qint64(decodeLimitMegabytes) << 20)
        return std::nullopt;
    if (reader.transformation() & QImageIOHandler::TransformationRotate90)
        size.transpose();
    return size;
}

namespace {

// The frame header's marker and component count of a JPEG, read from its
// segments; {0, 0} when the bytes are no JPEG or end before it.
std::pair<int, int> jpegFrame(const QByteArray& data)
{
    const auto* p = reinterpret_cast<const unsigned char*>(data.constData());
    const qsizetype n = data.size();
    if (n < 4 || p[0] != 0xFF || p[1] != 0xD8)
        return {0, 0};
    for (qsizetype at = 2; at + 4 <= n;) {
        if (p[at] != 0xFF)
            return {0, 0};
        const int marker = p[at + 1];
        if (marker == 0xFF) {  // a fill byte
            ++at;
            continue;
        }
        if (marker == 0x01 || (marker >= 0xD0 && marker <= 0xD7)) {  // no length follows
            at += 2;
            continue;
        }
        // Start of frame: every 0xCn but the tables (C4, CC) and the reserved C8.
        if (marker >= 0xC0 && marker <= 0xCF && marker != 0xC4 && marker != 0xC8 && marker != 0xCC)
            return at + 9 < n ? std::pair{marker, int(p[at + 9])} : std::pair{0, 0};
        if (marker == 0xD9 || marker == 0xDA)  // the end, or the scan, before any frame
            return {0, 0};
        at += 2 + (p[at + 2] << 8 | p[at + 3]);
    }
    return {0, 0};
}

} // namespace

std::optional<QSize> jpegShownAsStored(const QByteArray& data)
{
    // Huffman-coded baseline, extended or progressive frames of one or three
    // components; arithmetic coding and CMYK are not read everywhere.
    const auto [frame, components] = jpegFrame(data);
    if (frame < 0xC0 || frame > 0xC2 || (components != 1 && components != 3))
        return std::nullopt;
    QBuffer buffer;
    buffer.setData(data);
    buffer.open(QIODevice::ReadOnly);
    QImageReader reader(&buffer, "jpeg");
    if (!reader.canRead() || reader.transformation() != QImageIOHandler::TransformationNone)
        return std::nullopt;
    const QSize size = reader.size();
    return size.isEmpty() ? std::nullopt : std::optional<QSize>(size);
}

std::optional<Picture> read(const fs::path& path)
{
    // Looked at before and after opening, never waited on: a FIFO, a device or
    // a file swapped for one in between is no picture.
    std::optional<QByteArray> data = readRegularFile(path.string(), (long long)maximumBytes);
    if (!data || data->isEmpty())
        return std::nullopt;
    QByteArray format;
    QImage image = decode(*data, &format);
    if (image.isNull())
        return std::nullopt;
    return Picture{std::move(*data), std::move(image), std::move(format)};
}

} // namespace velkin::PictureFile
