#pragma once
// PNG files written band by band, so that a very tall page never has to be
// held as one bitmap in memory.
#include <QByteArray>
#include <QColor>
#include <QRectF>

#include <filesystem>
#include <functional>
#include <optional>

class QImage;
class QPainter;

namespace velkin::PngWriter {

// Writes a `widthPoints` x `heightPoints` page at `scale` pixels per point.
// `draw` paints the page in point coordinates; it is called once per band with
// the painter clipped and translated to that band (its rectangle in points).
bool writeInBands(const std::filesystem::path& path, double widthPoints, double heightPoints, double scale,
                  const QColor& background, const std::function<void(QPainter&, const QRectF&)>& draw);

// Writes one bitmap as it is.
bool write(const QImage& image, const std::filesystem::path& path);

// A picture's PNG encoding in memory, or nothing (for a null picture too).
std::optional<QByteArray> encode(const QImage& image);

} // namespace velkin::PngWriter
