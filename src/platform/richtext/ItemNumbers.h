#pragma once
// Items of a list that carry their numbers as text. Qt numbers every list from
// 1, and its cost per item grows with the list, so an ordered list that starts
// at another number, or a very long one, is imported as an unmarked list whose
// items begin with their number ("12. "). Printed and written, such an item
// reads as a list's own: its number on the first line before the text, and
// its wrapped lines hanging under the text.
#include <QTextBlock>
#include <QTextDocument>

namespace velkin::ItemNumbers {

// The length of the number text ("12. ", the blank included) that begins an
// item of an unmarked list, with the bullet of a list that the item opens
// with ("12. \u2022 "), or a bullet alone; 0 for any other block.
int length(const QTextBlock& block);

// Every such item given a hanging first line: the number stands out to the
// left, where a list's marker stands, and the text starts where the wrapped
// lines do, never further left than the list's indentation allows. Measured on
// the device the document is to be laid out for.
void hang(QTextDocument& document, QPaintDevice* device);

} // namespace velkin::ItemNumbers
