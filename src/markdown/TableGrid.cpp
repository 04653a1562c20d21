#include "markdown/TableGrid.h"

#include "markdown/MarkdownStyler.h"

#include "platform/text/CharacterClass.h"
#include "platform/text/TextOps.h"

#include <algorithm>
#include <map>

namespace velkin::TableGrid {

namespace {

constexpr char16_t lineFeed = u'\n';
constexpr char16_t carriageReturn = u'\r';

// The lines of a grid cell: its paragraphs (parted by line feeds) trimmed of blanks
// at both ends, parted at every line break.
std::vector<U16View> cellLines(U16View paragraphs)
{
    U16View text = trimmed(paragraphs, TrimSet::Whitespace);
    // A carriage return that ends the cell's last paragraph ends no line of the cell.
    if (!text.empty() && text.back() == carriageReturn)
        text = trimmed(text.substr(0, text.size() - 1), TrimSet::Whitespace);
    std::vector<U16View> lines;
    size_t from = 0;
    for (size_t i = 0; i < text.size(); ++i) {
        const char16_t c = text[i];
        if (!CharacterClass::isNewline(c))
            continue;
        lines.push_back(text.substr(from, i - from));
        if (c == carriageReturn && i + 1 < text.size() && text[i + 1] == lineFeed)
            ++i;
        from = i + 1;
    }
    lines.push_back(text.substr(from));
    return lines;
}

// The spaces and tabs a table's first line starts with.
U16View leaderOf(U16View firstLine)
{
    size_t n = 0;
    while (n < firstLine.size() && (firstLine[n] == u' ' || firstLine[n] == u'\t'))
        ++n;
    return firstLine.substr(0, n);
}

// Canonical Markdown of a table with every line after `leader`.
U16String withLeader(U16String md, U16View leader)
{
    if (leader.empty())
        return md;
    return U16String(leader) + TextOps::replacingAll(md, u"\n", u"\n" + U16String(leader));
}

// The grid being collected while serialising.
class PendingTable {
public:
    bool isCurrent(const TextTable* table) const { return table_ != nullptr && table_ == table; }

    void start(const TextTable* table) { table_ = table; }

    // `at`: where the paragraph stands in the text, when its row's extent is wanted.
    void addParagraph(const TextTableBlock& block, const ParagraphStyle& style, U16View paragraph, int at = -1)
    {
        const Cell cell{block.startingRow(), block.startingColumn()};
        if (at >= 0) {
            const Range here{at, int(paragraph.size())};
            const auto [extent, added] = extents_.emplace(cell.row, here);
            if (!added)
                extent->second = unionRange(extent->second, here);
        }
        auto& row = cells_[cell.row];
        auto it = row.find(cell.column);
        if (it != row.end() && lastCell_ == cell) {
            // A cell split into several paragraphs (Return or a multi-line paste) keeps them all.
            it->second += lineFeed;
            it->second += paragraph;
        } else {
            row[cell.column] = U16String(paragraph);
        }
        lastCell_ = cell;
        alignments_.emplace(cell.column, style.alignment);
    }

    bool active() const { return table_ != nullptr; }

    // Whether the table was read ending the text without a line end after its last row.
    bool endedTextBare() const
    {
        const auto* source = dynamic_cast<const SourceTable*>(table_);
        return source && source->endedText && source->lastRowEnd.empty() && !source->endsLikeRows;
    }

