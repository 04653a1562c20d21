#include "help/view/HelpPageView.h"

#include "document/CodeBlockLayoutManager.h"
#include "document/PreviewRenderer.h"
#include "help/HelpMarkup.h"
#include "help/HelpStrings.h"
#include "markdown/ProseLines.h"
#include "markdown/TableGrid.h"
#include "platform/text/CharacterClass.h"
#include "platform/text/Lines.h"
#include "platform/text/QtString.h"
#include "platform/text/TextOps.h"

#include <QMouseEvent>
#include <QPointer>
#include <QScrollBar>
#include <QTimer>
#include <QVBoxLayout>

#include <algorithm>
#include <cmath>

namespace velkin {

namespace fs = std::filesystem;

// ---- HelpTextView ----

HelpTextView::HelpTextView(QWidget* parent) : TextView(parent)
{
    viewport()->setMouseTracking(true);
}

double HelpTextView::horizontalInset(double width)
{
    return std::max((width - columnWidth) / 2, minimumMargin);
}

void HelpTextView::applyColumn(double width)
{
    const double inset = horizontalInset(width);
    if (std::abs(textContainerInset().width() - inset) > 0.5)
        setTextContainerInset(QSizeF(inset, verticalInset));
}

void HelpTextView::resizeEvent(QResizeEvent* event)
{
    TextView::resizeEvent(event);
    applyColumn(viewport()->width());
}

void HelpTextView::mouseMoveEvent(QMouseEvent* event)
{
    // Links keep the look the styler gave them; only the pointer changes over them.
    const int index = glyphCharacterIndex(event->position());
    const bool overLink = index >= 0 && textStorage()->attributes(index).string(AttributeKey::Link);
    viewport()->setCursor(overLink ? Qt::PointingHandCursor : Qt::IBeamCursor);
    TextView::mouseMoveEvent(event);
}

// ---- HelpPageView ----

HelpPageView::HelpPageView(const HelpPage& page, std::optional<U16String> anchor, std::optional<fs::path> baseURL,
                           LinkHandler onFollowLink, QWidget* parent)
    : QWidget(parent), page_(page), anchor_(std::move(anchor)), baseURL_(std::move(baseURL)),
      onFollowLink_(std::move(onFollowLink))
{
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    textView_ = new HelpTextView(this);
    textView_->setObjectName(QStringLiteral("helpPage"));
    // Code cards, alert panels, checkboxes, emoji and pictures are drawn as in the editor.
    textView_->replaceLayoutManager(std::make_unique<CodeBlockLayoutManager>());
    textView_->setEditable(false);
    textView_->setSelectable(true);
    textView_->setDrawsBackground(true);
    textView_->setBackgroundColor(Color::role(Color::Role::TextBackground));
    textView_->setLineFragmentPadding(4);
    textView_->setUsesFindBar(true);
    textView_->setAccessibleName(toQString(HelpStrings::text(HelpStrings::pageAccessibilityLabel)));
    textView_->setDelegate(this);
    layout->addWidget(textView_);
    setFocusProxy(textView_);
    render();
    scroll(anchor_);
}

HelpPageView::~HelpPageView()
{
    textView_->setDelegate(nullptr);
}

void HelpPageView::update(std::optional<U16String> anchor, LinkHandler onFollowLink)
{
    anchor_ = std::move(anchor);
    onFollowLink_ = std::move(onFollowLink);
    if (!renderedPageID_ || *renderedPageID_ != page_.id)
        render();
    scroll(anchor_);
}

TextStorage HelpPageView::renderedText(const HelpPage& page, const std::optional<fs::path>& baseURL)
{
    TextStorage storage = TableGrid::render(page.markdown, baseSize);
    std::optional<Url> base;
    if (baseURL)
        base = Url::fileURL(baseURL->string(), true);
    {
        // Collapsing changes attributes only: one classification of the lines serves all three.
        const ProseLines lines(storage);
        PreviewRenderer::collapseAllImages(storage, base, availableImageWidth, &lines);
        PreviewRenderer::collapseAllTasks(storage, checkboxSize, &lines);
        PreviewRenderer::collapseAllShortcodes(storage, &lines);
    }
    HelpMarkup::stripDecorativeSyntax(storage);
    return storage;
}

void HelpPageView::render()
{
    const TextStorage rendered = renderedText(page_, baseURL_);
    TextStorage& storage = *textView_->textStorage();
    storage.beginEditing();
    storage.replaceCharacters(Range{0, storage.length()}, rendered);
    storage.endEditing();
    textView_->setSelectedRange({0, 0});
    textView_->layoutDocument();
    renderedPageID_ = page_.id;
    appliedDestination_.reset();
}

void HelpPageView::scroll(const std::optional<U16String>& anchor)
{
    U16String key = page_.id + u"#" + anchor.value_or(U16String());
    if (appliedDestination_ && *appliedDestination_ == key)
        return;
    appliedDestination_ = std::move(key);
    // After the current update and its layout.
    QPointer<HelpTextView> view = textView_;
    QTimer::singleShot(0, this, [view, anchor, page = page_] {
        if (!view)
            return;
        if (anchor)
            if (const HelpHeading* heading = page.heading(*anchor)) {
                scrollToTop(*view, *heading);
                return;
            }
        view->layoutDocument();
        view->verticalScrollBar()->setValue(0);
    });
}

bool HelpPageView::scrollToTop(TextView& view, const HelpHeading& heading)
{
    const U16String& text = view.string();
    if (text.empty() || heading.title.empty())
        return false;
    int from = 0;
    while (true) {
        const int found = TextOps::find(text, heading.title, from);
        if (found < 0)
            return false;
        const Range line = lineContentRange(text, found);
        if (trimmed(U16View(text).substr(size_t(line.location), size_t(line.length)))
            == U16View(heading.title)) {
            view.layoutDocument();
            LayoutManager* layout = view.layoutManager();
            const QRectF box = layout->boundingRect(layout->glyphRange(Range{found, int(heading.title.size())}));
            const double y = std::max(0.0, box.top() + view.textContainerInset().height() - 12);
            QScrollBar* bar = view.verticalScrollBar();
            bar->setValue(int(std::round(std::min(y, double(bar->maximum())))));
            return true;
        }
        from = found + int(heading.title.size());
        if (from >= int(text.size()))
            return false;
    }
}

bool HelpPageView::textViewClickedOnLink(TextView&, const U16String& link, int)
{
    return onFollowLink_ ? onFollowLink_(link) : false;
}

} // namespace velkin
