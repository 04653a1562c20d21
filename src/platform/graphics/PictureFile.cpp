#include "platform/graphics/PictureFile.h"

#include <QBuffer>
#include <QImageReader>

#include <fstream>

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
    std::error_code ec;
    const fs::file_status status = fs::status(path, ec);
    if (ec || !fs::is_regular_file(status))
        return std::nullopt;
    const std::uintmax_t size = fs::file_size(path, ec);
    if (ec || size == 0 || size > maximumBytes)
        return std::nullopt;
    std::ifstream in(path, std::ios::binary);
    if (!in)
        return std::nullopt;
    QByteArray data(qsizetype(size), Qt::Uninitialized);
    in.read(data.data(), std::streamsize(size));
    if (std::uintmax_t(in.gcount()) != size)
        return std::nullopt;
    QImage image = decode(data);
    if (image.isNull())
        return std::nullopt;
    return Picture{std::move(data), std::move(image)};
}

} // namespace velkin::PictureFile
