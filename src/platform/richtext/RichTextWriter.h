#pragma once
// RTF from an imported page: fonts, colours, bold, italic, underline and
// strikethrough, paragraphs with their spacing, lists, tables and pictures (PNG).
#include <QByteArray>
#include <QTextDocument>

namespace velkin::RichTextWriter {

// The document as RTF (7-bit text; every other character as a Unicode escape).
QByteArray write(const QTextDocument& document);

} // namespace velkin::RichTextWriter