    // Writes the collected grid to `out` and forgets it, with what `rows` keeps of its rows.
    // `followed`: text comes after the grid.
    void flush(std::vector<U16String>& out, bool followed, GridSpan* rows = nullptr)
    {
        if (table_ && !cells_.empty())
            out.push_back(markdownOfGrid(followed, rows));
        table_ = nullptr;
        cells_.clear();
        extents_.clear();
        alignments_.clear();
        lastCell_ = Cell{};
    }

private:
    struct Cell {
        int row = -1;
        int column = -1;
        bool operator==(const Cell&) const = default;
    };

public:
    // The one row collected, as a line of `columns` cells.
    U16String onlyRow(int columns) const
    {
        const auto* source = dynamic_cast<const SourceTable*>(table_);
        return (source ? source->leader : U16String())
            + (cells_.empty() ? PipeTable::rowMarkdown({}, size_t(columns))
                              : PipeTable::rowMarkdown(values(cells_.begin()->second, columns), size_t(columns)));
    }

private:
    static std::vector<U16String> values(const std::map<int, U16String>& byColumn, int columns)
    {
        // Written as one row: what a cell needs escaped depends on the cells after it.
        std::vector<std::vector<U16View>> lines(static_cast<size_t>(columns), std::vector<U16View>{U16View()});
        for (const auto& [column, text] : byColumn)
            if (column >= 0 && column < columns)
                lines[size_t(column)] = cellLines(text);
        return PipeTable::writtenCells(lines);
    }

    U16String markdownOfGrid(bool followed, GridSpan* rows) const
    {
        int columns = 0;
        for (const auto& [row, byColumn] : cells_)
            if (!byColumn.empty())
                columns = std::max(columns, byColumn.rbegin()->first + 1);
        PipeTable::Parsed table;
        for (auto it = cells_.begin(); it != cells_.end(); ++it) {
            if (it == cells_.begin())
                table.header = values(it->second, columns);
            else
                table.rows.push_back(values(it->second, columns));
        }
        for (int c = 0; c < columns; ++c) {
            auto it = alignments_.find(c);
            table.alignments.push_back(it == alignments_.end() ? TextAlignment::Natural : it->second);
        }
        const auto* source = dynamic_cast<const SourceTable*>(table_);
        U16String md = withLeader(PipeTable::markdown(table), source ? U16View(source->leader) : U16View());
        const bool typed = source && source->source && source->canonical;
        const bool unchanged = typed && *source->canonical == md;
        const U16String written = unchanged ? asTyped(*source, followed) : asSaid(md, source, followed);
        if (rows) {
            // A table typed as it would be written reads alike either way: its rows are
            // kept while it reads as typed too, and its Markdown coming back to the
            // canonical form's length asks for no second look.
            const bool typedAsSaid
                = typed && (unchanged ? written : asTyped(*source, followed)) == asSaid(*source->canonical, source, followed);
            if (!unchanged || typedAsSaid)
                keepRows(md, columns, source, typedAsSaid, *rows);
        }
        return written;
    }

    // The Markdown of a table read from the document and unchanged since: as it was typed.
    static U16String asTyped(const SourceTable& source, bool followed)
    {
        const U16View typed = *source.source;
        const U16View between = U16View(source.rowEnd).substr(0, source.rowEnd.size() - 1);
        // A table read with text after it that now ends the text ends with its last
        // row: the line end after that row parted it from the text.
        if (!followed)
            return U16String(source.endedText ? typed : typed.substr(0, typed.size() - source.lastRowEnd.size()));
        // A table read with text after it is unchanged, its last row's own line end
        // included (a document may mix them).
        if (!source.endedText)
            return U16String(typed);
        if (!typed.empty() && typed.back() == lineFeed)
            return U16String(typed.substr(0, typed.size() - 1));
        return U16String(typed.substr(0, typed.size() - source.lastRowEnd.size())) + U16String(between);
    }

    // The Markdown of a table as its cells say, `md` being its canonical lines.
    static U16String asSaid(U16String md, const SourceTable* source, bool followed)
    {
        if (!source)
            return md;
        // Text after the grid is a line of its own: the line feed that parts them ends the
        // last row, so the last row ends as the others do, less that line feed. The final
        // line feed of a table that ended the document is no longer the document's.
        const U16View between = U16View(source->rowEnd).substr(0, source->rowEnd.size() - 1);
        // A changed table keeps its document's line ends, the final line feed among them.
        if (source->rowEnd != u"\n")
            md = TextOps::replacingAll(md, u"\n", source->rowEnd);
        if (followed)
            return md + U16String(between);
        return source->endsLikeRows || !source->endedText ? md : md + source->lastRowEnd;
    }

