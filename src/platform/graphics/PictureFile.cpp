#include "platform/graphics/PictureFile.h"


#include <QBuffer>
#include <QImageReader>

#include <cerrno>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>


namespace velkin::PictureFile {

namespace fs = std::filesystem;

std::optional<QByteArray> readRegularFile(const std::string& path, long long limit)
{
    if (path.empty())
        return std::nullopt;
    // Look before opening: opening a FIFO would wait for a writer, a device may act on being opened.
    struct stat info {};
    if (::stat(path.c_str(), &info) != 0 || !S_ISREG(info.st_mode) || info.st_size > limit)
        return std::nullopt;
    const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
    if (fd < 0)
        return std::nullopt;
    // The path may have been replaced between the two looks.
    if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode) || info.st_size > limit) {
        ::close(fd);
        return std::nullopt;
    }
    QByteArray data;
    data.reserve(qsizetype(info.st_size));
    char buffer[64 * 1024];
    for (;;) {
        const ssize_t n = ::read(fd, buffer, sizeof buffer);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            ::close(fd);
            return std::nullopt;
        }
        if (n == 0)
            break;
        if (data.size() + n > limit) {  // the file grew past the limit while being read
            ::close(fd);
            return std::nullopt;
        }
        data.append(buffer, qsizetype(n));
    }
    ::close(fd);
    return data;
}

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
    reader.setAllocationLimit(decodeLimitMegabytes);
    // Upright as the file says (a photo's stored orientation), as it is shown.
    reader.setAutoTransform(true);
    return reader.read();
}

std::optional<Picture> read(const fs::path& path)
{
    // Looked at before and after opening, never waited on: a FIFO, a device or
    // a file swapped for one in between is no picture.
    std::optional<QByteArray> data = readRegularFile(path.string(), (long long)maximumBytes);
    if (!data || data->isEmpty())
        return std::nullopt;
    QImage image = decode(*data);
    if (image.isNull())
        return std::nullopt;
    return Picture{std::move(*data), std::move(image)};
}

} // namespace velkin::PictureFile
