#pragma once
// Paragraph layout settings, and the text blocks that make paragraphs into table cells.
#include "platform/attributed/Color.h"

#include <array>
#include <memory>
#include <optional>
#include <vector>

namespace velkin {

enum class TextAlignment { Left, Right, Center, Justified, Natural };

struct TabStop {
    double location = 0;
    TextAlignment alignment = TextAlignment::Left;
    bool operator==(const TabStop&) const = default;
};

// The tab stops of a paragraph style. Every style that keeps the default
// twelve shares one list of them: a long table has a style for every cell.
class TabStops {
public:
    // The default twelve, 28 points apart.
    TabStops();
    TabStops(std::vector<TabStop> stops);

    std::vector<TabStop>::const_iterator begin() const { return stops_->begin(); }
    std::vector<TabStop>::const_iterator end() const { return stops_->end(); }
    size_t size() const { return stops_->size(); }
    // Whether these are the shared default stops.
    bool isDefault() const;

    bool operator==(const TabStops& other) const { return stops_ == other.stops_ || *stops_ == *other.stops_; }

private:
    std::shared_ptr<const std::vector<TabStop>> stops_;
};

// A block that a paragraph's text is laid out in. Blocks compare by identity.
class TextBlock {
public:
    virtual ~TextBlock() = default;
};

// A table whose cells are paragraphs of the text. Tables compare by identity.
class TextTable {
public:
    virtual ~TextTable() = default;
    int numberOfColumns = 0;
    double contentWidthPercent = 100;  // of the text container's width
};

class TextTableBlock : public TextBlock {
public:
    enum Edge { MinX = 0, MinY = 1, MaxX = 2, MaxY = 3 };
    enum class Layer { Padding, Border, Margin };

    TextTableBlock(std::shared_ptr<const TextTable> table, int startingRow, int rowSpan, int startingColumn,
                   int columnSpan)
        : table_(std::move(table)), startingRow_(startingRow), rowSpan_(rowSpan), startingColumn_(startingColumn),
          columnSpan_(columnSpan)
    {
    }

    const std::shared_ptr<const TextTable>& table() const { return table_; }
    int startingRow() const { return startingRow_; }
    int rowSpan() const { return rowSpan_; }
    int startingColumn() const { return startingColumn_; }
    int columnSpan() const { return columnSpan_; }

    double width(Layer layer, Edge edge) const { return widths_[size_t(layer)][size_t(edge)]; }
    void setWidth(double w, Layer layer, Edge edge) { widths_[size_t(layer)][size_t(edge)] = w; }
    void setWidthAllEdges(double w, Layer layer) { widths_[size_t(layer)].fill(w); }

    std::optional<Color> backgroundColor;
    Color borderColor = Color::separator();

private:
    std::shared_ptr<const TextTable> table_;
    int startingRow_, rowSpan_, startingColumn_, columnSpan_;
    std::array<std::array<double, 4>, 3> widths_{};
};

struct ParagraphStyle {
    TextAlignment alignment = TextAlignment::Natural;
    double lineSpacing = 0;
    double paragraphSpacing = 0;
    double paragraphSpacingBefore = 0;
    double headIndent = 0;
    double firstLineHeadIndent = 0;
    double tailIndent = 0;
    double minimumLineHeight = 0;
    double maximumLineHeight = 0;
    double lineHeightMultiple = 0;
    double defaultTabInterval = 0;
    TabStops tabStops;
    std::vector<std::shared_ptr<const TextBlock>> textBlocks;

    // The first table cell block among the text blocks, if any.
    const TextTableBlock* tableBlock() const;
    // Twelve left stops 28 points apart, as a new paragraph style has.
    static std::vector<TabStop> defaultTabStops();
    // The shared default style.
    static const std::shared_ptr<const ParagraphStyle>& defaultStyle();

    // Values compare by value; text blocks by identity.
    bool operator==(const ParagraphStyle&) const = default;
};

using ParagraphStylePtr = std::shared_ptr<const ParagraphStyle>;

} // namespace velkin