    // What a grid written as its cells say keeps of its rows, when they are numbered
    // from 0 and its header holds every column: then a row's line is the row's alone.
    // `typedAsSaid`: the table was typed as it would be written.
    void keepRows(U16View md, int columns, const SourceTable* source, bool typedAsSaid, GridSpan& rows) const
    {
        const auto& header = cells_.begin()->second;
        if (cells_.begin()->first != 0 || cells_.rbegin()->first != int(cells_.size()) - 1 || columns < 1
            || int(header.size()) != columns || header.begin()->first != 0)
            return;
        for (size_t at = 0;;) {
            const size_t feed = md.find(lineFeed, at);
            rows.lines.push_back(int((feed == U16View::npos ? md.size() : feed) - at));
            if (feed == U16View::npos)
                break;
            at = feed + 1;
        }
        if (rows.lines.size() != cells_.size() + 1) {
            rows.lines.clear();
            return;
        }
        // Each row's extent in the text, when every row's paragraphs were seen where they stand.
        for (int row = 0; row < int(cells_.size()); ++row) {
            const auto extent = extents_.find(row);
            if (extent == extents_.end()) {
                rows.rowTexts.clear();
                break;
            }
            rows.rowTexts.push_back(extent->second.length);
        }
        rows.columns = columns;
        rows.lineEnd = source ? int(source->rowEnd.size()) : 1;
        rows.typedLength = source && source->canonical && !typedAsSaid ? int(source->canonical->size()) : -1;
    }

