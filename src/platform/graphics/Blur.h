#pragma once
// Soft shadows: a Gaussian-like blur of an image's pixels (three box blurs).
class QImage;

namespace velkin::Blur {

// Blurs a premultiplied ARGB image in place with the given standard deviation in pixels.
void gaussian(QImage& image, double sigma);

} // namespace velkin::Blur
