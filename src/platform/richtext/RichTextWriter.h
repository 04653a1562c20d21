#pragma once
// RTF from an imported page: fonts, colours, bold, italic, underline and
// strikethrough, paragraphs with their spacing, lists, tables and pictures (PNG).
#include <QByteArray>
#include <QIODevice>
#include <QTextDocument>

namespace velkin::RichTextWriter {

// The document as RTF (7-bit text; every other character as a Unicode escape).
QByteArray write(const QTextDocument& document);

// The same written to `out` as it is made, its pictures one at a time, so
// that the RTF is never held whole; whether every write succeeded.
bool write(const QTextDocument& document, QIODevice& out);

} // namespace velkin::RichTextWriter