    const TextTable* table_ = nullptr;
    std::map<int, std::map<int, U16String>> cells_;  // grid row -> column -> the cell's paragraphs
    std::map<int, Range> extents_;                   // grid row -> from its first paragraph to its last
    std::map<int, TextAlignment> alignments_;
    Cell lastCell_;
};

// The line break characters that end a typed table's text.
U16String lineEndAtEnd(U16View typed)
{
    size_t n = 0;
    if (n < typed.size() && typed[typed.size() - 1 - n] == lineFeed)
        ++n;
    if (n < typed.size() && typed[typed.size() - 1 - n] == carriageReturn)
        ++n;
    return U16String(typed.substr(typed.size() - n));
}

// A cell's text as its paragraphs: each line break ("<br>") of it parts two.
void appendCellLines(U16String& text, U16View cell)
{
    size_t from = 0;
    for (int at : PipeTable::cellBreaks(cell)) {
        text.append(cell.substr(from, size_t(at) - from));
        text += lineFeed;
        from = size_t(at) + PipeTable::cellBreak.size();
    }
    text.append(cell.substr(from));
}

// One grid of `table` whose cells all belong to `grid`.
AttributedString gridOf(const PipeTable::Parsed& table, double baseSize, std::shared_ptr<SourceTable> grid)
{
    const int columns = table.columnCount();
    grid->numberOfColumns = columns;
    grid->contentWidthPercent = 100;
    const std::shared_ptr<const TextTable> shared = grid;

    const Font regular = Font::system(baseSize);
    const Font bold = Font::boldSystem(baseSize);
    const int lastRow = int(table.rows.size());

    U16String text;
    std::vector<std::pair<Range, Attributes>> paragraphs;
    auto addRow = [&](const std::vector<U16String>& row, int gridRow) {
        for (int c = 0; c < columns; ++c) {
            auto block = std::make_shared<TextTableBlock>(shared, gridRow, 1, c, 1);
            block->borderColor = Color::separator();
            block->setWidth(1, TextTableBlock::Layer::Border, TextTableBlock::MinY);
            block->setWidth(1, TextTableBlock::Layer::Border, TextTableBlock::MinX);
            block->setWidth(c == columns - 1 ? 1 : 0, TextTableBlock::Layer::Border, TextTableBlock::MaxX);
            block->setWidth(gridRow == lastRow ? 1 : 0, TextTableBlock::Layer::Border, TextTableBlock::MaxY);
            block->setWidthAllEdges(MarkdownStyler::cellPadding(baseSize), TextTableBlock::Layer::Padding);
            if (gridRow == 0)
                block->backgroundColor = Color::text().withAlpha(0.05);

            auto style = std::make_shared<ParagraphStyle>();
            style->textBlocks = {block};
            style->alignment = size_t(c) < table.alignments.size() ? table.alignments[size_t(c)]
                                                                    : TextAlignment::Natural;
            const int start = int(text.size());
            if (size_t(c) < row.size())
                appendCellLines(text, row[size_t(c)]);
            text += lineFeed;
            paragraphs.push_back({Range::fromTo(start, int(text.size())),
                                  Attributes{{AttributeKey::Font, gridRow == 0 ? bold : regular},
                                             {AttributeKey::ParagraphStyle, ParagraphStylePtr(style)}}});
        }
    };
    addRow(table.header, 0);
    for (int r = 0; r < lastRow; ++r)
        addRow(table.rows[size_t(r)], r + 1);

    AttributedString result(std::move(text));
    for (const auto& [range, attributes] : paragraphs)
        result.setAttributes(attributes, range);
    return result;
}

} // namespace

AttributedString attributed(const PipeTable::Parsed& table, double baseSize, std::optional<U16String> source,
                            bool endsText)
{
    auto grid = std::make_shared<SourceTable>();
    grid->endedText = endsText;
    if (source) {
        grid->leader = U16String(leaderOf(*source));
        grid->canonical = withLeader(PipeTable::markdown(table), grid->leader);
        grid->rowEnd = TextOps::contains(*source, u"\r\n") ? u"\r\n" : u"\n";
        grid->lastRowEnd = lineEndAtEnd(*source);
        grid->source = std::move(source);
    }
    return gridOf(table, baseSize, std::move(grid));
}

AttributedString attributedReplacing(const PipeTable::Parsed& table, double baseSize, const TextTable* replaced)
{
    auto grid = std::make_shared<SourceTable>();
    if (const auto* typed = dynamic_cast<const SourceTable*>(replaced)) {
        grid->rowEnd = typed->rowEnd;
        grid->lastRowEnd = typed->lastRowEnd;
        grid->endsLikeRows = typed->endsLikeRows;
        grid->endedText = typed->endedText;
        grid->leader = typed->leader;
    }
    return gridOf(table, baseSize, std::move(grid));
}

AttributedString endingText(const AttributedString& grid, U16View lineEnd)
{
    const TextTableBlock* first = cellBlock(grid, 0);
    const auto* table = first ? dynamic_cast<const SourceTable*>(first->table().get()) : nullptr;
    if (!table)
        return grid;
    auto ending = std::make_shared<SourceTable>(*table);
    if (ending->source)
        *ending->source = ending->source->substr(0, ending->source->size() - ending->lastRowEnd.size()) + U16String(lineEnd);
    ending->lastRowEnd = U16String(lineEnd);
    ending->endedText = true;
    ending->endsLikeRows = false;
    const std::shared_ptr<const TextTable> shared = ending;
    // Each cell the same, of the new table.
    AttributedString out = grid;
    grid.enumerateAttribute(AttributeKey::ParagraphStyle, Range{0, grid.length()}, [&](const AttributeValue* value, Range run) {
        const auto* style = value ? std::get_if<ParagraphStylePtr>(value) : nullptr;
        const TextTableBlock* cell = style && *style ? (*style)->tableBlock() : nullptr;
        if (!cell)
            return;
        auto block = std::make_shared<TextTableBlock>(shared, cell->startingRow(), cell->rowSpan(), cell->startingColumn(),
                                                      cell->columnSpan());
        for (const auto layer : {TextTableBlock::Layer::Padding, TextTableBlock::Layer::Border, TextTableBlock::Layer::Margin})
            for (const auto edge : {TextTableBlock::MinX, TextTableBlock::MinY, TextTableBlock::MaxX, TextTableBlock::MaxY})
                block->setWidth(cell->width(layer, edge), layer, edge);
        block->backgroundColor = cell->backgroundColor;
        block->borderColor = cell->borderColor;
        auto copy = std::make_shared<ParagraphStyle>(**style);
        copy->textBlocks = {block};
        out.addAttribute(AttributeKey::ParagraphStyle, ParagraphStylePtr(copy), run);
    });
    return out;
}

U16String serialize(const AttributedString& text, std::vector<GridSpan>* spans, bool continues)
{
    const U16View s = text.string();
    const int n = int(s.size());
    // Written straight into one string: a long document's lines copied one by one
    // would leave the heap strewn with as much again in small blocks.
    U16String out;
    out.reserve(s.size());
    bool firstLine = true;
    auto line = [&](U16View markdown) {
        if (!firstLine)
            out += lineFeed;
        firstLine = false;
        out.append(markdown);
    };
    if (spans)
        spans->clear();
    PendingTable table;
    Range current;
    auto flush = [&](bool followed) {
        std::vector<U16String> grid;
        GridSpan rows;
        table.flush(grid, followed, spans ? &rows : nullptr);
        for (const U16String& markdown : grid) {
            line(markdown);
            if (spans) {
                rows.text = current;
                rows.markdown = Range{int(out.size() - markdown.size()), int(markdown.size())};
                spans->push_back(std::move(rows));
            }
        }
    };

    int pos = 0;
    while (true) {
        const int newline = TextOps::find(s, lineFeed, pos);
        const int stop = newline < 0 ? n : newline;
        const U16View paragraph = s.substr(size_t(pos), size_t(stop - pos));

        const ParagraphStyle* style = pos < n ? text.paragraphStyle(pos) : nullptr;
        const TextTableBlock* block = style ? style->tableBlock() : nullptr;
        if (!block && !continues && table.endedTextBare()) {
            // One empty line under a table that ended the text without a line end (left by text
            // typed under it and deleted again): the text ends with the table, as it did.
            const U16View rest = s.substr(size_t(pos));
            if (rest == u"\n" || rest == u"\r\n") {
                current = Range::fromTo(current.location, n);
                break;
            }
        }
        if (!block) {
            flush(true);
            line(paragraph);
        } else {
            if (!table.isCurrent(block->table().get())) {
                flush(true);
                table.start(block->table().get());
                current = Range{pos, 0};
            }
            table.addParagraph(*block, *style, paragraph, spans ? pos : -1);
            current = Range::fromTo(current.location, stop);
        }

        if (newline < 0)
            break;
        pos = newline + 1;
        if (pos >= n) {
            if (!table.active())
                line(U16View());
            else
                current = Range::fromTo(current.location, n);  // the grid's Markdown holds the final line feed
            break;
        }
    }
    flush(continues);
    return out;
}

U16String rowMarkdown(const AttributedString& text, Range paragraphs, int columns)
{
    const U16View s = text.string();
    PendingTable row;
    // Every line feed in the range parts two paragraphs: a cell's Return at its row's end leaves
    // an empty last paragraph starting where the range ends, which is a line break of that cell.
    for (int pos = paragraphs.location; pos < text.length();) {
        const int newline = TextOps::find(s, lineFeed, pos);
        const int stop = newline < 0 || newline > paragraphs.end() ? paragraphs.end() : newline;
        const ParagraphStyle* style = text.paragraphStyle(pos);
        if (const TextTableBlock* block = style ? style->tableBlock() : nullptr) {
            row.start(block->table().get());
            row.addParagraph(*block, *style, s.substr(size_t(pos), size_t(stop - pos)));
        }
        if (stop >= paragraphs.end())
            break;
        pos = stop + 1;
    }
    return row.onlyRow(columns);
}

const TextTableBlock* cellBlock(const AttributedString& text, int index)
{
    if (index < 0 || index >= text.length())
        return nullptr;
    const ParagraphStyle* style = text.paragraphStyle(index);
    return style ? style->tableBlock() : nullptr;
}

double cellContentWidth(const TextTableBlock& block, double gridWidth)
{
    const int columns = std::max(block.table() ? block.table()->numberOfColumns : 1, 1);
    using Layer = TextTableBlock::Layer;
    const double w = gridWidth / columns - block.width(Layer::Padding, TextTableBlock::MinX)
        - block.width(Layer::Padding, TextTableBlock::MaxX) - block.width(Layer::Border, TextTableBlock::MinX)
        - block.width(Layer::Border, TextTableBlock::MaxX);
    return std::max(w, 16.0);
}

} // namespace velkin::TableGrid
