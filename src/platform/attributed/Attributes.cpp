#include "platform/attributed/Attributes.h"

#include <algorithm>
#include <bit>

namespace velkin {

const char* attributeKeyName(AttributeKey key)
{
    switch (key) {
    case AttributeKey::Font: return "font";
    case AttributeKey::ForegroundColor: return "foregroundColor";
    case AttributeKey::BackgroundColor: return "backgroundColor";
    case AttributeKey::ParagraphStyle: return "paragraphStyle";
    case AttributeKey::Kern: return "kern";
    case AttributeKey::BaselineOffset: return "baselineOffset";
    case AttributeKey::Underline: return "underline";
    case AttributeKey::Strikethrough: return "strikethrough";
    case AttributeKey::Link: return "link";
    case AttributeKey::AlertBlock: return "velkinAlertBlock";
    case AttributeKey::AlertIcon: return "velkinAlertIcon";
    case AttributeKey::CollapsedImage: return "velkinCollapsedImage";
    case AttributeKey::TaskCheckbox: return "velkinTaskCheckbox";
    case AttributeKey::ColorSwatch: return "velkinColorSwatch";
    case AttributeKey::EmojiShortcode: return "velkinEmojiShortcode";
    case AttributeKey::HardBreak: return "velkinHardBreak";
    case AttributeKey::FootnoteReference: return "velkinFootnoteReference";
    case AttributeKey::FootnoteDefinition: return "velkinFootnoteDefinition";
    case AttributeKey::CodeBlockFill: return "velkinCodeBlockFill";
    case AttributeKey::Count: break;
    }
    return "";
}

bool attributeValuesEqual(const AttributeValue& a, const AttributeValue& b)
{
    if (a.index() != b.index())
        return false;
    if (auto pa = std::get_if<ParagraphStylePtr>(&a)) {
        const auto& pb = std::get<ParagraphStylePtr>(b);
        if (*pa == pb)
            return true;
        return *pa && pb && **pa == *pb;
    }
    return a == b;
}

Attributes::Attributes(std::initializer_list<std::pair<AttributeKey, AttributeValue>> entries)
{
    for (const auto& [key, value] : entries)
        set(key, value);
}

const AttributeValue* Attributes::get(AttributeKey key) const
{
    if (!(keys_ & bit(key)))
        return nullptr;
    // Entries are sorted by key, one each: the keys below this one count its place.
    return &entries_[size_t(std::popcount(keys_ & (bit(key) - 1)))].second;
}

void Attributes::set(AttributeKey key, AttributeValue value)
{
    auto it = std::lower_bound(entries_.begin(), entries_.end(), key,
                               [](const auto& e, AttributeKey k) { return e.first < k; });
    if (it != entries_.end() && it->first == key)
        it->second = std::move(value);
    else
        entries_.insert(it, {key, std::move(value)});
    keys_ |= bit(key);
}

void Attributes::remove(AttributeKey key)
{
    if (!(keys_ & bit(key)))
        return;
    entries_.erase(std::remove_if(entries_.begin(), entries_.end(), [&](const auto& e) { return e.first == key; }),
                   entries_.end());
    keys_ &= ~bit(key);
}

const ParagraphStyle* Attributes::paragraphStyle() const
{
    const ParagraphStylePtr* p = getAs<ParagraphStylePtr>(AttributeKey::ParagraphStyle);
    return p ? p->get() : nullptr;
}

std::optional<double> Attributes::number(AttributeKey key) const
{
    const AttributeValue* v = get(key);
    if (!v)
        return std::nullopt;
    if (auto d = std::get_if<double>(v))
        return *d;
    if (auto i = std::get_if<int>(v))
        return double(*i);
    if (auto b = std::get_if<bool>(v))
        return *b ? 1.0 : 0.0;
    return std::nullopt;
}

bool Attributes::operator==(const Attributes& other) const
{
    if (keys_ != other.keys_)
        return false;
    for (size_t i = 0; i < entries_.size(); ++i)
        if (entries_[i].first != other.entries_[i].first
            || !attributeValuesEqual(entries_[i].second, other.entries_[i].second))
            return false;
    return true;
}

} // namespace velkin
