#pragma once
// Attribute keys, values and dictionaries of attributed text.
#include "platform/attributed/Color.h"
#include "platform/attributed/Font.h"
#include "platform/attributed/ParagraphStyle.h"
#include "platform/text/Range.h"

#include <memory>
#include <utility>
#include <variant>
#include <vector>

namespace velkin {

enum class AttributeKey : unsigned char {
    Font,
    ForegroundColor,
    BackgroundColor,
    ParagraphStyle,
    Kern,
    BaselineOffset,
    Underline,      // int style, 1 = single
    Strikethrough,  // int style, 1 = single
    Link,           // the address as text
    // Velkin's own keys: decorations the layout draws over unchanged text.
    AlertBlock,
    AlertIcon,
    CollapsedImage,
    TaskCheckbox,
    ColorSwatch,
    EmojiShortcode,
    HardBreak,
    FootnoteReference,   // the label
    FootnoteDefinition,  // the label
    CodeBlockFill,       // true over code block text
    Count
};
static_assert(unsigned(AttributeKey::Count) <= 32, "a dictionary marks its keys in 32 bits");

// The key's raw name ("velkinAlertBlock", ...; standard keys have their usual names).
const char* attributeKeyName(AttributeKey key);

// An immutable decoration value. Markers compare by identity: two fresh
// markers with equal fields are still two values. One that stands for a value
// wherever it is made (an alert panel's kind) says so, and then compares and
// hashes by its fields: a panel restyled in parts is still one panel.
class Marker {
public:
    virtual ~Marker() = default;
    virtual bool comparesByValue() const { return false; }
    // For one that compares by value: whether `other` holds the same.
    virtual bool sameFields(const Marker&) const { return false; }
    virtual size_t fieldHash() const { return 0; }
};

using MarkerPtr = std::shared_ptr<const Marker>;

// By identity, or by fields where the markers compare by value.
bool markersEqual(const MarkerPtr& a, const MarkerPtr& b);

std::shared_ptr<const Color> sharedValue(const Color& value);
std::shared_ptr<const U16String> sharedValue(const U16String& value);

// A colour or a text held once and shared by every dictionary that copies it:
// held in place they would make each dictionary entry five times the size, and
// a long document keeps a dictionary per link address. Compares by value.
template <class T> class SharedValue {
public:
    SharedValue(const T& value) : value_(sharedValue(value)) {}
    const T& operator*() const { return *value_; }
    const T* get() const { return value_.get(); }
    bool operator==(const SharedValue& other) const { return value_ == other.value_ || *value_ == *other.value_; }

private:
    std::shared_ptr<const T> value_;
};

using AttributeValue = std::variant<std::monostate, Font, SharedValue<Color>, ParagraphStylePtr, double, int, bool,
                                    SharedValue<U16String>, MarkerPtr>;

// Equality as attributed text compares values: paragraph styles by value, markers by markersEqual().
bool attributeValuesEqual(const AttributeValue& a, const AttributeValue& b);

// A small sorted dictionary from key to value.
class Attributes {
public:
    Attributes() = default;
    Attributes(std::initializer_list<std::pair<AttributeKey, AttributeValue>> entries);

    const AttributeValue* get(AttributeKey key) const;
    bool has(AttributeKey key) const { return get(key) != nullptr; }
    void set(AttributeKey key, AttributeValue value);
    void remove(AttributeKey key);
    bool empty() const { return entries_.empty(); }
    size_t size() const { return entries_.size(); }
    const std::vector<std::pair<AttributeKey, AttributeValue>>& entries() const { return entries_; }

    // Typed reads: nothing when the key is absent or holds another type.
    const Font* font() const { return getAs<Font>(AttributeKey::Font); }
    const Color* color(AttributeKey key) const
    {
        const SharedValue<Color>* c = getAs<SharedValue<Color>>(key);
        return c ? c->get() : nullptr;
    }
    const ParagraphStyle* paragraphStyle() const;
    std::optional<double> number(AttributeKey key) const;
    const U16String* string(AttributeKey key) const
    {
        const SharedValue<U16String>* s = getAs<SharedValue<U16String>>(key);
        return s ? s->get() : nullptr;
    }
    template <class M> std::shared_ptr<const M> marker(AttributeKey key) const
    {
        if (const MarkerPtr* m = getAs<MarkerPtr>(key))
            return std::dynamic_pointer_cast<const M>(*m);
        return nullptr;
    }
    template <class T> const T* getAs(AttributeKey key) const
    {
        const AttributeValue* v = get(key);
        return v ? std::get_if<T>(v) : nullptr;
    }

    bool operator==(const Attributes& other) const;

private:
    static unsigned bit(AttributeKey key) { return 1u << unsigned(key); }

    std::vector<std::pair<AttributeKey, AttributeValue>> entries_;
    unsigned keys_ = 0;  // one bit per key held: most reads ask for a key that is absent
};

using AttributesPtr = std::shared_ptr<const Attributes>;

// The one live dictionary equal to `attributes`: a long text styled span by span
// holds a few hundred distinct dictionaries over hundreds of thousands of runs,
// so equal ones are kept once. The empty dictionary is one value too.
AttributesPtr internedAttributes(Attributes attributes);

} // namespace velkin
