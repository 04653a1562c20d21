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

// A link address as the PDF can carry it: plain URI characters only, every
// other byte (parentheses, backslashes, blanks, non-ASCII) percent-encoded.
QString plainLinkAddress(const QString& href);
// Every link of the document given its plain address; write() does this.
void plainLinkAddresses(QTextDocument& document);

// Lays the document out on the locale's paper (A4, or Letter where the locale
// measures in inches) inside the margins and paints every page; nothing on
// success, else the error's description. Pictures are drawn at their sizes in
// points (as RTF carries them), one without a size at its own.
std::optional<std::string> write(QTextDocument& document, const std::filesystem::path& to);

} // namespace velkin::PDFPage
