#include "platform/graphics/PngWriter.h"

#include "platform/OutputFile.h"

#include <QBuffer>
#include <QImage>
#include <QPainter>

#include <png.h>

#include <cerrno>
#include <cmath>
#include <cstring>
#include <string>

namespace velkin::PngWriter {

namespace {

// Where libpng writes, and the system's reason when a write was refused.
struct Target {
    OutputFile* file;
    int refusal = 0;
};

// libpng writes through our file; a refused write ends the image at once.
void writeData(png_structp png, png_bytep data, png_size_t length)
{
    auto* target = static_cast<Target*>(png_get_io_ptr(png));
    if (target->file->device().write(reinterpret_cast<const char*>(data), qint64(length)) != qint64(length)) {
        target->refusal = errno;
        png_error(png, "write failed");
    }
}

void flushData(png_structp) {}

// Failures are reported by the return value, not printed.
void quietError(png_structp png, png_const_charp)
{
    png_longjmp(png, 1);
}

void quietWarning(png_structp, png_const_charp) {}

// Runs libpng calls with its error jump landing here: the jump leaves only
// this frame and libpng's own, never one that holds a C++ object (the band,
// the file), which then end as usual.
template <typename Context>
bool pngCall(png_structp png, void (*call)(png_structp, png_infop, Context*), png_infop info, Context* context)
{
    if (setjmp(png_jmpbuf(png)))
        return false;
    call(png, info, context);
    return true;
}

// libpng's structures, destroyed however the writing ends.
struct PngStructs {
    png_structp png = nullptr;
    png_infop info = nullptr;
    PngStructs()
    {
        png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, quietError, quietWarning);
        if (png)
            info = png_create_info_struct(png);
    }
    ~PngStructs() { png_destroy_write_struct(&png, info ? &info : nullptr); }
    PngStructs(const PngStructs&) = delete;
    PngStructs& operator=(const PngStructs&) = delete;
};

struct Header {
    Target* target;
    png_uint_32 width;
    png_uint_32 height;
    bool alpha = true;
};

struct Rows {
    const png_byte* first;
    size_t stride;
    int count;
};

void writeHeader(png_structp png, png_infop info, Header* header)
{
    png_set_write_fn(png, header->target, writeData, flushData);
    // A page may be taller than libpng's default limit of a million rows.
    png_set_user_limits(png, PNG_UINT_31_MAX, PNG_UINT_31_MAX);
    png_set_IHDR(png, info, header->width, header->height, 8, header->alpha ? PNG_COLOR_TYPE_RGB_ALPHA : PNG_COLOR_TYPE_RGB,
                 PNG_INTERLACE_NONE,
                 PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    // Fast settings: a page image is mostly flat colour, which compresses well anyway.
    png_set_compression_level(png, 2);
    png_set_filter(png, 0, PNG_FILTER_SUB);
    png_write_info(png, info);
}

void writeRows(png_structp png, png_infop, Rows* rows)
{
    for (int y = 0; y < rows->count; ++y)
        png_write_row(png, rows->first + size_t(y) * rows->stride);
}

void writeEnd(png_structp png, png_infop, void*)
{
    png_write_end(png, nullptr);
}

bool fail(std::string* error, const std::string& reason)
{
    if (error)
        *error = reason;
    return false;
}

// Why writing to the file stopped: the system's reason when it gave one.
std::string writeFailure(const Target& target)
{
    return std::string("cannot write the file (") +
           (target.refusal ? std::strerror(target.refusal) : target.file->refusal()) + ")";
}

// Rows of pixels drawn at a time: about 16 MB of bitmap for a wide page.
constexpr int kBandRows = 2048;

// Writes a picture of `width` by `height` pixels whose rows `band` gives a band at
// a time (straight RGBA, or RGB without `alpha`; a null image when memory ran out).
// The picture is written beside its destination and takes its place only when
// complete: a failure leaves an existing file as it was and no partial one.
bool writeBands(const std::filesystem::path& path, long long width, long long height, bool alpha, int bandRows,
                const std::function<QImage(long long top, int rows)>& band, std::string* error)
{
    OutputFile file(path);
    if (const auto reason = file.open())
        return fail(error, "cannot write the file (" + *reason + ")");
    PngStructs structs;
    if (!structs.png || !structs.info)
        return fail(error, "not enough memory");
    Target target{&file};
    Header header{&target, png_uint_32(width), png_uint_32(height), alpha};
    if (!pngCall(structs.png, writeHeader, structs.info, &header))
        return fail(error, writeFailure(target));
    for (long long top = 0; top < height; top += bandRows) {
        const int rows = int(std::min<long long>(bandRows, height - top));
        const QImage pixels = band(top, rows);
        if (pixels.isNull())
            return fail(error, "not enough memory");
        Rows written{pixels.constBits(), size_t(pixels.bytesPerLine()), rows};
        if (!pngCall(structs.png, writeRows, structs.info, &written))
            return fail(error, writeFailure(target));
    }
    if (!pngCall<void>(structs.png, writeEnd, structs.info, nullptr))
        return fail(error, writeFailure(target));
    if (const auto reason = file.commit())
        return fail(error, "cannot write the file (" + *reason + ")");
    return true;
}

} // namespace

bool writeInBands(const std::filesystem::path& path, double widthPoints, double heightPoints, double scale,
                  const QColor& background, const std::function<void(QPainter&, const QRectF&)>& draw,
                  std::string* error)
{
    const long long width = static_cast<long long>(std::floor(widthPoints * scale));
    const long long height = static_cast<long long>(std::floor(heightPoints * scale));
    if (width <= 0 || height <= 0 || width > 1'000'000 || height > 0x7FFFFFFFLL)
        return fail(error, "the page has no size a picture can have");
    QImage band;
    return writeBands(path, width, height, true, kBandRows, [&](long long top, int rows) {
        if (band.height() != rows)
            band = QImage(int(width), rows, QImage::Format_RGBA8888_Premultiplied);
        if (band.isNull())
            return QImage();
        band.fill(background);
        {
            QPainter painter(&band);
            painter.setRenderHint(QPainter::Antialiasing);
            painter.setRenderHint(QPainter::TextAntialiasing);
            painter.setRenderHint(QPainter::SmoothPixmapTransform);
            painter.scale(scale, scale);
            const QRectF visible(0, double(top) / scale, widthPoints, double(rows) / scale);
            painter.translate(0, -visible.top());
            painter.setClipRect(visible);
            draw(painter, visible);
        }
        return band.convertToFormat(QImage::Format_RGBA8888);
    }, error);
}

bool write(const QImage& image, const std::filesystem::path& path, std::string* error)
{
    if (image.isNull())
        return fail(error, "not enough memory");
    // Through libpng with our own error handling, as the page in bands: Qt's PNG writer
    // would print libpng's own "Write Error" line before the reason is reported.
    const bool alpha = image.hasAlphaChannel();
    const QImage::Format format = alpha ? QImage::Format_RGBA8888 : QImage::Format_RGB888;
    // A band at a time, so that the picture is not held twice.
    constexpr int kCopiedRows = 256;
    return writeBands(path, image.width(), image.height(), alpha, kCopiedRows, [&](long long top, int rows) {
        return image.copy(0, int(top), image.width(), rows).convertToFormat(format);
    }, error);
}

std::optional<QByteArray> encode(const QImage& image)
{
    if (image.isNull())
        return std::nullopt;
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    if (!image.save(&buffer, "PNG") || bytes.isEmpty())
        return std::nullopt;
    return bytes;
}

} // namespace velkin::PngWriter
