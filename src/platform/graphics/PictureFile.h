#pragma once
// Reading pictures that a document refers to, safely: only regular files of a
// bounded size whose bytes decode as an image are taken.
#include <QByteArray>
#include <QImage>

#include <filesystem>
#include <optional>
#include <string>

namespace velkin::PictureFile {

// Files larger than this are never read.
inline constexpr std::uintmax_t maximumBytes = 50u * 1024u * 1024u;
// Largest allocation decoding may make, in megabytes: header-declared sizes
// bigger than this would allocate gigabytes.
inline constexpr int decodeLimitMegabytes = 256;

struct Picture {
    QByteArray data;
    QImage image;
    QByteArray format;  // its kind as the bytes tell it: "png", "jpeg", "svg"...
};

// The file's bytes and decoded image; nothing for anything that is not a
// readable regular file of at most maximumBytes that decodes as an image.
std::optional<Picture> read(const std::filesystem::path& path);

// The pixel size of a JPEG that any reader shows as decode() does, so that its
// bytes can be written as they are: upright as stored (no orientation to
// apply), grey or RGB, baseline or progressive. Nothing for any other bytes.
std::optional<QSize> jpegShownAsStored(const QByteArray& data);

// The whole contents of a regular file of at most `limit` bytes; nothing for a
// missing or unreadable file, a folder, FIFO, socket or device (looked at
// before and after opening, never waited on), or a larger file.
std::optional<QByteArray> readRegularFile(const std::string& path, long long limit);

// The size decode() gives the bytes, read from their header alone, where that
// is sure: a picture that decodes within the limit at four bytes a pixel;
// nothing for any other bytes (decoding them tells).
std::optional<QSize> decodedSize(const QByteArray& data);

// The decoded image of bytes of at most maximumBytes, or a null image; turned
// upright as the file's stored orientation says, so that every view, page and
// export shows the picture, and measures it, alike. `format` receives the
// kind the bytes were read as.
QImage decode(const QByteArray& data, QByteArray* format = nullptr);

} // namespace velkin::PictureFile
