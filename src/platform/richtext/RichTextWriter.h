#pragma once
// RTF from an imported page: fonts, colours, bold, italic, underline and
// strikethrough, paragraphs with their spacing, lists, tables and pictures (a
// photo as JPEG, any other picture as PNG; each encoded once however often shown).
#include <QByteArray>
#include <QIODevice>
#include <QTextDocument>

namespace velkin::RichTextWriter {

// The document as RTF (7-bit text; every other character as a Unicode escape).
QByteArray write(const QTextDocument& document);
// The same written to a device, with no more than a few megabytes of it in
// memory at a time; false when the device refused some of it.
bool write(const QTextDocument& document, QIODevice& out);

} // namespace velkin::RichTextWriter
