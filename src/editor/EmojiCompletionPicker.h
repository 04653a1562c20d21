#pragma once
// The small floating list of emoji shortcodes offered while a name is typed:
// a frameless panel attached to the document window, under the caret, whose
// rows show the emoji and its name between colons. It never takes the focus:
// the text view steers it with the keys it receives.
#include "markdown/EmojiShortcode.h"

#include <QPointer>
#include <QRect>

#include <functional>
#include <memory>
#include <vector>

class QListWidget;
class QWidget;

namespace velkin {

class EmojiCompletionPicker {
public:
    // Panel and row sizes, in points.
    static constexpr int width = 260;
    static constexpr int columnWidth = 252;
    static constexpr int rowHeight = 24;
    static constexpr int visibleRows = 8;
    static constexpr int limit = 60;

    EmojiCompletionPicker();
    ~EmojiCompletionPicker();
    EmojiCompletionPicker(const EmojiCompletionPicker&) = delete;
    EmojiCompletionPicker& operator=(const EmojiCompletionPicker&) = delete;

    // Called with the chosen name, after the list has been hidden.
    std::function<void(const U16String& name)> onChoose;

    // The rows on show; empty while hidden.
    const std::vector<EmojiShortcode::Candidate>& matches() const { return matches_; }

    // Shows the candidates for a query under a rectangle (global coordinates) in a
    // window; false, and hidden, when there is no window or nothing matches.
    bool show(U16View query, const QRect& under, QWidget* window);
    void hide();
    // Moves the highlighted row by an offset, stopping at the first and last rows.
    void moveSelection(int offset);
    // Hands the highlighted row's name to onChoose; nothing without one.
    void chooseSelected();
    // Whether the highlight was moved by moveSelection() since the rows were last made anew.
    bool steered() const { return steered_; }

    bool isVisible() const;
    int selectedRow() const;
    QWidget* panel() const;
    QListWidget* table() const { return table_; }

    // The panel's frame for a height under the caret rectangle `caret` (global
    // coordinates, y down): 3 points below it, or above it when it would leave the
    // visible screen at the bottom, and kept inside the screen horizontally.
    static QRect frame(int height, const QRect& caret);
    // The frame's rule against one screen's visible area.
    static QRect frame(int height, const QRect& caret, const std::optional<QRect>& visible);

private:
    void build();
    void select(int row);

    std::vector<EmojiShortcode::Candidate> matches_;
    QPointer<QWidget> panel_;
    QListWidget* table_ = nullptr;
    bool steered_ = false;
};

} // namespace velkin
