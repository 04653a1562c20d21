#include "platform/graphics/Blur.h"

#include <QImage>

#include <algorithm>
#include <cmath>
#include <vector>

namespace velkin::Blur {

namespace {

// One horizontal box blur of radius r over every row, for each of the four channels.
void boxRows(std::vector<float>& src, std::vector<float>& dst, int w, int h, int r)
{
    const float scale = 1.0f / float(2 * r + 1);
    for (int y = 0; y < h; ++y) {
        for (int c = 0; c < 4; ++c) {
            const float* in = src.data() + size_t(y) * w * 4 + c;
            float* out = dst.data() + size_t(y) * w * 4 + c;
            float sum = 0;
            for (int x = -r; x <= r; ++x)
                sum += in[size_t(std::clamp(x, 0, w - 1)) * 4];
            for (int x = 0; x < w; ++x) {
                out[size_t(x) * 4] = sum * scale;
                sum += in[size_t(std::min(x + r + 1, w - 1)) * 4] - in[size_t(std::max(x - r, 0)) * 4];
            }
        }
    }
}

void transpose(const std::vector<float>& src, std::vector<float>& dst, int w, int h)
{
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            for (int c = 0; c < 4; ++c)
                dst[(size_t(x) * h + y) * 4 + c] = src[(size_t(y) * w + x) * 4 + c];
}

} // namespace

void gaussian(QImage& image, double sigma)
{
    if (sigma <= 0.5 || image.isNull())
        return;
    image = image.convertToFormat(QImage::Format_ARGB32_Premultiplied);
    const int w = image.width(), h = image.height();
    std::vector<float> a(size_t(w) * h * 4), b(a.size());
    for (int y = 0; y < h; ++y) {
        const QRgb* row = reinterpret_cast<const QRgb*>(image.constScanLine(y));
        for (int x = 0; x < w; ++x) {
            float* p = &a[(size_t(y) * w + x) * 4];
            p[0] = float(qAlpha(row[x]));
            p[1] = float(qRed(row[x]));
            p[2] = float(qGreen(row[x]));
            p[3] = float(qBlue(row[x]));
        }
    }
    // Three box passes approximate a Gaussian of the given deviation.
    const int r = std::max(1, int(std::lround((std::sqrt(4.0 * sigma * sigma + 1.0) - 1.0) / 2.0)));
    for (int pass = 0; pass < 3; ++pass) {
        boxRows(a, b, w, h, r);
        std::swap(a, b);
    }
    transpose(a, b, w, h);
    std::swap(a, b);
    for (int pass = 0; pass < 3; ++pass) {
        boxRows(a, b, h, w, r);
        std::swap(a, b);
    }
    transpose(a, b, h, w);
    for (int y = 0; y < h; ++y) {
        QRgb* row = reinterpret_cast<QRgb*>(image.scanLine(y));
        for (int x = 0; x < w; ++x) {
            const float* p = &b[(size_t(y) * w + x) * 4];
            auto clampByte = [](float v) { return int(std::clamp(std::lround(v), 0L, 255L)); };
            const int alpha = clampByte(p[0]);
            row[x] = qRgba(std::min(clampByte(p[1]), alpha), std::min(clampByte(p[2]), alpha),
                           std::min(clampByte(p[3]), alpha), alpha);
        }
    }
}

} // namespace velkin::Blur
