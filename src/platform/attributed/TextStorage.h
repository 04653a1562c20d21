#pragma once
// The attributed text a view, a page image or a check works on, telling its
// observers (the layout) what changed. Changes inside beginEditing() /
// endEditing() are reported once, as one edit.
#include "platform/attributed/AttributedString.h"

#include <functional>
#include <vector>

namespace velkin {

class TextStorage : public AttributedString {
public:
    struct Edit {
        bool charactersChanged = false;
        Range range;     // the changed range in the new text
        int delta = 0;   // change in length
    };
    using Observer = std::function<void(const Edit&)>;

    TextStorage() = default;
    explicit TextStorage(U16String text, const Attributes& attributes = {}) : AttributedString(std::move(text), attributes) {}
    explicit TextStorage(const AttributedString& text) : AttributedString(text) {}

    int addObserver(Observer observer);
    void removeObserver(int token);

    void beginEditing() { ++editing_; }
    void endEditing();

protected:
    void edited(bool charactersChanged, Range range, int delta) override;

private:
    void notify(const Edit& edit);

    int editing_ = 0;
    bool pending_ = false;
    Edit batch_;
    int nextToken_ = 1;
    std::vector<std::pair<int, Observer>> observers_;
};

} // namespace velkin
