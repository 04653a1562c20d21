#pragma once
// A page of MarkdownHTML::document imported as a QTextDocument, in points.
#include "platform/attributed/MarkdownFontFamily.h"
#include "platform/richtext/RichTextImport.h"
#include "platform/text/Range.h"

#include <QTextDocument>

#include <memory>

namespace velkin::PageImport {

// The family a page was made for, read from its style sheet.
MarkdownFontFamily familyOf(U16View page);

// The page as Qt's importer understands it: the style sheet flattened, and the
// elements it does not know mapped to ones it does.
U16String importableHTML(U16View page);

// Task items (list items that begin with a box) taken out of their lists, so
// that they show their box and no bullet; load() does this.
void unlistTaskItems(QTextDocument& document);

// The parts a tall table was written in joined into what reads as one table:
// marked as its parts (TableParts), the whole table's column widths in every
// part and no space between them; load() does this.
void joinTableParts(QTextDocument& document);

// The imported page. Pictures come only from data addresses and readable local
// picture files; nothing is fetched from the network. `pictures` bounds what
// the pictures may cost (see RichTextImport::Pictures). Without
// `columnWidths`, the parts of a tall table are joined but not measured: the
// PDF measures them on its paper, and RTF shares the width evenly. `forPrint`:
// a table row whose cells run to many lines is written as consecutive rows
// that print as the one (Qt lays a cell out whole on every page it reaches).
std::unique_ptr<QTextDocument> load(U16View page, RichTextImport::Pictures* pictures = nullptr,
                                    bool columnWidths = true, bool forPrint = false);

} // namespace velkin::PageImport
