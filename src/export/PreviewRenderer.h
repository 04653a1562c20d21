#pragma once
// Page rendering: a document drawn as the editor shows it, with every image
// line, task box and emoji shortcode collapsed (a page has no caret).
#include "platform/attributed/TextStorage.h"
#include "platform/url/Url.h"

#include <optional>

namespace velkin::PreviewRenderer {

// Collapses every image line to its picture, loading local pictures first so that
// they are drawn; pictures that cannot be loaded take the placeholder's size.
// `available` is the width of the text column (a grid cell's own width inside a grid).
void collapseAllImages(TextStorage& storage, const std::optional<Url>& base, double available);
// Collapses every task item to a drawn checkbox of `size` points.
void collapseAllTasks(TextStorage& storage, double size);
// Collapses every emoji shortcode to its emoji, except on collapsed image lines.
void collapseAllShortcodes(TextStorage& storage);

} // namespace velkin::PreviewRenderer
