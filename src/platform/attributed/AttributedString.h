#pragma once
// UTF-16 text with attribute runs. Runs sit in one flat array sorted by start,
// with a gap where the last change was: finding a run is a binary search,
// inserting or removing runs costs the distance from the last change (a pass
// from start to end costs one walk in all), and an edit moves the later runs'
// starts in one tight pass over plain integers. Equal neighbouring runs merge.
#include "platform/attributed/Attributes.h"

#include <functional>
#include <utility>
#include <vector>

namespace velkin {

class AttributedString {
public:
    AttributedString() = default;
    explicit AttributedString(U16String text, const Attributes& attributes = {});
    AttributedString(const AttributedString&) = default;
    AttributedString& operator=(const AttributedString&) = default;
    AttributedString(AttributedString&&) noexcept = default;
    AttributedString& operator=(AttributedString&&) noexcept = default;
    virtual ~AttributedString() = default;

    const U16String& string() const { return text_; }
    int length() const { return int(text_.size()); }

    // Attributes of the character at `index` (0 <= index < length); `effective`
    // receives the stored run around it.
    const Attributes& attributes(int index, Range* effective = nullptr) const;
    // The same dictionary as shared by the stored run (the empty one outside the text).
    const AttributesPtr& sharedAttributes(int index, Range* effective = nullptr) const;
    // One attribute at `index`, or nothing; `effective` receives the run as stored.
    const AttributeValue* attribute(AttributeKey key, int index, Range* effective = nullptr) const;
    // The same, with the longest range around `index` inside `limit` over which the value is equal.
    const AttributeValue* attribute(AttributeKey key, int index, Range* longestEffective, Range limit) const;

    template <class M> std::shared_ptr<const M> marker(AttributeKey key, int index) const
    {
        if (index < 0 || index >= length())
            return nullptr;
        return attributes(index).marker<M>(key);
    }
    const Font* font(int index) const;
    const ParagraphStyle* paragraphStyle(int index) const;

    // Calls `visit` for each stored run inside `range` with the key's value there (null when absent).
    // With `longestEffective`, neighbouring runs of equal value are reported as one.
    void enumerateAttribute(AttributeKey key, Range range,
                            const std::function<void(const AttributeValue* value, Range run)>& visit,
                            bool longestEffective = false) const;
    // Calls `visit` for each stored run inside `range`.
    void enumerateRuns(Range range, const std::function<void(const Attributes&, Range)>& visit) const;

    AttributedString attributedSubstring(Range range) const;

    void setAttributes(const Attributes& attributes, Range range);
    // The same, sharing the dictionary.
    void setAttributes(const AttributesPtr& attributes, Range range);
    void addAttribute(AttributeKey key, AttributeValue value, Range range);
    void addAttributes(const Attributes& attributes, Range range);
    void removeAttribute(AttributeKey key, Range range);

    // New characters take the attributes of the first replaced character, or
    // of the character before the range, or of the one after it.
    void replaceCharacters(Range range, U16View text);
    void replaceCharacters(Range range, const AttributedString& text);
    void deleteCharacters(Range range) { replaceCharacters(range, U16View()); }
    void insert(int index, const AttributedString& text) { replaceCharacters({index, 0}, text); }
    void append(const AttributedString& text) { replaceCharacters({length(), 0}, text); }
    void append(U16View text, const Attributes& attributes);

    int runCount() const { return int(runs_.size()); }
    // Lets go of the room kept for later changes, for text that stays as it is (a page's).
    void releaseSpareRoom();
    bool operator==(const AttributedString& other) const;

protected:
    // Told after every change: whether characters changed, the changed range in
    // the new text and the change in length.
    virtual void edited(bool charactersChanged, Range range, int delta);

private:
    struct Run {
        int start;
        AttributesPtr attributes;
    };
    // A sorted array with a movable gap, indexed as if it had none.
    class RunArray {
    public:
        RunArray() = default;
        RunArray(const RunArray&) = default;
        RunArray& operator=(const RunArray&) = default;
        // The moved-from array is left empty, gap and all.
        RunArray(RunArray&& other) noexcept
            : runs_(std::move(other.runs_)), gapAt_(std::exchange(other.gapAt_, 0)), gap_(std::exchange(other.gap_, 0))
        {
            other.runs_.clear();
        }
        RunArray& operator=(RunArray&& other) noexcept
        {
            runs_ = std::move(other.runs_);
            gapAt_ = std::exchange(other.gapAt_, 0);
            gap_ = std::exchange(other.gap_, 0);
            other.runs_.clear();
            return *this;
        }
        size_t size() const { return runs_.size() - gap_; }
        bool empty() const { return size() == 0; }
        Run& operator[](size_t i) { return runs_[i < gapAt_ ? i : i + gap_]; }
        const Run& operator[](size_t i) const { return runs_[i < gapAt_ ? i : i + gap_]; }
        Run& front() { return (*this)[0]; }
        void clear() { runs_.clear(), gapAt_ = gap_ = 0; }
        void push_back(Run run) { insert(size(), std::move(run)); }
        void insert(size_t at, Run run);
        // Removes [from, to).
        void erase(size_t from, size_t to);
        // Moves the starts of the runs from `from` on by `delta`.
        void shiftStarts(size_t from, int delta);
        void shrinkToFit();

    private:
        void moveGap(size_t at);
        std::vector<Run> runs_;
        size_t gapAt_ = 0;  // logical index the gap stands before
        size_t gap_ = 0;    // its length
    };

    Range clamp(Range range) const;
    int runEnd(size_t i) const;
    // The run holding `index` (runs must not be empty).
    size_t runAt(int index) const;
    // The first run starting at or after `index`.
    size_t firstRunFrom(int index) const;
    void splitAt(int index);
    void shiftRuns(int from, int delta);
    void mergeRuns(int from, int to);
    template <class F> void modifyRuns(Range range, F transform);

    U16String text_;
    RunArray runs_;  // sorted by start; covers [0, length) without gaps
};

// Raises the minimum line height to at least `height` over `range`, each
// paragraph-style run keeping everything else of its own style (a grid cell
// keeps its cell). Runs without a paragraph style are left alone.
void raiseMinimumLineHeight(AttributedString& text, Range range, double height);

} // namespace velkin
