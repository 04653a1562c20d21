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
// included, whatever its text. Measured for tables of empty cells: 1.6 KB a
// cell in PDF (its layout), 0.3 KB in RTF, 1.3 KB in a page image; for many
// tables of two rows of two cells: 2.0 KB, 1.3 KB and 1.6 KB. Only the text's
// length is known before it is read, so the refusal goes by the text; an
// export that runs past the memory all the same ends in an allocation that
// fails, which is reported.
#include <cstdint>
#include <optional>
#include <string>

namespace velkin::OutputBudget {

enum class Output { html, pdf, rtf, png };

inline constexpr uint64_t kBase = uint64_t(256) << 20;

constexpr uint64_t perByte(Output output)
{
    return output == Output::html ? 100 : 150;
}

constexpr uint64_t perCell(Output output)
{
    return output == Output::html ? 256 : 2048;
}

// The longest text, in bytes, that `memory` bytes take for the output.
uint64_t largestText(Output output, uint64_t memory);

// Why a text of `textBytes` bytes is too long for the output with `memory`
// bytes of memory, naming the limit; nothing when it is not.
std::optional<std::string> refusal(Output output, uint64_t textBytes, uint64_t memory);

} // namespace velkin::OutputBudget
