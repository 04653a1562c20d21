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

