#include "document/ImageInsertion.h"

#include "markdown/ImageBlock.h"
#include "platform/OutputFile.h"
#include "platform/text/TextOps.h"
#include "platform/text/Utf.h"

#include <QFile>

#include <filesystem>

namespace velkin::ImageInsertion {

namespace fs = std::filesystem;

namespace {

std::optional<fs::path> documentPath(const std::optional<Url>& documentURL)
{
    if (!documentURL || !documentURL->isFileURL())
        return std::nullopt;
    const std::string local = documentURL->path();
    if (local.empty())
        return std::nullopt;
    return fs::path(local);
}

U16String fromPath(const fs::path& path)
{
    return u16(path.string());
}

// A free file in the images folder: base.ext, else base-1.ext, base-2.ext and so on.
std::optional<fs::path> destinationURL(const std::string& baseName, const std::string& extension,
                                       const std::optional<Url>& documentURL)
{
    const auto document = documentPath(documentURL);
    if (!document)
        return std::nullopt;
    const fs::path folder = document->parent_path() / "images";
    std::error_code ec;
    fs::create_directories(folder, ec);
    const std::string base = baseName.empty() ? std::string("image") : baseName;
    fs::path candidate = folder / (base + "." + extension);
    for (long n = 1; fs::exists(fs::symlink_status(candidate, ec)); ++n)
        candidate = folder / (base + "-" + std::to_string(n) + "." + extension);
    return candidate;
}

U16String markdownPath(const fs::path& destination)
{
    return u"images/" + fromPath(destination.filename());
}

// The picture's file in full, or none: a write cut short (a full disk, a file
// size limit) leaves no partial picture beside the document.
template <typename Write>
bool writeWhole(const fs::path& destination, Write&& write)
{
    OutputFile out(destination);
    return !out.open() && write(out.device()) && !out.failed() && !out.commit();
}

} // namespace

const std::set<U16String>& imageExtensions()
{
    static const std::set<U16String> extensions{u"png", u"jpg",  u"jpeg", u"gif", u"heic",
                                                 u"heif", u"tiff", u"tif", u"bmp", u"webp"};
    return extensions;
}

std::optional<U16String> copyBesideDocument(const Url& source, const std::optional<Url>& documentURL)
{
    if (!source.isFileURL())
        return std::nullopt;
    const fs::path from(source.path());
    std::string extension = from.extension().string();
    if (!extension.empty())
        extension.erase(0, 1);
    else
        extension = "png";
    const auto destination = destinationURL(from.stem().string(), extension, documentURL);
    if (!destination)
        return std::nullopt;
    QFile in(QString::fromStdString(from.string()));
    if (!in.open(QIODevice::ReadOnly))
        return std::nullopt;
    const bool copied = writeWhole(*destination, [&](QIODevice& out) {
        constexpr qint64 kPiece = 1 << 20;
        while (true) {
            const QByteArray piece = in.read(kPiece);
            if (piece.isEmpty())
                return in.error() == QFileDevice::NoError && in.atEnd();
            if (out.write(piece) != piece.size())
                return false;
        }
    });
    if (!copied)
        return std::nullopt;
    return markdownPath(*destination);
}

std::optional<U16String> materialize(const QByteArray& data, U16View preferredExtension,
                                     const std::optional<Url>& documentURL)
{
    const std::string extension = preferredExtension.empty() ? std::string("png") : u8(preferredExtension);
    const auto destination = destinationURL("image", extension, documentURL);
    if (!destination)
        return std::nullopt;
    if (!writeWhole(*destination, [&](QIODevice& out) { return out.write(data) == data.size(); }))
        return std::nullopt;
    return markdownPath(*destination);
}

std::optional<U16String> relativePath(const Url& file, const std::optional<Url>& documentURL)
{
    const auto document = documentPath(documentURL);
    if (!document || !file.isFileURL())
        return std::nullopt;
    // Dot segments go; symbolic links are not followed.
    const fs::path folder = document->lexically_normal().parent_path();
    const fs::path target = fs::path(file.path()).lexically_normal();
    std::vector<fs::path> d(folder.begin(), folder.end());
    std::vector<fs::path> f(target.begin(), target.end());
    // A trailing separator leaves an empty last component; it names no file.
    while (!d.empty() && d.back().empty())
        d.pop_back();
    while (!f.empty() && f.back().empty())
        f.pop_back();
    if (d.size() >= f.size())
        return std::nullopt;
    for (size_t i = 0; i < d.size(); ++i)
        if (d[i] != f[i])
            return std::nullopt;
    U16String out;
    for (size_t i = d.size(); i < f.size(); ++i) {
        if (!out.empty())
            out += u'/';
        out += fromPath(f[i]);
    }
    return out;
}

U16String mimeType(U16View extension)
{
    const U16String ext = TextOps::lowercased(extension);
    if (ext == u"jpg" || ext == u"jpeg")
        return u"image/jpeg";
    if (ext == u"gif")
        return u"image/gif";
    if (ext == u"heic" || ext == u"heif")
        return u"image/heic";
    if (ext == u"webp")
        return u"image/webp";
    if (ext == u"bmp")
        return u"image/bmp";
    if (ext == u"tif" || ext == u"tiff")
        return u"image/tiff";
    return u"image/png";
}

std::optional<U16String> imageLine(U16View path)
{
    const bool bracketed = path.find_first_of(u" \t()") != U16View::npos;
    const U16String line = bracketed ? u"![](<" + U16String(path) + u">)" : u"![](" + U16String(path) + u")";
    // The line must read back as this very path, the way the editor and export read it.
    const std::optional<ImageBlock::Parsed> parsed = ImageBlock::parseBlockImage(line);
    if (!parsed || parsed->url != path)
        return std::nullopt;
    return line;
}

} // namespace velkin::ImageInsertion
