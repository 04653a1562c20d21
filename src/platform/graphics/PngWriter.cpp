#include "platform/graphics/PngWriter.h"

#include "platform/OutputFile.h"

#include <QBuffer>
#include <QImage>
#include <QPainter>

#include <png.h>

#include <cmath>
#include <cstring>
#include <memory>
#include <vector>

namespace velkin::PngWriter {

namespace {

// libpng writes through our file; a refused write ends the image at once.
void writeData(png_structp png, png_bytep data, png_size_t length)
{
    auto* out = static_cast<OutputFile*>(png_get_io_ptr(png));
    if (out->device().write(reinterpret_cast<const char*>(data), qint64(length)) != qint64(length))
        png_error(png, "write failed");
}

void flushData(png_structp) {}

// Failures are reported by the return value, not printed.
void quietError(png_structp png, png_const_charp)
{
    png_longjmp(png, 1);
}

void quietWarning(png_structp, png_const_charp) {}

// Rows of pixels drawn at a time: about 16 MB of bitmap for a wide page.
constexpr int kBandRows = 2048;

} // namespace

bool writeInBands(const std::filesystem::path& path, double widthPoints, double heightPoints, double scale,
                  const QColor& background, const std::function<void(QPainter&, const QRectF&)>& draw)
{
    const long long width = static_cast<long long>(std::floor(widthPoints * scale));
    const long long height = static_cast<long long>(std::floor(heightPoints * scale));
    if (width <= 0 || height <= 0 || width > 1'000'000 || height > 0x7FFFFFFFLL)
        return false;
    // The image is written beside its destination and takes its place only when
    // complete: a failure leaves an existing file as it was and no partial one.
    OutputFile file(path);
    if (file.open())
        return false;
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, quietError, quietWarning);
    if (!png)
        return false;
    png_infop info = png_create_info_struct(png);
    if (!info) {
        png_destroy_write_struct(&png, nullptr);
        return false;
    }
    QImage band;
    std::vector<png_byte> row(size_t(width) * 4);
    if (setjmp(png_jmpbuf(png))) {
        png_destroy_write_struct(&png, &info);
        return false;
    }
    png_set_write_fn(png, &file, writeData, flushData);
    // A page may be taller than libpng's default limit of a million rows.
    png_set_user_limits(png, PNG_UINT_31_MAX, PNG_UINT_31_MAX);
    png_set_IHDR(png, info, png_uint_32(width), png_uint_32(height), 8, PNG_COLOR_TYPE_RGB_ALPHA, PNG_INTERLACE_NONE,
                 PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    // Fast settings: a page image is mostly flat colour, which compresses well anyway.
    png_set_compression_level(png, 2);
    png_set_filter(png, 0, PNG_FILTER_SUB);
    png_write_info(png, info);
    for (long long top = 0; top < height; top += kBandRows) {
        const int rows = int(std::min<long long>(kBandRows, height - top));
        if (band.height() != rows)
            band = QImage(int(width), rows, QImage::Format_RGBA8888_Premultiplied);
        if (band.isNull()) {
            png_destroy_write_struct(&png, &info);
            return false;
        }
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
        const QImage straight = band.convertToFormat(QImage::Format_RGBA8888);
        for (int y = 0; y < rows; ++y) {
            std::memcpy(row.data(), straight.constScanLine(y), row.size());
            png_write_row(png, row.data());
        }
    }
    png_write_end(png, nullptr);
    png_destroy_write_struct(&png, &info);
    return !file.commit();
}

bool write(const QImage& image, const std::filesystem::path& path)
{
    if (image.isNull())
        return false;
    OutputFile file(path);
    if (file.open() || !image.save(&file.device(), "PNG"))
        return false;
    return !file.commit();
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
