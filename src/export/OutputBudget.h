#pragma once
// What an export or a page image may cost in memory, and so how long a
// document this machine can take for each.
//
// Peak memory is at most about kBase and perByte(output) for every byte of the
// document's text. HTML holds the text and the page, and one picture at a time
// as it writes them into the file; PDF and RTF also hold the
// page imported as a QTextDocument and its layout, and a page image the styled
// text and its layout (the bitmap is drawn in bands of fixed height).
//
// Tables are the exception: Qt keeps a block, a fragment, formats tied to the
// table and (while it parses) an element node for every cell, and a page image
// a cell block, a paragraph style and lines, which a short cell's text cannot
// pay for. A table costs up to perCell(output) bytes a cell, its own share
// included, whatever its text, and as much for every line of a cell after its
// first (each line break, "<br>", makes an element node and a line of its own).
// Measured for tables of empty cells: 1.6 KB a cell in PDF (its layout), 0.3 KB
// in RTF, 1.3 KB in a page image; for many tables of two rows of two cells:
// 2.0 KB, 1.3 KB and 1.6 KB; for one cell of many lines "a<br>": 2.2 KB a line
// in PDF and RTF, 0.3 KB in a page image.
//
// Only the text's length is known before it is read, so the first refusal goes
// by the text; once the page is made and before Qt imports it, or before a
// page image is laid out, its cells and cell lines are counted and a page that
// would take more than the memory is refused too. Qt's importer cannot survive
// an allocation that fails; an allocation of ours that fails is reported.
#include "platform/text/Range.h"

#include <cstdint>
#include <optional>
#include <string>

namespace velkin::OutputBudget {

// `window` is a document opened in a window, `paste` a text pasted into one: the
// editor holds the text, its styling and the layout of what is shown, and an
// edit's undo; measured at about 25 bytes a byte for a document opened and 37 for
// a text pasted, and at 43 for a 20 MB paste with its layout, so both are
// counted at 45.
enum class Output { html, pdf, rtf, png, window, paste };

inline constexpr uint64_t kBase = uint64_t(256) << 20;

constexpr uint64_t perByte(Output output)
{
    return output == Output::html ? 100 : output == Output::window || output == Output::paste ? 45 : 150;
}

constexpr uint64_t perCell(Output output)
{
    return output == Output::html ? 256 : 2304;
}

// The longest text, in bytes, that `memory` bytes take for the output.
uint64_t largestText(Output output, uint64_t memory);

// Why a text of `textBytes` bytes is too long for the output with `memory`
// bytes of memory, naming the limit; nothing when it is not.
std::optional<std::string> refusal(Output output, uint64_t textBytes, uint64_t memory);

// The cells of a page's tables (MarkdownHTML::document), and the lines of
// those cells after each one's first.
uint64_t tableCells(U16View page);

// Why a text of `textBytes` bytes whose tables hold `cells` cells and cell
// lines is too large for the output with `memory` bytes; nothing when it is not.
std::optional<std::string> tableRefusal(Output output, uint64_t textBytes, uint64_t cells, uint64_t memory);

} // namespace velkin::OutputBudget
