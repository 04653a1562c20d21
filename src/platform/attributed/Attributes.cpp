#include "platform/attributed/Attributes.h"

#include <algorithm>
#include <array>
#include <bit>
#include <functional>
#include <mutex>
#include <unordered_map>

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

std::shared_ptr<const Color> sharedValue(const Color& value)
{
    // Styling sets the same few colours run after run: the last ones made are
    // handed out again rather than held once per dictionary.
    static std::mutex mutex;
    static std::array<std::shared_ptr<const Color>, 8> recent;
    static size_t next = 0;
    const std::lock_guard lock(mutex);
    for (const auto& c : recent)
        if (c && *c == value)
            return c;
    auto made = std::make_shared<const Color>(value);
    recent[next] = made;
    next = (next + 1) % recent.size();
    return made;
}

std::shared_ptr<const U16String> sharedValue(const U16String& value)
{
    // A copy, made to its size.
    return std::make_shared<const U16String>(value);
}

bool markersEqual(const MarkerPtr& a, const MarkerPtr& b)
{
    return a == b || (a && b && a->comparesByValue() && a->sameFields(*b));
}

bool attributeValuesEqual(const AttributeValue& a, const AttributeValue& b)
{
    if (a.index() != b.index())
        return false;
    if (auto ma = std::get_if<MarkerPtr>(&a))
        return markersEqual(*ma, std::get<MarkerPtr>(b));
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

namespace {

void mix(size_t& seed, size_t value)
{
    seed ^= value + 0x9e3779b97f4a7c15ULL + (seed << 6) + (seed >> 2);
}

size_t hashOf(double value) { return std::hash<double>()(value); }

void mixColor(size_t& seed, const Color& c)
{
    mix(seed, size_t(c.roleKind()));
    Color::RGBA rgba;
    if (c.fixedComponents(rgba)) {
        mix(seed, hashOf(rgba.red));
        mix(seed, hashOf(rgba.green));
        mix(seed, hashOf(rgba.blue));
        mix(seed, hashOf(rgba.alpha));
    }
}

// Consistent with attributeValuesEqual: paragraph styles by a few of their values.
size_t hashOf(const AttributeValue& value)
{
    size_t seed = value.index();
    std::visit([&](const auto& v) {
        using T = std::decay_t<decltype(v)>;
        if constexpr (std::is_same_v<T, Font>) {
            mix(seed, size_t(v.family) | size_t(v.bold) << 8 | size_t(v.italic) << 9);
            mix(seed, hashOf(v.pointSize));
        } else if constexpr (std::is_same_v<T, SharedValue<Color>>) {
            mixColor(seed, *v);
        } else if constexpr (std::is_same_v<T, ParagraphStylePtr>) {
            if (v) {
                mix(seed, hashOf(v->headIndent));
                mix(seed, hashOf(v->firstLineHeadIndent));
                mix(seed, hashOf(v->paragraphSpacing));
                mix(seed, hashOf(v->minimumLineHeight));
                for (const auto& block : v->textBlocks)
                    mix(seed, std::hash<const void*>()(block.get()));
            }
        } else if constexpr (std::is_same_v<T, double>) {
            mix(seed, hashOf(v));
        } else if constexpr (std::is_same_v<T, int> || std::is_same_v<T, bool>) {
            mix(seed, size_t(v));
        } else if constexpr (std::is_same_v<T, SharedValue<U16String>>) {
            mix(seed, std::hash<U16String>()(*v));
        } else if constexpr (std::is_same_v<T, MarkerPtr>) {
            mix(seed, v && v->comparesByValue() ? v->fieldHash() : std::hash<const void*>()(v.get()));
        }
    }, value);
    return seed;
}

struct DictionaryHash {
    size_t operator()(const Attributes* a) const
    {
        size_t seed = a->size();
        for (const auto& [key, value] : a->entries()) {
            mix(seed, size_t(key));
            mix(seed, hashOf(value));
        }
        return seed;
    }
};

struct DictionaryEqual {
    bool operator()(const Attributes* a, const Attributes* b) const { return *a == *b; }
};

// Live dictionaries by value. Each leaves the pool as its last holder lets it go;
// the pool itself is never destroyed, as dictionaries may outlive static destruction.
struct DictionaryPool {
    std::mutex mutex;
    std::unordered_map<const Attributes*, std::weak_ptr<const Attributes>, DictionaryHash, DictionaryEqual> live;
};

DictionaryPool& dictionaryPool()
{
    static DictionaryPool* pool = new DictionaryPool;
    return *pool;
}

void releaseDictionary(const Attributes* a)
{
    {
        DictionaryPool& pool = dictionaryPool();
        const std::lock_guard lock(pool.mutex);
        auto it = pool.live.find(a);
        if (it != pool.live.end() && it->first == a)
            pool.live.erase(it);
    }
    delete a;
}

} // namespace

AttributesPtr internedAttributes(Attributes attributes)
{
    DictionaryPool& pool = dictionaryPool();
    const std::lock_guard lock(pool.mutex);
    auto it = pool.live.find(&attributes);
    if (it != pool.live.end()) {
        if (AttributesPtr found = it->second.lock())
            return found;
        pool.live.erase(it);  // on its way out in another thread
    }
    // A copy, not a move: built key by key, the entries (and a link's address)
    // carry spare room, and a long document keeps one dictionary per address.
    AttributesPtr made(new Attributes(attributes), releaseDictionary);
    pool.live.emplace(made.get(), made);
    return made;
}

} // namespace velkin
