#pragma once
// A table whose columns cannot all be as wide as their widest word would have
// Qt squeeze them, breaking words and numbers in its cells, or, with more
// columns still, lose those past the right margin in print. It is printed as
// consecutive tables of its columns instead: as many columns in each as fit
// with no word broken, in order, each with its part of the header row and all
// the rows, one below the other; a table written in parts (TableParts) is cut
// so, part by part.
#include <QTextDocument>

namespace velkin::WideTables {

// Cuts every table of the document whose widest words, in the fonts of the
// layout's paint device, do not fit beside each other across the page;
// whether it cut any. Each table cut from one gives every column its widest
// word at least (Qt's own sharing of a table's width would not), the same in
// every part; so does a table left whole whose longest lines do not fit
// beside each other. `page` stands for the document's page size, which may not be
// given yet: nothing of the document need be laid out, and cutting a document
// not yet laid out spares laying out its wide tables whole. A document laid
// out before is to be laid out afresh afterwards.
bool cut(QTextDocument& document, QSizeF page = QSizeF());

} // namespace velkin::WideTables
