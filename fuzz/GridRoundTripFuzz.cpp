// Tables shown as grids: a text turned into grids and written back, with no cell
// edited, is the text itself; and whatever is typed into a grid's cells is written
// so that it reads back as those cells and their lines.
#include "FuzzInput.h"

#include "markdown/TableGrid.h"

#include "platform/text/CharacterClass.h"
#include "platform/text/Lines.h"
#include "platform/text/TextOps.h"
#include "platform/text/Utf.h"

#include <cstdio>

using namespace velkin;

namespace {

// A cell's lines as the grid writes them: the text trimmed, parted at its line breaks.
std::vector<U16String> typedLines(U16View text)
{
    text = trimmed(text, TrimSet::Whitespace);
    if (!text.empty() && text.back() == u'\r')
        text = trimmed(text.substr(0, text.size() - 1), TrimSet::Whitespace);
    std::vector<U16String> lines(1);
    for (size_t i = 0; i < text.size(); ++i) {
        if (!CharacterClass::isNewline(text[i])) {
            lines.back() += text[i];
            continue;
        }
        if (text[i] == u'\r' && i + 1 < text.size() && text[i + 1] == u'\n')
            ++i;
        lines.emplace_back();
    }
    return lines;
}

// A line as it reads: the escapes the grid writes (before "\", "`", "|" and "<") taken out.
U16String unescaped(U16View line)
{
    U16String out;
    for (size_t i = 0; i < line.size(); ++i) {
        if (line[i] == u'\\' && i + 1 < line.size() && U16View(u"\\`|<").find(line[i + 1]) != U16View::npos)
            ++i;
        out += line[i];
    }
    return out;
}

// The input typed into the cells of a row: cut at its tabs, or into four when it has none.
void typedCellsReadBack(const U16String& text)
{
    std::vector<U16String> typed;
    for (const U16View piece : splitAt(text, u'\t'))
        typed.emplace_back(piece);
    if (typed.size() == 1) {
        const size_t part = text.size() / 4 + 1;
        typed.clear();
        for (size_t at = 0; at < text.size(); at += part)
            typed.push_back(text.substr(at, part));
    }
    if (typed.empty())
        return;
    U16String header, delimiter, row;
    for (size_t k = 0; k < typed.size(); ++k) {
        header += u"| h ";
        delimiter += u"| - ";
        row += u"| @ ";
    }
    TextStorage grid = TableGrid::render(header + u"|\n" + delimiter + u"|\n" + row + u"|\n", 14);
    // The body row's placeholders, typed over from the last.
    for (int at = grid.length() - 1, k = int(typed.size()); at >= 0 && k > 0; --at)
        if (grid.string()[size_t(at)] == u'@')
            grid.replaceCharacters(Range{at, 1}, typed[size_t(--k)]);
    const U16String written = TableGrid::serialize(grid);

    // Read again: the body row's cells, each parted at its line breaks.
    const std::optional<PipeTable::Parsed> table = PipeTable::parse(splitAt(written, u'\n'));
    FUZZ_CHECK(table && table->rows.size() == 1);
    std::vector<std::vector<U16String>> read;
    for (const U16String& cell : table->rows[0]) {
        read.emplace_back();
        size_t from = 0;
        for (int at : PipeTable::cellBreaks(cell)) {
            read.back().push_back(cell.substr(from, size_t(at) - from));
            from = size_t(at) + PipeTable::cellBreak.size();
        }
        read.back().push_back(cell.substr(from));
    }
    bool same = read.size() == typed.size();
    for (size_t k = 0; same && k < typed.size(); ++k) {
        const std::vector<U16String> lines = typedLines(typed[k]);
        same = lines.size() == read[k].size();
        for (size_t i = 0; same && i < lines.size(); ++i)
            same = unescaped(lines[i]) == unescaped(read[k][i]);
    }
    if (!same)
        std::fprintf(stderr, "Typed cells read back as others:\n--- written\n%s\n", u8(written).c_str());
    FUZZ_CHECK(same);
    FUZZ_CHECK(TableGrid::serialize(TableGrid::render(written, 14)) == written);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    fuzz::ensureApplication();
    const U16String text = fuzz::text(data, size);
    const TextStorage grids = TableGrid::render(text, 14);
    const U16String back = TableGrid::serialize(grids);
    if (back != text) {
        std::fprintf(stderr, "Round trip changed the text:\n--- in\n%s\n--- out\n%s\n", u8(text).c_str(), u8(back).c_str());
        FUZZ_CHECK(back == text);
    }
    typedCellsReadBack(text);
    return 0;
}
