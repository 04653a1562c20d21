#pragma once
// One help page in the help window: its Markdown styled and decorated as the
// editor does it, then with the decorative syntax removed, in a read-only text
// view that keeps its text in a centred column, hands clicked links to a
// callback, scrolls to an anchor one event-loop turn after it is asked to, and
// answers the Find menu with its own find bar.
#include "help/HelpPage.h"
#include "platform/view/TextView.h"

#include <QWidget>

#include <filesystem>
#include <functional>
#include <optional>

namespace velkin {

// The page's text view: a column at most 720 points wide, margins of at least
// 28 points, and the pointing hand over links.
class HelpTextView : public TextView {
public:
    static constexpr double columnWidth = 720;
    static constexpr double minimumMargin = 28;
    static constexpr double verticalInset = 28;

    explicit HelpTextView(QWidget* parent = nullptr);

    // The horizontal inset of a view `width` points wide.
    static double horizontalInset(double width);
    // Sets the column for a view `width` points wide; an inset that would move by
    // half a point or less is left as it is.
    void applyColumn(double width);

protected:
    void resizeEvent(QResizeEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
};

class HelpPageView : public QWidget, public TextViewDelegate {
public:
    // Called with the target of every clicked link; true when it was handled.
    using LinkHandler = std::function<bool(const U16String& target)>;

    static constexpr double baseSize = 14;
    static constexpr double checkboxSize = 13;
    static constexpr double availableImageWidth = 712;

    HelpPageView(const HelpPage& page, std::optional<U16String> anchor, std::optional<std::filesystem::path> baseURL,
                 LinkHandler onFollowLink, QWidget* parent = nullptr);
    ~HelpPageView() override;

    // The host's newest description of the same page: the anchor to show and the
    // link callback. Renders again only when the page was not rendered; scrolls
    // only when the destination changed.
    void update(std::optional<U16String> anchor, LinkHandler onFollowLink);

    const U16String& pageID() const { return page_.id; }
    HelpTextView* textView() const { return textView_; }
    const std::optional<U16String>& renderedPageID() const { return renderedPageID_; }

    // The page's text as shown: styled, decorated, its syntax removed.
    static TextStorage renderedText(const HelpPage& page, const std::optional<std::filesystem::path>& baseURL);
    // Scrolls so that the heading's own line starts 12 points below the top of
    // the visible area (as far as the text allows); false when no line of the
    // text is exactly the heading's title.
    static bool scrollToTop(TextView& view, const HelpHeading& heading);

    bool textViewClickedOnLink(TextView& view, const U16String& link, int index) override;

private:
    void render();
    void scroll(const std::optional<U16String>& anchor);

    HelpPage page_;
    std::optional<U16String> anchor_;
    std::optional<std::filesystem::path> baseURL_;
    LinkHandler onFollowLink_;
    std::optional<U16String> renderedPageID_;
    std::optional<U16String> appliedDestination_;
    HelpTextView* textView_ = nullptr;
};

} // namespace velkin
