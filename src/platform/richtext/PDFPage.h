#pragma once
// Printing an imported page into a PDF file with our own page loop.
#include <QTextDocument>

#include <filesystem>
#include <optional>
#include <string>

namespace velkin::PDFPage {

// Margins on each side, in points.
inline constexpr double margin = 54;

// Colour emoji of the document become pictures: the emoji font has no outlines
// a PDF could carry.
void drawEmojiAsPictures(QTextDocument& document);

// Lays the document out on the locale's paper (A4, or Letter where the locale
// measures in inches) inside the margins and paints every page; nothing on
// success, else the error's description.
std::optional<std::string> write(QTextDocument& document, const std::filesystem::path& to);

} // namespace velkin::PDFPage
