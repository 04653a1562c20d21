#pragma once
// A table whose columns do not fit the page even with every cell wrapped would
// lose the columns past the right margin in print. It is printed as
// consecutive tables of its columns instead: as many columns in each as fit
// with no word broken, in order, each with its part of the header row and all
// the rows, one below the other; a table written in parts (TableParts) is cut
// so, part by part.
#include <QTextDocument>

namespace velkin::WideTables {

// Cuts every table of the document that the layout (its paint device and page
// width) makes wider than the page; whether it cut any. Each table cut from
// one gives every column its widest word at least (Qt's own sharing of a
// table's width would not), the same in every part. The document is to be
// laid out afresh afterwards.
bool cut(QTextDocument& document);

} // namespace velkin::WideTables
