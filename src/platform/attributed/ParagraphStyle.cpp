#include "platform/attributed/ParagraphStyle.h"

namespace velkin {

const TextTableBlock* ParagraphStyle::tableBlock() const
{
    for (const auto& block : textBlocks)
        if (auto table = dynamic_cast<const TextTableBlock*>(block.get()))
            return table;
    return nullptr;
}

std::vector<TabStop> ParagraphStyle::defaultTabStops()
{
    std::vector<TabStop> stops;
    for (int i = 1; i <= 12; ++i)
        stops.push_back({28.0 * i, TextAlignment::Left});
    return stops;
}

namespace {

const std::shared_ptr<const std::vector<TabStop>>& sharedDefaultStops()
{
    static const auto stops = std::make_shared<const std::vector<TabStop>>(ParagraphStyle::defaultTabStops());
    return stops;
}

} // namespace

TabStops::TabStops() : stops_(sharedDefaultStops()) {}

TabStops::TabStops(std::vector<TabStop> stops) : stops_(std::make_shared<const std::vector<TabStop>>(std::move(stops))) {}

bool TabStops::isDefault() const
{
    return stops_ == sharedDefaultStops();
}

const std::shared_ptr<const ParagraphStyle>& ParagraphStyle::defaultStyle()
{
    static const std::shared_ptr<const ParagraphStyle> style = std::make_shared<const ParagraphStyle>();
    return style;
}

} // namespace velkin
