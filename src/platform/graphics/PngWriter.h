#pragma once
// PNG files written band by band, so that a very tall page never has to be
// held as one bitmap in memory.
#include <QByteArray>
#include <QColor>
#include <QRectF>

#include <filesystem>
#include <functional>
#include <optional>
#include <string>

class QImage;
class QPainter;

namespace velkin::PngWriter {

// Writes a `widthPoints` x `heightPoints` page at `scale` pixels per point.
// `draw` paints the page in point coordinates; it is called once per band with
// the painter clipped and translated to that band (its rectangle in points).
// On failure `error`, when given, says why: the file cannot be written (with
// the system's reason), or out of memory.
bool writeInBands(const std::filesystem::path& path, double widthPoints, double heightPoints, double scale,
                  const QColor& background, const std::function<void(QPainter&, const QRectF&)>& draw,
                  std::string* error = nullptr);

// Writes one bitmap as it is; a null one is taken for a failed allocation.
bool write(const QImage& image, const std::filesystem::path& path, std::string* error = nullptr);

// A picture's PNG encoding in memory, or nothing (for a null picture too).
std::optional<QByteArray> encode(const QImage& image);

} // namespace velkin::PngWriter
