#include "platform/graphics/PngWriter.h"

#include <QBuffer>
#include <QImage>
#include <QPainter>

#include <png.h>

#include <cmath>
#include <cstdio>
#include <cstring>
#include <memory>
#include <vector>

namespace velkin::PngWriter {

namespace {

struct FileCloser {
    void operator()(std::FILE* f) const { std::fclose(f); }
};

// Rows of pixels drawn at a time: about 16 MB of bitmap for a wide page.
constexpr int kBandRows = 2048;

} // namespace

bool writeInBands(const std::filesystem::path& path, double widthPoints, double heightPoints, double scale,
                  const QColor& background, const std::function<void(QPainter&, const QRectF&)>& draw)
{
    const long long width = static_cast<long long>(std::floor(widthPoints * scale));
    const long long height = static_cast<long long>(std::floor(heightPoints * scale));
    if (width <= 0 || height <= 0 || width > 1'000'000 || height > 2'000'000'000LL / width)
        return false;
    std::unique_ptr<std::FILE, FileCloser> file(std::fopen(path.c_str(), "wb"));
    if (!file)
        return false;
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
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
    png_init_io(png, file.get());
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
    return std::fflush(file.get()) == 0;
}

bool write(const QImage& image, const std::filesystem::path& path)
{
    if (image.isNull())
        return false;
    return image.save(QString::fromStdString(path.string()), "PNG");
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
