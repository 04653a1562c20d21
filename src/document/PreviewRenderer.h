#pragma once
// Page rendering: a document drawn as the editor shows it, with every image
// line, task box and emoji shortcode collapsed (a page has no caret).
#include "markdown/ProseLines.h"
#include "platform/attributed/TextStorage.h"
#include "platform/url/Url.h"

#include <optional>

namespace velkin::PreviewRenderer {

// Collapses every image line to its picture, loading local pictures first so that
// they are drawn; pictures that cannot be loaded take the placeholder's size.
// `available` is the width of the text column (a grid cell's own width inside a grid).
//
// Each walker classifies the storage's lines itself, or takes `lines` made once
// from the storage's current text for all three.
void collapseAllImages(TextStorage& storage, const std::optional<Url>& base, double available,
                       const ProseLines* lines = nullptr);
// Collapses every task item to a drawn checkbox of `size` points.
void collapseAllTasks(TextStorage& storage, double size, const ProseLines* lines = nullptr);
// Collapses every emoji shortcode to its emoji, except on collapsed image lines.
void collapseAllShortcodes(TextStorage& storage, const ProseLines* lines = nullptr);

} // namespace velkin::PreviewRenderer

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
// is given and cut at `pageHeight` when one is given; true when the file was written.
bool renderPNG(U16View markdown, const std::filesystem::path& destination, double width, double baseSize,
               const std::optional<Url>& baseURL, const std::optional<std::string>& windowTitle,
               std::optional<double> pageHeight);

} // namespace velkin::PreviewRenderer
