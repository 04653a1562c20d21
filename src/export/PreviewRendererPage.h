#pragma once
// Page images: a document laid out as one page and drawn into a bitmap or a PNG
// file, optionally framed in a drawn window.
#include "document/PreviewRenderer.h"
#include "platform/attributed/AttributedString.h"

#include <QImage>

#include <filesystem>
#include <string>

namespace velkin::PreviewRenderer {

// A page's text as every page shows it: pipe tables as grids, styled at
// `baseSize` in the sans-serif family, then images, task boxes and shortcodes
// collapsed for a page `width` points wide.
TextStorage preparePage(U16View markdown, double width, double baseSize, const std::optional<Url>& baseURL);

// The laid-out page as a bitmap `width` points wide (at two pixels per point,
// one for very tall pages): `pageHeight` high, or as tall as the text plus the
// margins; nothing when it cannot be drawn.
std::optional<QImage> pageBitmap(const AttributedString& attributed, double width, std::optional<double> pageHeight);

// Renders Markdown to one PNG page image, framed in a drawn window when a title
// is given and cut at `pageHeight` when one is given; true when the file was
// written, else `error` (when given) says why.
bool renderPNG(U16View markdown, const std::filesystem::path& destination, double width, double baseSize,
               const std::optional<Url>& baseURL, const std::optional<std::string>& windowTitle,
               std::optional<double> pageHeight, std::string* error = nullptr);

} // namespace velkin::PreviewRenderer
