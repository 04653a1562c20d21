#include "export/PictureFile.h"

#include "editor/ImageCache.h"

#include <QBuffer>
#include <QImageReader>


namespace velkin::PictureFile {

namespace fs = std::filesystem;

QImage decode(const QByteArray& data)
{
    if (data.isEmpty() || std::uintmax_t(data.size()) > maximumBytes)
        return {};
    QBuffer buffer;
    buffer.setData(data);
    buffer.open(QIODevice::ReadOnly);
    QImageReader reader(&buffer);
    // The format is told by the bytes, never by a file name.
    reader.setDecideFormatFromContent(true);
    // Header-declared sizes bigger than this would allocate gigabytes.
    reader.setAllocationLimit(256);
    return reader.read();
}

std::optional<Picture> read(const fs::path& path)
{
    // Looked at before and after opening, never waited on: a FIFO, a device or
    // a file swapped for one in between is no picture.
    std::optional<QByteArray> data = ImageCache::readRegularFile(path.string(), (long long)maximumBytes);
    if (!data || data->isEmpty())
        return std::nullopt;
    QImage image = decode(*data);
    if (image.isNull())
        return std::nullopt;
    return Picture{std::move(*data), std::move(image)};
}

} // namespace velkin::PictureFile
